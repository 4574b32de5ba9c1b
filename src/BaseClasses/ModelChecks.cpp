#include "BaseClasses/ModelChecks.h"

#include <cstdlib>
#include <iostream>
#include <sstream>

void FailModelValue(const ModelSite& site, const char* what, double value, const char* rule) {
  std::ostringstream number;
  number.precision(17);
  number << value;
  std::cerr << "ERROR: " << site.file << ":" << site.line << ": " << site.element << ": " << what
            << " is " << number.str() << "; " << rule << std::endl;
  std::exit(1);
}

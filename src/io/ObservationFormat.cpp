#include "io/ObservationFormat.h"

#include <cstdio>
#include <vector>

std::string FormatObservationValue(double value) {
  // The largest doubles need over 300 digits before the point, so the text
  // is measured before it is formatted.
  const int length = std::snprintf(nullptr, 0, "%.10lf", value);
  if (length <= 0) return std::string();
  std::vector<char> text(static_cast<size_t>(length) + 1);
  std::snprintf(text.data(), text.size(), "%.10lf", value);
  std::string result(text.data(), static_cast<size_t>(length));
  while (result.size() >= 2 && result.back() == '0' && result[result.size() - 2] != '.')
    result.pop_back();
  return result;
}

std::string FormatExactObservationValue(double value) {
  char text[32];
  const int length = std::snprintf(text, sizeof text, "%.17g", value);
  return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}

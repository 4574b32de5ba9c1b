// The basic_model join: the flash model (child 0) and the memory model
// (child 1) side by side, their flash_corrupted places merged into one
// shared place. Owns the two children and the shared place (the shared place
// exists only when some child has state variables).
#pragma once

#include "BaseClasses/state/Place.h"
#include "Composer/Join.h"
#include "model/flash_systemSAN.h"
#include "model/ram_systemSAN.h"

// Names of the join's shared variables, in the order they are added.
extern const char* const basic_modelRJ__SharedNames[1];

class basic_modelRJ : public Join {
 public:
  basic_modelRJ();
  ~basic_modelRJ() override;

  Place* flash_corrupted = nullptr;      // the shared place; owned
  flash_systemSAN* flash_system = nullptr;  // child 0; owned
  ram_systemSAN* ram_system = nullptr;      // child 1; owned

 private:
  // Merges `childPlace` of `child` into the shared place and records it.
  void ShareFlashCorrupted(SANModel* child, Place* childPlace);
};

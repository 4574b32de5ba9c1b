#include "model/basic_modelRJ.h"

const char* const basic_modelRJ__SharedNames[1] = {"flash_corrupted"};

basic_modelRJ::basic_modelRJ() : Join("Join1", 2, 1, basic_modelRJ__SharedNames) {
  flash_system = new flash_systemSAN();
  ram_system = new ram_systemSAN();
  Children[0] = flash_system;
  Children[1] = ram_system;
  SetupActions();
  if (AllChildrenEmpty()) {
    NumSharedStateVariables = 0;
  } else {
    flash_corrupted = new Place("flash_corrupted");
    addSharedPtr(flash_corrupted, "flash_corrupted");
    ShareFlashCorrupted(flash_system, flash_system->flash_corrupted);
    ShareFlashCorrupted(ram_system, ram_system->flash_corrupted);
  }
  Setup();
}

void basic_modelRJ::ShareFlashCorrupted(SANModel* child, Place* childPlace) {
  if (child->getNumStateVariables() == 0) return;
  flash_corrupted->ShareWith(childPlace);
  addSharingInfo(childPlace, flash_corrupted, child);
}

basic_modelRJ::~basic_modelRJ() {
  delete flash_corrupted;
  delete flash_system;
  delete ram_system;
}

#include "rewards/ImpulseNodeClass.h"

void ImpulseNodeClass::Reset() {
  Value = 0.0;
  SquaredValue = 0.0;
}

void ImpulseNodeClass::DefineName(const char* name, int impulseIndex, int workerIndex) {
  Name = name ? name : "";
  ImpulseIndex = impulseIndex;
  Index = workerIndex;
}

#include "rewards/PerformanceVariableWorker.h"

#include <iostream>

void PerformanceVariableWorker::CurrentReward() {
  std::cerr << "!! Calling PerformanceVariableWorker::CurrentReward()" << std::endl;
}

void PerformanceVariableWorker::Reset() {
  Value = 0.0;
  SquaredValue = 0.0;
}

void PerformanceVariableWorker::DefineName(const char* name, int index) {
  Name = name ? name : "";
  Index = index;
}

void PerformanceVariableWorker::AddModelSlot(BaseModelClass** slot) {
  ModelSlots.push_back(slot);
  NumModelSlots = static_cast<int32_t>(ModelSlots.size());
}

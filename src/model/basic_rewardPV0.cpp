#include "model/basic_rewardPV0.h"

#include "BaseClasses/state/Place.h"
#include "model/ram_systemSAN.h"

basic_rewardPV0Worker::basic_rewardPV0Worker() {
  AddModelSlot(&ram_system);
  AddModelSlot(&flash_system);
}

double basic_rewardPV0Worker::Reward_Function() {
  return static_cast<double>(*static_cast<ram_systemSAN*>(ram_system)->system_failed->Mark);
}

basic_rewardPV0::basic_rewardPV0(int timeIndex) {
  TopModelSlot = &TheModel;
  static const double times[3] = {30.0, 180.0, 365.0};
  Initialize("reliability", InstantOfTimeReward, 3, times, times, timeIndex, 0, 2, 1);
  AddVariableDependency("system_failed", "ram_system");
  AddModelDependency("flash_system");
}

basic_rewardPV0::~basic_rewardPV0() {
  for (PerformanceVariableWorker* worker : Workers) delete worker;
  Workers.clear();
}

void basic_rewardPV0::CreateWorkerList() {
  for (PerformanceVariableWorker*& worker : Workers) {
    delete worker;
    worker = new basic_rewardPV0Worker();
  }
}

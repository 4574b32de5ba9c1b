// The node of the variable "reliability": whether ram_system has failed, at
// one of the instants 30, 180 and 365. Owns its workers (one per pair of
// ram_system and flash_system instances) and the slot for the top model.
#pragma once

#include "rewards/InstantOfTime.h"
#include "rewards/PerformanceVariableNode.h"

class BaseModelClass;

// Worker of "reliability": the marking of system_failed of its ram_system.
class basic_rewardPV0Worker : public InstantOfTime {
 public:
  basic_rewardPV0Worker();

  double Reward_Function() override;

  // --- Bound submodel instances, in dependency order ----------------------
  BaseModelClass* ram_system = nullptr;    // a ram_systemSAN
  BaseModelClass* flash_system = nullptr;  // a flash_systemSAN
};

class basic_rewardPV0 : public PerformanceVariableNode {
 public:
  explicit basic_rewardPV0(int timeIndex);
  ~basic_rewardPV0() override;

  void CreateWorkerList() override;

  BaseModelClass* TheModel = nullptr;  // the top model; TopModelSlot points here
};

// The reward model basic_reward: measures the join basic_model (which it
// creates and owns) with the one variable "reliability".
#pragma once

#include "rewards/PVModel.h"

class basic_rewardPVModel : public PVModel {
 public:
  // With allTimePoints, one node per instant of "reliability"; otherwise
  // only the first.
  explicit basic_rewardPVModel(bool allTimePoints);

  // Variable 0 is "reliability"; there is no other.
  PerformanceVariableNode* createPVNode(int variableIndex, int timeIndex) override;
};

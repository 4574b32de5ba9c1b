// A worker of an instant-of-time variable: its value is the reward of the
// state that holds at the instant StartTime. RewardWeight is always 1.0, so
// the node adds the value once when the instant has passed.
#pragma once

#include "rewards/PerformanceVariableWorker.h"

class InstantOfTime : public PerformanceVariableWorker {
 public:
  InstantOfTime() = default;

  // Value is the current reward when the instant lies at or after the
  // previous firing (the current state has held since then), else 0.
  void Accumulate(double now, double last) override;
  // Value is the current reward, SquaredValue its square.
  void CurrentReward() override;
};

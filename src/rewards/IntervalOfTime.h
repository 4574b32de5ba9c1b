// A worker of an interval-of-time variable: its value over one step is the
// reward rate of the state that held during the step, times the part of the
// step that falls inside the variable's window [StartTime, StopTime]. The
// node adds these values up over a replication (RewardWeight is always 1.0),
// so the variable is the reward accumulated over the window.
#pragma once

#include "rewards/PerformanceVariableWorker.h"

class IntervalOfTime : public PerformanceVariableWorker {
 public:
  IntervalOfTime() = default;
  // The state since `last` has held until `now`.
  void Accumulate(double now, double last) override;
  // Value is the current reward rate, SquaredValue its square.
  void CurrentReward() override;
};

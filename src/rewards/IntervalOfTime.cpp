#include "rewards/IntervalOfTime.h"

void IntervalOfTime::Accumulate(double now, double last) {
  RewardWeight = 1.0;
  const double from = last > StartTime ? last : StartTime;
  const double to = now < StopTime ? now : StopTime;
  Value = to > from ? Reward_Function() * (to - from) : 0.0;
  SquaredValue = Value * Value;
}

void IntervalOfTime::CurrentReward() {
  Value = Reward_Function();
  SquaredValue = Value * Value;
}

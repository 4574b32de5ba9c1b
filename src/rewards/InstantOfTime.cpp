#include "rewards/InstantOfTime.h"

void InstantOfTime::Accumulate(double /*now*/, double last) {
  Value = 0.0;
  SquaredValue = 0.0;
  RewardWeight = 1.0;
  if (StartTime >= last) {
    Value = Reward_Function();
    SquaredValue = Value * Value;
  }
}

void InstantOfTime::CurrentReward() {
  Value = Reward_Function();
  SquaredValue = Value * Value;
}

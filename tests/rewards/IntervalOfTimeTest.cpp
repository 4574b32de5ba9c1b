// The interval-of-time worker: each step adds the rate times the part of
// the step inside the window, nothing outside it.
#include <gtest/gtest.h>

#include "rewards/IntervalOfTime.h"

namespace {

class ConstantRate : public IntervalOfTime {
 public:
  explicit ConstantRate(double rate) : rate_(rate) {
    StartTime = 10.0;
    StopTime = 20.0;
  }
  double Reward_Function() override { return rate_; }

 private:
  double rate_;
};

}  // namespace

TEST(IntervalOfTime, CountsOnlyThePartOfAStepInsideTheWindow) {
  ConstantRate worker(3.0);
  worker.Accumulate(5.0, 0.0);  // before the window
  EXPECT_EQ(worker.Value, 0.0);
  worker.Accumulate(12.0, 5.0);  // [10, 12]
  EXPECT_EQ(worker.Value, 6.0);
  EXPECT_EQ(worker.SquaredValue, 36.0);
  worker.Accumulate(15.0, 12.0);  // inside
  EXPECT_EQ(worker.Value, 9.0);
  worker.Accumulate(30.0, 18.0);  // [18, 20]
  EXPECT_EQ(worker.Value, 6.0);
  worker.Accumulate(40.0, 30.0);  // after
  EXPECT_EQ(worker.Value, 0.0);
  EXPECT_EQ(worker.RewardWeight, 1.0);
  worker.CurrentReward();
  EXPECT_EQ(worker.Value, 3.0);
}

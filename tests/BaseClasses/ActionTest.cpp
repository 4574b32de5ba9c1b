// The placeholder action: numbering, variable relations, printed description,
// phases and the reward bookkeeping arrays.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/state/Place.h"

namespace {

TEST(ActionTest, DefaultActionsAreNumberedInCreationOrder) {
  const int32_t next = BaseActionClass::MaxID;
  BaseActionClass first, second;
  EXPECT_EQ(first.actionId, next);
  EXPECT_EQ(second.actionId, next + 1);
  EXPECT_EQ(BaseActionClass::MaxID, next + 2);

  EXPECT_STREQ(first.name, "default");
  EXPECT_TRUE(first.disabled);
  EXPECT_EQ(first.policy, 1);
  EXPECT_EQ(first.distributionType, EXPONENTIAL);
  EXPECT_EQ(first.Fire(), nullptr);
  EXPECT_TRUE(first.IsAMember(&first));
  EXPECT_FALSE(first.IsAMember(&second));
  EXPECT_EQ(first.getPrintedAction(), &first);
}

TEST(ActionTest, InitializeCopiesTheName) {
  char text[] = "timer";
  BaseActionClass a;
  a.BaseActionClassInitialize(text, 4, DETERMINISTIC, RaceAgePolicy, 2, 1, true);
  std::strcpy(text, "other");
  EXPECT_STREQ(a.name, "timer");
  EXPECT_EQ(a.groupId, 4);
  EXPECT_EQ(a.distributionType, DETERMINISTIC);
  EXPECT_EQ(a.policy, RaceAgePolicy);
  EXPECT_TRUE(a.reactivation);
  a.SetFired(5);
  EXPECT_TRUE(a.fired);
  a.SetFired(0);
  EXPECT_FALSE(a.fired);
}

TEST(ActionTest, VariableRelationsHaveSetSemantics) {
  Place p("p", 0), q("q", 0);
  BaseActionClass a;
  a.addEnablingSV(&p);
  a.addEnablingSV(&p);
  a.addAffectedSV(&q);
  EXPECT_EQ(a.enablingSVs.getNumItems(), 1);
  EXPECT_EQ(a.affectedSVs.getNumItems(), 1);
  a.removeEnablingSV(&p);
  a.removeAffectedSV(&p);  // not listed: nothing happens
  EXPECT_EQ(a.enablingSVs.getNumItems(), 0);
  EXPECT_EQ(a.affectedSVs.getNumItems(), 1);
}

TEST(ActionTest, PrintInfoListsVariablesUnderTheirHeadings) {
  BaseActionClass bare;
  bare.defineName("bare");
  testing::internal::CaptureStdout();
  bare.PrintInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "********* bare\n**********\nEnabled by:\nAffects:\nGroup ID = 0\n"
            "Execution Policy = 1\nDisabled = 1\nReactivation = 0\nDistributionType = 1\n");

  Place up("up", 1), down("down", 0);
  BaseActionClass a;
  a.BaseActionClassInitialize("move", 3, INSTANTANEOUS, RaceEnabledPolicy, 1, 1, true);
  a.disabled = false;
  a.addEnablingSV(&up);
  a.addAffectedSV(&up);
  a.addAffectedSV(&down);
  testing::internal::CaptureStdout();
  a.PrintInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "********* move\n**********\nEnabled by:\n           up\nAffects:\n"
            "           up\n           down\nGroup ID = 3\nExecution Policy = 1\n"
            "Disabled = 0\nReactivation = 1\nDistributionType = 18\n");
}

TEST(ActionTest, StatePrintingFollowsTheListedVariables) {
  Place up("up", 3), down("down", 4);
  BaseActionClass a;
  a.addEnablingSV(&up);
  a.addAffectedSV(&down);
  a.addAffectedSV(&up);
  std::ostringstream enabling, affected;
  a.printEnablingState(&enabling);
  a.printAffectedState(&affected);
  EXPECT_EQ(enabling.str(), "up = 3\n");
  EXPECT_EQ(affected.str(), "down = 4\nup = 3\n");
}

TEST(ActionTest, PhasesCountUpToTheErlangParameter) {
  BaseActionClass a;
  a.ResetPhase();
  EXPECT_TRUE(a.ReadyToFire());
  a.Age();
  EXPECT_EQ(a.phase, 2);
  EXPECT_FALSE(a.ReadyToFire());
  a.ResetPhase();
  EXPECT_EQ(a.phase, 1);
}

TEST(ActionTest, RewardBookkeepingIsAllocatedAndReleasedOnDemand) {
  BaseActionClass a;
  EXPECT_FALSE(a.IsPVRateDSAllocated());
  EXPECT_FALSE(a.IsPVImpulseDSAllocated());

  a.AllocatePVRateDS(3);
  ASSERT_TRUE(a.IsPVRateDSAllocated());
  EXPECT_TRUE(a.PVRateSet(2).insert(5));
  EXPECT_TRUE(a.PVRateSet(0).empty());
  a.DeallocatePVRateDS();
  EXPECT_FALSE(a.IsPVRateDSAllocated());

  a.AllocatePVImpulseDS(2);
  ASSERT_TRUE(a.IsPVImpulseDSAllocated());
  EXPECT_TRUE(a.PVImpulseSet(1).empty());
  EXPECT_EQ(a.PVImpulseWorkerLists[0], nullptr);
  EXPECT_EQ(a.PVImpulseWorkerCounts[1], nullptr);
  a.DeallocatePVImpulseDS();
  EXPECT_FALSE(a.IsPVImpulseDSAllocated());

  // Left allocated: released with the action.
  a.AllocatePVRateDS(1);
  a.PVRateSet(0).insert(1);
}

}  // namespace

#include <gtest/gtest.h>

#include <sstream>

#include "step_harness.h"

namespace {

TEST(StepTest, UnaffectedEnablingKeepsItsTimeAndTheFiredGroupIsResampled) {
  StepHarness h;
  ScriptedGroup& fast = h.AddGroup("fast", [] { return true; }, 1.0);
  ScriptedGroup& slow = h.AddGroup("slow", [] { return true; }, 10.0);
  h.Affects(fast, {&fast, &slow});
  h.Affects(slow, {&slow});
  h.Build();
  h.Start();
  ASSERT_EQ(h.sim.currentGroup, &fast);
  EXPECT_EQ(h.sim.currentTime, 1.0);

  ASSERT_TRUE(h.sim.SimStep());
  EXPECT_EQ(fast.fires, 1);
  EXPECT_EQ(fast.samples, 2);        // rescheduled by the insertion pass
  EXPECT_EQ(fast.EventTime(), 2.0);
  EXPECT_EQ(slow.samples, 1);        // stays enabled: no resampling
  EXPECT_EQ(slow.EventTime(), 10.0);
  EXPECT_EQ(h.sim.currentTime, 2.0);
  EXPECT_EQ(h.sim.actionsFired, 1);
  EXPECT_EQ(h.sim.lastFired, &fast);
  EXPECT_EQ(h.sim.eventList->IsValid(), 0);
}

TEST(StepTest, FiringDisablesAndEnablesTheGroupsItAffects) {
  StepHarness h;
  int marking = 0;
  ScriptedGroup& toggle = h.AddGroup("toggle", [&] { return marking == 0; }, 1.0);
  ScriptedGroup& whenZero = h.AddGroup("whenZero", [&] { return marking == 0; }, 5.0);
  ScriptedGroup& whenOne = h.AddGroup("whenOne", [&] { return marking == 1; }, 3.0);
  toggle.effect = [&] { marking = 1; };
  h.Affects(toggle, {&whenOne, &whenZero, &toggle});
  h.Build();
  h.Start();
  EXPECT_EQ(whenOne.EventTime(), -1.0);

  ASSERT_TRUE(h.sim.SimStep());
  EXPECT_EQ(toggle.EventTime(), -1.0);    // fired and now disabled
  EXPECT_EQ(whenZero.EventTime(), -1.0);  // lost its event
  EXPECT_EQ(whenOne.EventTime(), 4.0);    // scheduled at 1 + 3
  EXPECT_EQ(h.sim.currentGroup, &whenOne);
  EXPECT_EQ(h.sim.eventList->Size(), 1);
}

TEST(StepTest, NoEventLeftEndsTheStep) {
  StepHarness h;
  int marking = 0;
  ScriptedGroup& once = h.AddGroup("once", [&] { return marking == 0; }, 1.0);
  once.effect = [&] { marking = 1; };
  h.Affects(once, {&once});
  h.Build();
  h.Start();
  EXPECT_FALSE(h.sim.SimStep());
  EXPECT_EQ(h.sim.currentHandle, nullptr);
}

TEST(StepTest, ReactivationListResamplesWatchedGroups) {
  StepHarness h;
  int marking = 0;
  ScriptedGroup& tick = h.AddGroup("tick", [] { return true; }, 1.0);
  ScriptedGroup& watched = h.AddGroup("watched", [&] { return marking < 2; }, 10.0);
  watched.watched = true;
  tick.effect = [&] { ++marking; };
  h.Affects(tick, {&tick});
  h.Build();
  h.Start();
  ASSERT_FALSE(h.sim.reactivationList.empty());
  EXPECT_TRUE(watched.reactivation);
  EXPECT_FALSE(watched.eventSlot->notInReactivationList);

  // Watched but not to be resampled: keeps its time.
  ASSERT_TRUE(h.sim.SimStep());
  EXPECT_EQ(watched.EventTime(), 10.0);
  EXPECT_EQ(watched.samples, 1);

  // Resampled in place and put back at the front.
  watched.resample = true;
  marking = 0;
  ASSERT_TRUE(h.sim.SimStep());  // tick at 2
  EXPECT_EQ(watched.samples, 2);
  EXPECT_EQ(watched.EventTime(), 12.0);
  EXPECT_EQ(h.sim.reactivationList.front()->group, &watched);
  EXPECT_EQ(h.sim.eventList->IsValid(), 0);

  // Disabled: loses its event and leaves the list.
  marking = 5;
  ASSERT_TRUE(h.sim.SimStep());
  EXPECT_EQ(watched.EventTime(), -1.0);
  EXPECT_TRUE(h.sim.reactivationList.empty());
  EXPECT_FALSE(watched.reactivation);
  EXPECT_TRUE(watched.eventSlot->notInReactivationList);
}

TEST(StepTest, UnwatchedGroupsNeverJoinTheReactivationList) {
  StepHarness h;
  ScriptedGroup& a = h.AddGroup("a", [] { return true; }, 1.0);
  ScriptedGroup& b = h.AddGroup("b", [] { return true; }, 7.0);
  h.Affects(a, {&a});
  h.Build();
  h.Start();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(h.sim.SimStep());
  EXPECT_TRUE(h.sim.reactivationList.empty());
  EXPECT_EQ(b.EventTime(), 7.0);
  EXPECT_EQ(b.samples, 1);
}

TEST(StepTest, InitialEnabledListShrinksWhenFewGroupsAreEnabled) {
  StepHarness h;
  h.AddGroup("on", [] { return true; }, 1.0);
  for (const char* label : {"off1", "off2", "off3"}) h.AddGroup(label, [] { return false; }, 1.0);
  h.Build();
  h.sim.GenerateInitialEnabledList();
  EXPECT_EQ(h.sim.enabledCount, 1);
  EXPECT_EQ(h.sim.enabledList[0], h.owned[0].get());
}

TEST(StepTest, StandardBuilderListsTheOwnGroupLast) {
  StepHarness h;
  ScriptedGroup& a = h.AddGroup("a", [] { return true; }, 1.0);
  h.Build();
  // An action whose firing changes no variable affects only its own group.
  h.sim.actionList->append(&a);
  h.sim.actions = h.sim.actionList->getList();
  a.groupId = 0;
  EXPECT_EQ(h.sim.GenerateConnectivityList(), 0);
  ASSERT_NE(a.affectsList, nullptr);
  EXPECT_EQ(a.affectsList->group, &a);
  EXPECT_EQ(a.affectsList->next, nullptr);
  std::ostringstream listing;
  h.sim.PrintConnectivityList(listing);
  EXPECT_NE(listing.str().find("Checking my Affects\n    Unknown Model"), std::string::npos);
}

TEST(StepDeathTest, InvalidDistributionParametersEndTheRun) {
  StepHarness h;
  ScriptedGroup& a = h.AddGroup("bad", [] { return true; }, 1.0);
  EXPECT_EXIT(h.sim.HandleInvalidDistParams(&a, "INVALID_DIST_PARAMS: rate is negative"),
              ::testing::ExitedWithCode(1), "FATAL ERROR: In action bad, rate is negative\n");
}

}  // namespace

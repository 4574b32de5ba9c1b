// Selection by rank and weight, the enabled-before/now pair, and the firing
// of pre- and post-selection groups, driven by a scripted uniform stream.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BaseClasses/Activity.h"
#include "BaseClasses/BaseGroupClass.h"
#include "BaseClasses/EmptyGroup.h"
#include "BaseClasses/PostselectGroup.h"
#include "BaseClasses/PreselectGroup.h"
#include "BaseClasses/SingleGroup.h"
#include "random/Distributions.h"
#include "random/LaggedFibonacci.h"

namespace {

// Hands out the given uniforms in order (repeating the last) and counts draws.
class ScriptedUniforms : public RandomNumberGenerator {
 public:
  ScriptedUniforms(std::vector<double> values, int* draws) : values_(std::move(values)), draws_(draws) {}
  double rnd() override {
    const size_t i = next_ < values_.size() ? next_ : values_.size() - 1;
    ++next_;
    ++*draws_;
    return values_[i];
  }

 private:
  std::vector<double> values_;
  size_t next_ = 0;
  int* draws_;
};

// An activity whose enabling, rank and weight the test sets directly.
class ScriptedActivity : public Activity {
 public:
  ScriptedActivity(const char* activityName, bool isEnabled, int rank, double weight)
      : enabled(isEnabled), rank(rank), weight(weight) {
    ActivityInitialize(activityName, 0, EXPONENTIAL, RaceEnabledPolicy, 1, 1, false);
  }
  bool Enabled() override {
    ++enabledCalls;
    enabledBefore = enabledNow;
    enabledNow = enabled;
    return enabledNow;
  }
  int Rank() override { return rank; }
  double Weight() override { return weight; }
  double SampleDistribution() override { return delay; }
  BaseActionClass* Fire() override {
    ++fireCount;
    return this;
  }
  void LinkVariables() override {}

  bool enabled;
  int rank;
  double weight;
  double delay = 1.5;
  int enabledCalls = 0;
  int fireCount = 0;
};

class GroupTest : public ::testing::Test {
 protected:
  void useUniforms(std::vector<double> values) {
    TheDistribution->SetGenerator(new ScriptedUniforms(std::move(values), &draws));
  }
  void TearDown() override { TheDistribution->SetGenerator(new LaggedFibonacci()); }

  int draws = 0;
};

void fillGroup(BaseGroupClass& g, const char* groupName, std::vector<BaseGroupClass*> members) {
  g.initialize(static_cast<int>(members.size()), groupName);
  for (BaseGroupClass* m : members) g.appendGroup(m);
}

TEST_F(GroupTest, CasesOfEqualRankAreChosenByCumulativeWeight) {
  ScriptedActivity c1("case1", true, 1, 0.3), c2("case2", true, 1, 0.7);
  PostselectGroup g;
  fillGroup(g, "cases", {&c1, &c2});

  const std::vector<std::pair<double, BaseActionClass*>> expectations = {
      {0.25, &c1}, {0.3, &c2}, {0.75, &c2}, {0.0, &c1}};
  for (const auto& [u, expected] : expectations) {
    useUniforms({u});
    ASSERT_TRUE(g.SelectAction()) << u;
    EXPECT_EQ(g.selectedAction, expected) << "u = " << u;
  }
  ASSERT_EQ(g.numWeights, 2);
  EXPECT_DOUBLE_EQ(g.weightDistribution[0].cumulativeWeight, 0.3);
  EXPECT_EQ(g.weightDistribution[0].action, &c1);
  EXPECT_DOUBLE_EQ(g.weightDistribution[1].cumulativeWeight, 1.0);
  EXPECT_EQ(g.weightDistribution[1].action, &c2);
  EXPECT_FALSE(c1.disabled);
  EXPECT_FALSE(c2.disabled);
}

TEST_F(GroupTest, OnlyTheHighestEnabledRankCompetes) {
  // Ranks 1, 2, 2: the rank-1 member was entered before the higher rank was
  // seen and keeps its flag cleared, yet it no longer competes.
  ScriptedActivity low("low", true, 1, 5.0), a("a", true, 2, 1.0), b("b", true, 2, 3.0);
  BaseGroupClass g;
  fillGroup(g, "ranks", {&low, &a, &b});
  useUniforms({0.99});
  ASSERT_TRUE(g.SelectAction());
  EXPECT_EQ(g.selectedAction, &b);
  EXPECT_EQ(g.maxRank, 2);
  ASSERT_EQ(g.numWeights, 2);
  EXPECT_EQ(g.weightDistribution[0].action, &a);
  EXPECT_DOUBLE_EQ(g.weightDistribution[1].cumulativeWeight, 4.0);
  EXPECT_FALSE(low.disabled);

  // Ranks 2, 1: the later, lower member is marked and never chosen.
  ScriptedActivity high("high", true, 2, 0.1), lower("lower", true, 1, 100.0);
  BaseGroupClass h;
  fillGroup(h, "ranks2", {&high, &lower});
  for (double u : {0.0, 0.5, 0.999}) {
    useUniforms({u});
    ASSERT_TRUE(h.SelectAction());
    EXPECT_EQ(h.selectedAction, &high);
  }
  EXPECT_TRUE(lower.disabled);
  EXPECT_FALSE(high.disabled);
}

TEST_F(GroupTest, DisabledMembersAreMarkedAndSkipped) {
  ScriptedActivity off1("off1", false, 3, 1.0), on("on", true, 1, 1.0), off2("off2", false, 9, 1.0);
  off1.disabled = false;
  BaseGroupClass g;
  fillGroup(g, "mixed", {&off1, &on, &off2});
  useUniforms({0.9});
  ASSERT_TRUE(g.SelectAction());
  EXPECT_EQ(g.selectedAction, &on);
  EXPECT_TRUE(off1.disabled);
  EXPECT_TRUE(off2.disabled);
  EXPECT_EQ(g.maxRank, 1);
}

TEST_F(GroupTest, NoEnabledMemberSelectsNothingButStillDrawsOneUniform) {
  ScriptedActivity a("a", false, 1, 1.0), b("b", false, 1, 1.0);
  BaseGroupClass g;
  fillGroup(g, "none", {&a, &b});
  g.selectedAction = &b;
  // A uniform of exactly 0 must not turn "nothing enabled" into a choice.
  for (double u : {0.4, 0.0}) {
    useUniforms({u});
    draws = 0;
    EXPECT_FALSE(g.SelectAction()) << u;
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(g.selectedAction, &b);
  }
  EXPECT_FALSE(g.Enabled());

  PostselectGroup post;
  fillGroup(post, "post", {&a, &b});
  useUniforms({0.0});
  EXPECT_EQ(post.Fire(), nullptr);
  EXPECT_EQ(a.fireCount + b.fireCount, 0);
}

TEST_F(GroupTest, ZeroTotalWeightEndsOnTheLastCompetingEntry) {
  ScriptedActivity a("a", true, 1, 0.0), b("b", true, 1, 0.0), c("c", true, 1, 0.0),
      low("low", true, 0, 0.0);
  BaseGroupClass g;
  fillGroup(g, "zero", {&a, &b, &c, &low});
  useUniforms({0.5});
  ASSERT_TRUE(g.SelectAction());
  EXPECT_EQ(g.numWeights, 3);
  EXPECT_EQ(g.selectedAction, &c);
}

TEST_F(GroupTest, EnabledAndEnablingChangeAskEveryMember) {
  ScriptedActivity a("a", true, 1, 1.0), b("b", true, 1, 1.0);
  BaseGroupClass g;
  fillGroup(g, "all", {&a, &b});
  EXPECT_TRUE(g.Enabled());
  EXPECT_EQ(a.enabledCalls, 1);
  EXPECT_EQ(b.enabledCalls, 1);
  // Only the first member changes, yet the second is evaluated as well, and
  // a true answer from the first does not cut the second short.
  a.enabled = false;
  EXPECT_TRUE(g.EnablingChange());
  EXPECT_EQ(a.enabledCalls, 2);
  EXPECT_EQ(b.enabledCalls, 2);
  EXPECT_FALSE(g.EnablingChange());
  EXPECT_TRUE(g.Enabled());
  b.enabled = false;
  EXPECT_FALSE(g.Enabled());
  EXPECT_EQ(a.enabledCalls, 5);
}

TEST_F(GroupTest, ActivityReportsAnEnablingChangeOnce) {
  ScriptedActivity act("act", false, 1, 1.0);
  EXPECT_FALSE(act.EnablingChange());
  act.enabled = true;
  EXPECT_TRUE(act.EnablingChange());
  EXPECT_FALSE(act.EnablingChange());
  // Two evaluations in a row hide the change from the next query.
  act.enabled = false;
  act.Enabled();
  act.Enabled();
  EXPECT_FALSE(act.EnablingChange());
  // Selecting an activity evaluates it as well.
  act.enabled = true;
  EXPECT_TRUE(act.SelectAction());
  EXPECT_FALSE(act.EnablingChange());
  EXPECT_EQ(act.selectedAction, &act);
}

TEST_F(GroupTest, NestedGroupsSelectInTurnAndMultiplyProbabilities) {
  ScriptedActivity single("single", true, 1, 1.0);
  ScriptedActivity c1("c1", true, 1, 0.3), c2("c2", true, 1, 0.7);
  PostselectGroup inner;
  fillGroup(inner, "inner", {&c1, &c2});  // weighs 1.0 at rank 1 as a whole
  BaseGroupClass outer;
  fillGroup(outer, "outer", {&single, &inner});

  useUniforms({0.75, 0.25});
  ASSERT_TRUE(outer.SelectAction());
  EXPECT_EQ(draws, 2);
  EXPECT_EQ(outer.selectedAction, &c1);

  EXPECT_DOUBLE_EQ(outer.Probability(&c2), 0.5 * 0.7);
  EXPECT_DOUBLE_EQ(outer.Probability(&single), 0.5);
  EXPECT_DOUBLE_EQ(inner.Probability(&c1), 0.3);
  ScriptedActivity stranger("stranger", true, 1, 1.0);
  EXPECT_DOUBLE_EQ(outer.Probability(&stranger), 0.0);

  // A member of a lower rank than the enabled maximum is never the outcome.
  single.rank = 5;
  EXPECT_DOUBLE_EQ(outer.Probability(&c1), 0.0);
  EXPECT_DOUBLE_EQ(outer.Probability(&single), 1.0);
}

TEST_F(GroupTest, ProbabilityWithZeroTotalWeightWarns) {
  ScriptedActivity a("a", true, 1, 0.0);
  BaseGroupClass g;
  fillGroup(g, "zero", {&a});
  testing::internal::CaptureStdout();
  g.Probability(&a);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "BaseGroupClass::Probability() TotalWeight is zero.\n");
}

TEST_F(GroupTest, PostselectChoosesWhenFiringPreselectBeforehand) {
  ScriptedActivity c1("c1", true, 1, 0.5), c2("c2", true, 1, 0.5);
  PostselectGroup post;
  fillGroup(post, "post", {&c1, &c2});
  useUniforms({0.9, 0.1, 0.9});
  EXPECT_EQ(post.Fire(), &c2);
  EXPECT_EQ(post.Fire(), &c1);
  EXPECT_EQ(draws, 2);
  EXPECT_EQ(post.selectedAction, nullptr);
  // The timing is the first case's; rank and weight are the group's own.
  c1.delay = 4.0;
  EXPECT_DOUBLE_EQ(post.SampleDistribution(), 4.0);
  EXPECT_EQ(post.Rank(), 1);
  EXPECT_DOUBLE_EQ(post.Weight(), 1.0);

  ScriptedActivity p1("p1", true, 1, 0.5), p2("p2", true, 1, 0.5);
  p2.delay = 7.0;
  PreselectGroup pre(2);
  pre.appendGroup(&p1);
  pre.appendGroup(&p2);
  pre.defineName("pre");
  draws = 0;
  useUniforms({0.9, 0.1});
  EXPECT_TRUE(pre.Enabled());
  EXPECT_EQ(draws, 1);
  EXPECT_DOUBLE_EQ(pre.SampleDistribution(), 7.0);  // the member chosen ahead
  EXPECT_EQ(pre.Rank(), 1);
  EXPECT_EQ(draws, 1);
  EXPECT_EQ(pre.Fire(), &p2);
  EXPECT_EQ(p2.fireCount, 1);
  EXPECT_TRUE(pre.needsSelection);
  EXPECT_DOUBLE_EQ(pre.SampleDistribution(), 1.5);  // chosen again: p1
  EXPECT_EQ(draws, 2);
  EXPECT_FALSE(pre.needsSelection);
}

TEST_F(GroupTest, PreselectWithoutEnabledMemberKeepsAskingAndFiresNothing) {
  ScriptedActivity a("a", false, 1, 1.0);
  PreselectGroup pre;
  fillGroup(pre, "pre", {&a});
  useUniforms({0.5});
  EXPECT_FALSE(pre.Enabled());
  EXPECT_TRUE(pre.needsSelection);
  EXPECT_DOUBLE_EQ(pre.SampleDistribution(), 0.0);
  EXPECT_EQ(pre.Fire(), nullptr);
  EXPECT_EQ(draws, 2);
}

TEST_F(GroupTest, MemberArraysGrowAsNeeded) {
  ScriptedActivity a("a", true, 1, 1.0), b("b", true, 1, 1.0), c("c", true, 1, 1.0);
  BaseGroupClass g;
  g.initialize(2, "grow");
  g.appendGroup(&a);
  g.appendGroup(&b);
  EXPECT_EQ(g.capacity, 2);
  g.appendGroup(&c);
  EXPECT_EQ(g.capacity, 3);
  EXPECT_EQ(g.numMembers, 3);
  EXPECT_TRUE(g.IsAMember(&c));

  BaseGroupClass h;
  h.initialize(1, "h");
  h.appendGroup(&a);
  h.appendMembers(&g);  // no duplicate test
  EXPECT_EQ(h.numMembers, 4);
  EXPECT_EQ(h.capacity, 4);
  EXPECT_EQ(h.members[1], &a);
  EXPECT_EQ(h.members[3], &c);

  // Re-initialising keeps the members it already has.
  h.initialize(2, "again");
  EXPECT_EQ(h.numMembers, 4);
  EXPECT_EQ(h.members[3], &c);
  EXPECT_STREQ(h.name, "again");

  h.replaceMember(&a, &b);
  EXPECT_EQ(h.members[0], &b);
  EXPECT_EQ(h.members[1], &b);
}

TEST_F(GroupTest, SetMemberBeyondTheMembersIsReportedAndIgnored) {
  ScriptedActivity a("a", true, 1, 1.0), b("b", true, 1, 1.0);
  PostselectGroup g(2);
  g.setMember(&a, 0);
  g.setMember(&b, 1);
  testing::internal::CaptureStderr();
  g.setMember(&a, 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Array out of bounds error at Array out of bounds (BaseGroupClass::setMember()\n");
  EXPECT_EQ(g.numMembers, 2);
  EXPECT_EQ(g.members[1], &b);
}

TEST_F(GroupTest, GroupIdsReachEveryNestedActivity) {
  ScriptedActivity a("a", true, 1, 1.0), b("b", true, 1, 1.0);
  PostselectGroup inner;
  fillGroup(inner, "inner", {&b});
  BaseGroupClass outer;
  fillGroup(outer, "outer", {&a, &inner});
  outer.setGroupId(7);
  EXPECT_EQ(a.groupId, 7);
  EXPECT_EQ(b.groupId, 7);
}

TEST_F(GroupTest, SingleGroupForwardsToItsMember) {
  ScriptedActivity a("a", true, 2, 0.4);
  a.policy = RaceAgePolicy;
  SingleGroup s(&a);
  EXPECT_STREQ(s.name, "a");
  EXPECT_EQ(s.numMembers, 1);
  EXPECT_TRUE(s.Enabled());
  EXPECT_TRUE(s.EnablingChange());
  EXPECT_TRUE(s.EnablingChange());  // reports the last evaluation, evaluates nothing
  EXPECT_EQ(a.enabledCalls, 1);
  EXPECT_EQ(s.Rank(), 2);
  EXPECT_DOUBLE_EQ(s.Weight(), 0.4);
  EXPECT_DOUBLE_EQ(s.Probability(&a), 1.0);
  EXPECT_DOUBLE_EQ(s.Probability(&s), 0.0);

  testing::internal::CaptureStderr();
  EXPECT_TRUE(s.SelectAction());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "This program has entered into an inconsistant state. Please report this bug.\n");
  EXPECT_EQ(s.selectedAction, &a);
  EXPECT_EQ(s.policy, RaceAgePolicy);
  EXPECT_FALSE(s.disabled);
  EXPECT_EQ(s.Fire(), &a);

  SingleGroup unset;
  EXPECT_FALSE(unset.Enabled());
  EXPECT_EQ(unset.Fire(), nullptr);
  unset.SetAction(&a);
  EXPECT_EQ(unset.getPrintedAction(), &a);
  EXPECT_TRUE(unset.Enabled());
}

TEST_F(GroupTest, EmptyGroupIsNeverEnabled) {
  EmptyGroup e;
  EXPECT_STREQ(e.name, "ImmediateGroup");
  EXPECT_EQ(e.numMembers, 0);
  EXPECT_FALSE(e.Enabled());
  EXPECT_EQ(e.Fire(), nullptr);
  EXPECT_EQ(e.getPrintedAction(), &e);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(e.SelectAction());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "This program has entered into an inconsistant state. Please report this bug.\n");
}

// An activity that overrides only its predicate: operations a group would
// forward to its selection answer like a plain action instead of looping.
class BareActivity : public Activity {
 public:
  bool Enabled() override { return true; }
  void LinkVariables() override {}
};

TEST_F(GroupTest, ActivityDefaultsDoNotForwardToThemselves) {
  BareActivity act;
  EXPECT_EQ(act.Fire(), nullptr);
  EXPECT_DOUBLE_EQ(act.Weight(), 0.0);
  EXPECT_EQ(act.Rank(), 0);
  EXPECT_FALSE(act.IsAMember(&act));
  EXPECT_EQ(act.getPrintedAction(), &act);
  act.setGroupId(3);
  EXPECT_EQ(act.groupId, 3);
}

TEST_F(GroupTest, PrintedTexts) {
  ScriptedActivity a("a", true, 1, 1.0), c1("c1", true, 1, 1.0), c2("c2", true, 1, 1.0),
      d("d", true, 1, 1.0);
  PostselectGroup cases, one;
  fillGroup(cases, "cases", {&c1, &c2});
  fillGroup(one, "one", {&d});
  BaseGroupClass g;
  fillGroup(g, "top", {&a, &cases, &one});

  testing::internal::CaptureStdout();
  g.printGroup();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "** Members of Group top\n"
            "[0] a\n"
            "[1] cases\n"
            "  [1.0] c1\n"
            "  [1.1] c2\n"
            "[2] one\n");

  g.selectedAction = &c2;
  testing::internal::CaptureStdout();
  g.PrintInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "************ Group: top ****************\n"
            "Contains the following actions:\n"
            "  a\n"
            "  cases\n"
            "  one\n"
            "Selected Action = c2\n");
}

}  // namespace

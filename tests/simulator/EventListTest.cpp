#include "simulator/EventList.h"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>

#include "BaseClasses/BaseActionClass.h"
#include "random/Distributions.h"
#include "random/LaggedFibonacci.h"
#include "simulator/Event.h"
#include "simulator/GroupRecord.h"
#include "simulator_test_support.h"

namespace {

// A schedulable stand-in with a fixed rank and weight and its own record.
class FakeGroup : public BaseActionClass {
 public:
  FakeGroup(const char* label, int rank = 0, double weight = 1.0) : rank_(rank), weight_(weight) {
    defineName(label);
    eventSlot = &record;
  }
  int Rank() override {
    ++rankCalls;
    return rank_;
  }
  double Weight() override { return weight_; }
  GroupRecord record;
  int rankCalls = 0;

 private:
  int rank_;
  double weight_;
};

class EventListTest : public ::testing::Test {
 protected:
  void Schedule(FakeGroup& group, double time) {
    Event prototype(time, 0.0, &group);
    list.Insert(&prototype);
  }
  BaseActionClass* EarliestGroup() {
    Event** handle = list.Earliest();
    return handle ? (*handle)->action : nullptr;
  }
  FakeGroup& Make(const char* label, int rank = 0, double weight = 1.0) {
    return groups.emplace_back(label, rank, weight);
  }
  // Declared before the list: the list's destructor still reaches the
  // groups of the events it holds.
  std::deque<FakeGroup> groups;
  EventList list{8};
};

TEST_F(EventListTest, EmptyListHasNoEarliestAndIsValid) {
  EXPECT_EQ(list.Earliest(), nullptr);
  EXPECT_EQ(list.IsValid(), 0);
  EXPECT_EQ(list.PoolSize(), 8);
}

TEST_F(EventListTest, InsertKeepsHandlesAndOrdersByTime) {
  FakeGroup& a = Make("a");
  FakeGroup& b = Make("b");
  FakeGroup& c = Make("c");
  FakeGroup& d = Make("d");
  Schedule(a, 4.0);
  Schedule(b, 1.0);
  Schedule(c, 3.0);
  Schedule(d, 2.0);
  EXPECT_EQ(list.IsValid(), 0);
  EXPECT_EQ(list.Size(), 4);
  EXPECT_EQ(list.PoolSize(), 4);
  for (FakeGroup* g : {&a, &b, &c, &d}) EXPECT_EQ((*g->record.handle)->action, g);
  std::vector<BaseActionClass*> order;
  while (Event** handle = list.Earliest()) {
    order.push_back((*handle)->action);
    list.Remove(handle);
    EXPECT_EQ(list.IsValid(), 0);
  }
  EXPECT_EQ(order, (std::vector<BaseActionClass*>{&b, &d, &c, &a}));
  for (FakeGroup* g : {&a, &b, &c, &d}) EXPECT_EQ(g->record.handle, nullptr);
  EXPECT_EQ(list.PoolSize(), 8);
}

TEST_F(EventListTest, HigherRankWinsATimeTieWithoutADraw) {
  ScriptedGenerator::Install({});
  FakeGroup& low = Make("low", 2);
  FakeGroup& high = Make("high", 5);
  Schedule(low, 1.0);
  Schedule(high, 1.0);
  EXPECT_EQ(EarliestGroup(), &high);
  EXPECT_EQ(ScriptedGenerator::draws, 0);
  ScriptedGenerator::Restore();
}

TEST_F(EventListTest, WeightedTieChoosesByRunningTotal) {
  // Weights 1, 1, 2 and u = 0.6: threshold 2.4, totals 1, 2, 4 -> third tie.
  ScriptedGenerator::Install({0.6});
  FakeGroup& a = Make("a", 0, 1.0);
  FakeGroup& b = Make("b", 0, 1.0);
  FakeGroup& c = Make("c", 0, 2.0);
  Schedule(a, 1.0);
  Schedule(b, 1.0);
  Schedule(c, 1.0);
  // Ties come in heap pre-order; with equal keys nothing moved on insertion.
  EXPECT_EQ(EarliestGroup(), &c);
  EXPECT_EQ(ScriptedGenerator::draws, 1);
  // The ties are collected afresh: the same draw again finds the same tie.
  ScriptedGenerator::Install({0.6});
  EXPECT_EQ(EarliestGroup(), &c);
  ScriptedGenerator::Restore();
}

TEST_F(EventListTest, TieWalkAndFallbackOnZeroWeights) {
  FakeGroup& a = Make("a", 0, 1.0);
  FakeGroup& b = Make("b", 0, 1.0);
  FakeGroup& late = Make("late", 0, 5.0);
  Schedule(a, 1.0);
  Schedule(b, 1.0);
  Schedule(late, 2.0);  // not tied: a later time never joins the draw
  ScriptedGenerator::Install({0.49});
  EXPECT_EQ(EarliestGroup(), &a);
  ScriptedGenerator::Install({0.5});
  EXPECT_EQ(EarliestGroup(), &b);
  ScriptedGenerator::Restore();

  EventList zeros(4);
  FakeGroup& z1 = Make("z1", 0, 0.0);
  FakeGroup& z2 = Make("z2", 0, 0.0);
  Event e1(1.0, 0.0, &z1), e2(1.0, 0.0, &z2);
  zeros.Insert(&e1);
  zeros.Insert(&e2);
  ScriptedGenerator::Install({0.3});
  Event** chosen = zeros.Earliest();
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ((*chosen)->action, &z2);  // the last tie when no total passes the threshold
  ScriptedGenerator::Restore();
}

TEST_F(EventListTest, RemovingTheLastSlotMovesNothing) {
  FakeGroup& a = Make("a");
  FakeGroup& b = Make("b");
  FakeGroup& c = Make("c");
  Schedule(a, 1.0);
  Schedule(b, 2.0);
  Schedule(c, 3.0);
  Event** handleA = a.record.handle;
  Event** handleB = b.record.handle;
  list.Remove(c.record.handle);
  EXPECT_EQ(c.record.handle, nullptr);
  EXPECT_EQ(a.record.handle, handleA);
  EXPECT_EQ(b.record.handle, handleB);
  EXPECT_EQ(list.IsValid(), 0);  // the emptied slot included
}

TEST_F(EventListTest, RemovingFromTheMiddleRefillsTheSlot) {
  std::vector<FakeGroup*> g;
  for (const char* label : {"0", "1", "2", "3", "4", "5"}) g.push_back(&Make(label));
  for (int i = 0; i < 6; ++i) Schedule(*g[i], 1.0 + i);
  list.Remove(g[1]->record.handle);
  EXPECT_EQ(list.IsValid(), 0);
  EXPECT_EQ(list.Size(), 5);
  list.Remove(g[0]->record.handle);
  EXPECT_EQ(list.IsValid(), 0);
  EXPECT_EQ(EarliestGroup(), g[2]);
}

TEST_F(EventListTest, ModifyKeyMovesUpDownOrNowhere) {
  FakeGroup& a = Make("a");
  FakeGroup& b = Make("b");
  FakeGroup& c = Make("c");
  FakeGroup& d = Make("d");
  Schedule(a, 1.0);
  Schedule(b, 2.0);
  Schedule(c, 3.0);
  Schedule(d, 4.0);
  // Later: the root sinks.
  (*a.record.handle)->time = 5.0;
  list.ModifyKey(a.record.handle);
  EXPECT_EQ(list.IsValid(), 0);
  EXPECT_EQ(EarliestGroup(), &b);
  EXPECT_NE(a.record.handle, list.Earliest());
  // Earlier: a leaf rises to the root.
  (*d.record.handle)->time = 0.5;
  list.ModifyKey(d.record.handle);
  EXPECT_EQ(d.record.handle, list.Earliest());
  EXPECT_EQ(list.IsValid(), 0);
  // Unchanged: nothing moves.
  Event** before = c.record.handle;
  list.ModifyKey(c.record.handle);
  EXPECT_EQ(c.record.handle, before);
  EXPECT_EQ(list.IsValid(), 0);
}

TEST_F(EventListTest, ClearReturnsEveryRecordAndResetsTheGroups) {
  FakeGroup& a = Make("a");
  FakeGroup& b = Make("b");
  Schedule(a, 1.0);
  Schedule(b, 2.0);
  a.record.notInReactivationList = false;
  list.ClearEventList();
  EXPECT_EQ(list.Size(), 0);
  EXPECT_EQ(list.PoolSize(), 8);
  EXPECT_EQ(a.record.handle, nullptr);
  EXPECT_EQ(b.record.handle, nullptr);
  EXPECT_TRUE(a.record.notInReactivationList);
  EXPECT_EQ(list.IsValid(), 0);
  EXPECT_EQ(list.Earliest(), nullptr);
}

TEST_F(EventListTest, IsValidReportsTheFirstViolation) {
  FakeGroup& a = Make("a");
  FakeGroup& b = Make("b");
  FakeGroup& c = Make("c");
  Schedule(a, 1.0);
  Schedule(b, 2.0);
  Schedule(c, 3.0);
  Event** root = a.record.handle;
  Event** left = b.record.handle;
  (*root)->time = 2.5;  // parent later than its left child
  EXPECT_EQ(list.IsValid(), 1);
  (*root)->time = 1.0;
  b.record.handle = root;
  EXPECT_EQ(list.IsValid(), 100001);
  b.record.handle = left;
  EXPECT_EQ(list.IsValid(), 0);
}

// A record handed back to the pool while its event is still in the heap is
// reported at every heap position, the root included, and the list is
// repaired by taking the event out without returning its record again.
TEST_F(EventListTest, IsValidReportsAPoolRecordLeftInTheHeap) {
  FakeGroup& a = Make("a");
  FakeGroup& b = Make("b");
  Schedule(a, 1.0);
  Schedule(b, 2.0);
  list.Unpark(*b.record.handle);
  EXPECT_EQ(list.IsValid(), -1);
  list.RemoveParking(b.record.handle);
  EXPECT_EQ(list.IsValid(), 0);
  list.Unpark(*a.record.handle);
  EXPECT_NE(list.IsValid(), 0);
  EXPECT_EQ(list.IsValid(), EventList::kPoolRecordAtRoot);
  list.RemoveParking(a.record.handle);
  EXPECT_EQ(list.IsValid(), 0);
  EXPECT_EQ(list.PoolSize(), 8);
}

TEST_F(EventListTest, RankIsAskedOnlyWhenTimesAreEqual) {
  FakeGroup& a = Make("a", 1);
  FakeGroup& b = Make("b", 1);
  Schedule(a, 1.0);
  Schedule(b, 2.0);
  list.Earliest();
  EXPECT_EQ(a.rankCalls + b.rankCalls, 0);
}

TEST_F(EventListTest, PrintListShowsEveryEvent) {
  FakeGroup& a = Make("a");
  Event prototype(2.5, 1.0, &a);
  list.Insert(&prototype);
  std::ostringstream out;
  list.PrintList(out);
  EXPECT_EQ(out.str(),
            "------------------Event List-----------------\n(a) 1 --> 2.5\n"
            "---------------------------------------------\n\n");
}

}  // namespace

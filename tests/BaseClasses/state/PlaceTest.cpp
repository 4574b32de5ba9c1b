#include "BaseClasses/state/Place.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <sstream>
#include <string>

#include "BaseClasses/state/BaseStructStateVariable.h"

namespace {

// Every place of one group must read and write the same cell through Mark,
// through its own valuePtr and through every registered outside pointer.
void expectOneCell(std::initializer_list<Place*> group, short value) {
  Place* first = *group.begin();
  first->setMark(value);
  for (Place* p : group) {
    EXPECT_EQ(p->Mark, first->Mark) << p->name;
    EXPECT_EQ(p->valuePtr, first->Mark) << p->name;
    EXPECT_EQ(p->getMark(), value) << p->name;
    EXPECT_EQ(p->SVAffectingActions, first->SVAffectingActions) << p->name;
    EXPECT_EQ(p->SVEnabledActions, first->SVEnabledActions) << p->name;
  }
}

int storedCount(std::initializer_list<Place*> group) {
  int n = 0;
  for (Place* p : group) n += p->getStored() ? 1 : 0;
  return n;
}

TEST(PlaceTest, NewPlaceHoldsItsOwnCell) {
  Place p("up", 4);
  EXPECT_STREQ(p.name, "up");
  EXPECT_STREQ(p.prefix, "");
  EXPECT_EQ(p.getMark(), 4);
  EXPECT_TRUE(p.getStored());
  EXPECT_FALSE(p.getShared());
  EXPECT_EQ(p.getSharingCount(), 2);
  EXPECT_EQ(p.getNumAffectingActions(), 0);
  EXPECT_EQ(p.getNumEnabledActions(), 0);
  EXPECT_EQ(p.StateSize(), 2);
  EXPECT_EQ(p.getMainSV(), &p);
  EXPECT_EQ(p.Mark, p.valuePtr);

  Place unnamed;
  EXPECT_STREQ(unnamed.name, "default");
  EXPECT_EQ(unnamed.getMark(), 0);
  Place named("n");
  EXPECT_EQ(named.getMark(), 0);
}

TEST(PlaceTest, NamesArePrivateCopies) {
  char buffer[] = "first";
  Place p(buffer);
  std::strcpy(buffer, "other");
  EXPECT_STREQ(p.name, "first");
  p.SetName("renamed");
  p.SetPrefix("sub->");
  EXPECT_STREQ(p.name, "renamed");
  EXPECT_STREQ(p.prefix, "sub->");
}

TEST(PlaceTest, SavedStateRoundTripsAndPrints) {
  Place up("up", 3);
  short saved = 0;
  up.CurrentState(&saved);
  EXPECT_EQ(saved, 3);
  short incoming = -12;
  up.SetState(&incoming);
  EXPECT_EQ(up.getMark(), -12);

  std::ostringstream out;
  up.setMark(3);
  up.printState(&out);
  EXPECT_EQ(out.str(), "up = 3\n");
  std::ostringstream val;
  up.printStateVal(&val);
  EXPECT_EQ(val.str(), "3");
  testing::internal::CaptureStdout();
  up.printState();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "up = 3\n");
}

TEST(PlaceTest, ActionIndexOutOfBoundsIsReportedAndYieldsNull) {
  Place p("p", 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(p.getEnabledAction(0), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "!! BaseStateVariableClass::getEnabledAction(int):  EnabledAction index out of bounds\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(p.getAffectingAction(0), nullptr);
  EXPECT_EQ(p.getAffectingAction(-1), nullptr);
  std::string line = "!! BaseStateVariableClass::getAffectingAction(int):  AffectingAction index out of bounds\n";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), line + line);
}

TEST(PlaceTest, PrintActionListsNamesTheVariable) {
  Place p("up", 0);
  testing::internal::CaptureStdout();
  p.printAffectingActions();
  p.printEnabledActions();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Affecting actions for up:\nNo items in the list\nEnabled actions for up:\nNo items in the list\n");
}

TEST(PlaceTest, LeafListHoldsOnlyThePlace) {
  Place p("p", 0);
  List<BaseStateVariableClass>* leaves = p.getLeafNodes();
  ASSERT_EQ(leaves->getNumItems(), 1);
  EXPECT_EQ(leaves->getItem(0), &p);
  delete leaves;
  EXPECT_TRUE(p.isLeafNode());
  EXPECT_EQ(p.getNumLeafNodes(), 1);
}

TEST(PlaceSharingTest, TwoFreshPlacesKeepTheSecondValue) {
  Place p1("p1", 3), p2("p2", 5);
  p1.ShareWith(&p2);
  EXPECT_EQ(p1.getMark(), 5);
  EXPECT_EQ(p2.getMark(), 5);
  p2.setMark(7);
  EXPECT_EQ(p1.getMark(), 7);
  expectOneCell({&p1, &p2}, 9);
  EXPECT_EQ(p1.getSharingCount(), 4);
  EXPECT_TRUE(p1.getStored());
  EXPECT_FALSE(p2.getStored());
  EXPECT_TRUE(p1.getShared());
  EXPECT_TRUE(p2.getShared());
  EXPECT_EQ(p2.getMainSV(), &p1);
  EXPECT_EQ(p2.getHead(), nullptr);
}

TEST(PlaceSharingTest, MemberSharingWithFreshPlaceBringsItIntoTheGroup) {
  Place p1("p1", 3), p2("p2", 5), p3("p3", 8);
  p1.ShareWith(&p2);
  p2.ShareWith(&p3);  // this side merged, other side fresh
  EXPECT_EQ(p3.getMark(), 5);
  EXPECT_EQ(p1.getSharingCount(), 6);
  EXPECT_EQ(p3.getMainSV(), &p1);
  EXPECT_EQ(storedCount({&p1, &p2, &p3}), 1);
  expectOneCell({&p1, &p2, &p3}, -4);
}

TEST(PlaceSharingTest, FreshPlaceSharingWithMemberJoinsTheGroup) {
  Place p1("p1", 3), p2("p2", 5), p3("p3", 8);
  p1.ShareWith(&p2);
  p3.ShareWith(&p2);
  EXPECT_EQ(p3.getMark(), 5);
  EXPECT_EQ(p1.getSharingCount(), 6);
  EXPECT_EQ(p3.getMainSV(), &p1);
  EXPECT_FALSE(p3.getStored());
  expectOneCell({&p1, &p2, &p3}, 11);
}

TEST(PlaceSharingTest, TwoMembersMergeTheirGroups) {
  Place p1("p1", 1), p2("p2", 2), q1("q1", 3), q2("q2", 4);
  p1.ShareWith(&p2);  // group p, value 2
  q1.ShareWith(&q2);  // group q, value 4
  p2.ShareWith(&q2);  // p2's own count (2) is not above q's (4): p joins q
  EXPECT_EQ(p1.getMark(), 4);
  EXPECT_EQ(q1.getSharingCount(), 8);
  EXPECT_EQ(storedCount({&p1, &p2, &q1, &q2}), 1);
  EXPECT_TRUE(q1.getStored());
  for (Place* p : {&p1, &p2, &q2}) EXPECT_EQ(p->getMainSV(), &q1) << p->name;
  expectOneCell({&p1, &p2, &q1, &q2}, 6);
}

// A member whose own count exceeds the other holder's decides that its
// group's value survives; the whole merged group must then still follow
// later merges of its holder.
TEST(PlaceSharingTest, MergedGroupsFollowEveryLaterMerge) {
  Place a("a", 1), a2("a2", 1), a3("a3", 1), z("z", 2), q1("q1", 3), q2("q2", 4), w("w", 9);
  a.ShareWith(&a2);
  a.ShareWith(&a3);  // a holds 3 places: count 6
  z.ShareWith(&a);   // a joins z with its own count 6; z's group counts 8
  q1.ShareWith(&q2);  // count 4
  EXPECT_EQ(a.getSharingCount(), 6);
  a.ShareWith(&q2);  // 6 > 4: q's group joins a's, a's value (that of z's group) survives
  EXPECT_EQ(q1.getMark(), 1);
  EXPECT_EQ(storedCount({&a, &a2, &a3, &z, &q1, &q2}), 1);
  expectOneCell({&a, &a2, &a3, &z, &q1, &q2}, 13);

  w.ShareWith(&z);  // the holder of everything joins a fresh place
  EXPECT_EQ(w.getMark(), 13);
  EXPECT_EQ(w.getSharingCount(), 14);
  expectOneCell({&w, &a, &a2, &a3, &z, &q1, &q2}, 21);
}

TEST(PlaceSharingTest, SharingWithinOneGroupChangesNothing) {
  Place p1("p1", 3), p2("p2", 5), p3("p3", 0);
  p1.ShareWith(&p2);
  p2.ShareWith(&p3);
  p2.ShareWith(&p1);
  p1.ShareWith(&p2);
  p3.ShareWith(&p2);
  p1.ShareWith(&p1);
  p1.share(&p3);
  EXPECT_EQ(p1.getSharingCount(), 6);
  EXPECT_TRUE(p1.getStored());
  expectOneCell({&p1, &p2, &p3}, 17);
}

TEST(PlaceSharingTest, RegisteredPointersFollowTheGroupCell) {
  Place p1("p1", 3), p2("p2", 5), p3("p3", 8);
  short* early = nullptr;
  p2.registerPointer(&early);
  EXPECT_EQ(p2.getSharingCount(), 3);
  EXPECT_EQ(*early, 5);
  p1.ShareWith(&p2);
  short* late = nullptr;
  p2.registerPointer(&late);  // registered on a member after its merge
  p3.ShareWith(&p2);
  p3.share(&p1);
  Place w("w", 0);
  w.ShareWith(&p1);
  EXPECT_EQ(early, w.Mark);
  EXPECT_EQ(late, w.Mark);
  *late = 30;
  EXPECT_EQ(p3.getMark(), 30);
  EXPECT_EQ(w.getSharingCount(), 2 + 3 + 2 + 1 + 2);
}

TEST(PlaceSharingTest, ShareByBaseReferenceMerges) {
  Place p1("p1", 3), p2("p2", 5);
  BaseStateVariableClass* other = &p2;
  p1.share(other);
  expectOneCell({&p1, &p2}, 1);
}

TEST(PlaceSharingDeathTest, SharingWithAnotherKindIsAFatalAssertion) {
  Place p("p", 0);
  BaseStructStateVariable s("s", "");
  EXPECT_DEATH(p.share(&s), "Assertion failed: otherSV, file state/SharableSV");
}

TEST(PlaceSharingTest, DestroyingMembersBeforeTheHolderIsClean) {
  auto* holder = new Place("h", 1);
  auto* member = new Place("m", 2);
  holder->ShareWith(member);
  delete member;
  holder->setMark(4);
  EXPECT_EQ(holder->getMark(), 4);
  delete holder;
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "BaseClasses/List.h"
#include "Composer/Join.h"
#include "Composer/SharedStateVarLink.h"
#include "TinyModels.h"

namespace {

const char* const kSharedNames[1] = {"link"};

// Two tiny SANs whose "link" places are one shared place, built the way a
// generated join is.
class PairJoin : public Join {
 public:
  PairJoin(const char* firstAction, const char* secondAction, bool emptyChildren = false)
      : Join("Pair", 2, 1, kSharedNames),
        first(new TinySAN("first", firstAction, 3, 10, emptyChildren)),
        second(new TinySAN("second", secondAction, 5, 20, emptyChildren)) {
    Children[0] = first;
    Children[1] = second;
    SetupActions();
    if (AllChildrenEmpty()) {
      NumSharedStateVariables = 0;
    } else {
      shared = new Place("link");
      addSharedPtr(shared, "link");
      shared->ShareWith(first->link.get());
      addSharingInfo(first->link.get(), shared, first);
      shared->ShareWith(second->link.get());
      addSharingInfo(second->link.get(), shared, second);
    }
    Setup();
  }
  ~PairJoin() override {
    delete shared;
    delete first;
    delete second;
  }

  TinySAN* first;
  TinySAN* second;
  Place* shared = nullptr;
};

TEST(Join, ComposesActionsAndNumbersGroupsInChildOrder) {
  PairJoin join("a", "b");
  ASSERT_EQ(join.numActions, 2);
  ASSERT_EQ(join.numGroups, 2);
  EXPECT_EQ(join.actions[0], join.first->tick.get());
  EXPECT_EQ(join.actions[1], join.second->tick.get());
  EXPECT_EQ(join.first->tick->groupId, 0);
  EXPECT_EQ(join.second->tick->groupId, 1);
  List<BaseGroupClass> groups;
  join.listGroups(&groups);
  EXPECT_EQ(groups.getNumItems(), 2);
}

TEST(Join, SharedPlaceIsOneCellForBothChildren) {
  PairJoin join("a", "b");
  // The last child merged gives the group its value.
  EXPECT_EQ(join.shared->getMark(), 5);
  EXPECT_EQ(join.first->link->getMark(), 5);
  join.first->tick->Fire();
  EXPECT_EQ(*join.second->tick->mark, 6);
  EXPECT_EQ(join.shared->getMark(), 6);
  // Both activities now name the holder once, and it lists both.
  EXPECT_EQ(join.first->tick->affectedSVs.getNumItems(), 1);
  EXPECT_EQ(join.first->tick->affectedSVs.getItem(0), join.shared);
  EXPECT_EQ(join.second->tick->enablingSVs.getItem(0), join.shared);
  EXPECT_EQ(join.shared->getNumAffectingActions(), 2);
}

TEST(Join, CountsStateVariablesAndLaysOutStateAfterTheChildren) {
  PairJoin join("a", "b");
  EXPECT_EQ(join.getNumStateVariables(), 3);  // 2 + 2 places, 2 merged, 1 shared
  EXPECT_EQ(join.StateSize(), 6);
  EXPECT_EQ(join.CachedStateSize, 6);
  EXPECT_EQ(join.SharedStateSize(), 2);

  short saved[3] = {0, 0, 0};
  join.CurrentState(saved);
  EXPECT_EQ(saved[0], 10);  // first's local
  EXPECT_EQ(saved[1], 20);  // second's local
  EXPECT_EQ(saved[2], 5);   // the shared value

  join.first->local->setMark(-1);
  join.shared->setMark(9);
  short changed[3];
  join.CurrentState(changed);
  EXPECT_FALSE(join.CompareState(saved, changed));
  join.SetState(saved);
  EXPECT_EQ(join.first->local->getMark(), 10);
  EXPECT_EQ(*join.first->tick->mark, 5);
  join.CurrentState(changed);
  EXPECT_TRUE(join.CompareState(saved, changed));
}

TEST(Join, ChainsRecordWhichChildVariablesAShareStandsFor) {
  PairJoin join("a", "b");
  SharedStateVarLink* chain = join.getListOfSharedVariables(join.shared);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->StateVar, join.first->link.get());
  EXPECT_EQ(chain->Model, join.first);
  ASSERT_NE(chain->Next, nullptr);
  EXPECT_EQ(chain->Next->StateVar, join.second->link.get());
  EXPECT_EQ(chain->Next->Next, nullptr);
  EXPECT_TRUE(chain->hasStateVar(join.second->link.get()));
  EXPECT_FALSE(chain->hasStateVar(join.first->local.get()));

  EXPECT_EQ(join.getMainSharedVariable(join.second->link.get()), join.shared);
  EXPECT_EQ(join.getMainSharedVariable(join.first->local.get()), nullptr);
  EXPECT_EQ(join.getListOfSharedVariables(join.first->local.get()), nullptr);
  EXPECT_EQ(join.GetSharedStateVariables()[0], join.shared);
}

TEST(Join, NameLookupsAskEveryChild) {
  PairJoin join("a", "b");
  List<BaseStateVariableClass> svs;
  List<BaseModelClass> models;
  join.listSVs("second", "local", &svs, &models);
  ASSERT_EQ(svs.getNumItems(), 1);
  EXPECT_EQ(svs.getItem(0), join.second->local.get());
  EXPECT_EQ(models.getItem(0), join.second);

  List<BaseActionClass> named;
  join.listActions("b", &named);
  ASSERT_EQ(named.getNumItems(), 1);
  EXPECT_EQ(named.getItem(0), join.second->tick.get());

  List<BaseModelClass> found;
  join.listModels("first", &found);
  EXPECT_EQ(found.getNumItems(), 1);
  join.listModels("Pair", &found);  // the join itself is not a leaf model
  EXPECT_EQ(found.getNumItems(), 1);
}

TEST(Join, ActionNameTableCountsNamesAcrossChildren) {
  PairJoin same("tick", "tick");
  EXPECT_EQ(same.NumDistinctActionNames, 1);
  EXPECT_EQ(same.TableSize, 4);
  EXPECT_EQ(same.CountActionsNamed("tick"), 2);
  int used = 0;
  for (int i = 0; i < same.TableSize; ++i) used += same.ActionNameSlots[i] != nullptr;
  EXPECT_EQ(used, 1);

  PairJoin different("a", "b");
  EXPECT_EQ(different.TableSize, 8);
  EXPECT_EQ(different.CountActionsNamed("a"), 1);
  EXPECT_EQ(different.CountActionsNamed("b"), 1);
  EXPECT_EQ(different.CountActionsNamed("c"), 0);
}

TEST(Join, HashFollowsTheShiftAndAddRule) {
  EXPECT_EQ(BaseComposerClass::Hash("", 7), 0);
  EXPECT_EQ(BaseComposerClass::Hash("ab", 100), (97 * 32 + 98) % 100);
  // Characters count as signed: 0xff adds -1 in unsigned arithmetic.
  EXPECT_EQ(BaseComposerClass::Hash("\xff", 1000), static_cast<int>(4294967295u % 1000u));
}

TEST(Join, ChildrenWithoutStateShareNothing) {
  PairJoin join("a", "b", true);
  EXPECT_TRUE(join.AllChildrenEmpty());
  EXPECT_EQ(join.NumSharedStateVariables, 0);
  EXPECT_EQ(join.getNumStateVariables(), 0);
  EXPECT_EQ(join.StateSize(), 0);
  EXPECT_FALSE(join.HasLocalState());
  EXPECT_EQ(join.GetSharedStateVariables(), nullptr);
}

TEST(Join, LocalStateSavesAndRestoresTheSharedValues) {
  PairJoin join("a", "b");
  ASSERT_TRUE(join.HasLocalState());
  State* local = nullptr;
  join.ConstructLocalState(local);
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(local->size, 2);
  join.GetLocalState(local);
  join.shared->setMark(42);
  join.SetLocalState(local);
  EXPECT_EQ(join.second->link->getMark(), 5);
  // 5 as the bytes 5, 0 weighted by the primes 2 and 3.
  EXPECT_EQ(local->hash(), 10);

  State* other = nullptr;
  join.ConstructLocalState(other);
  *other = *local;
  EXPECT_EQ(other->compare(*local), 0);
  join.DestructLocalState(other);
  join.DestructLocalState(local);
}

TEST(Join, LocalStateFileRoundTripAndRefusesAForeignSize) {
  PairJoin join("a", "b");
  Join::LocalState state(2);
  join.GetLocalState(&state);
  FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(state.fwriteState(file));
  std::rewind(file);
  Join::LocalState back(2);
  EXPECT_FALSE(back.freadState(file));
  EXPECT_EQ(back.compare(state), 0);

  std::rewind(file);
  Join::LocalState larger(1);
  EXPECT_TRUE(larger.freadState(file));  // 2 stored bytes do not fit 1
  std::fclose(file);

  testing::internal::CaptureStdout();
  state.print();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "    5    0\n");
}

TEST(Join, PrintsChildrenThenTheStoredSharedVariables) {
  PairJoin join("a", "b");
  std::ostringstream out;
  join.printState(&out);
  const std::string text = out.str();
  const std::string head = "Model: (" + std::to_string(join.modelId) + ")Pair\n";
  EXPECT_EQ(text.rfind(head, 0), 0u);
  EXPECT_NE(text.find("Model: (" + std::to_string(join.first->modelId) + ")first\n"), std::string::npos);
  EXPECT_NE(text.find("Shared Variables:\n  link = 5\n"), std::string::npos);

  testing::internal::CaptureStdout();
  join.printAllSharedVariables();
  const std::string listing = testing::internal::GetCapturedStdout();
  EXPECT_EQ(listing.rfind("Shared Variables for composer node Pair\n  Shared Variable 0 has name link and address ", 0), 0u);
  EXPECT_NE(listing.find("    And here is its list of equivalent variables:\n"), std::string::npos);
  size_t links = 0;
  for (size_t at = listing.find("This link holds state var link"); at != std::string::npos;
       at = listing.find("This link holds state var link", at + 1))
    ++links;
  EXPECT_EQ(links, 2u);
}

// A join whose first child is itself a join: sharing is followed down.
class NestedJoin : public Join {
 public:
  NestedJoin() : Join("Outer", 2, 1, kSharedNames), inner(new PairJoin("a", "b")), third(new TinySAN("third", "c", 7, 30)) {
    Children[0] = inner;
    Children[1] = third;
    SetupActions();
    shared = new Place("link");
    addSharedPtr(shared, "link");
    shared->ShareWith(inner->shared);
    addSharingInfo(inner->shared, shared, inner);
    shared->ShareWith(third->link.get());
    addSharingInfo(third->link.get(), shared, third);
    Setup();
  }
  ~NestedJoin() override {
    delete shared;
    delete inner;
    delete third;
  }
  PairJoin* inner;
  TinySAN* third;
  Place* shared;
};

TEST(Join, NestedSharingIsFollowedThroughTheInnerJoin) {
  NestedJoin outer;
  EXPECT_EQ(outer.numActions, 3);
  EXPECT_EQ(outer.third->tick->groupId, 2);
  int links = 0;
  for (SharedStateVarLink* l = outer.getListOfSharedVariables(outer.shared); l != nullptr; l = l->Next) ++links;
  EXPECT_EQ(links, 4);  // the inner share, its two child places, third's place
  EXPECT_EQ(outer.getMainSharedVariable(outer.inner->first->link.get()), outer.shared);
  outer.third->tick->Fire();
  EXPECT_EQ(outer.inner->first->link->getMark(), 8);
  // Inner 3 + third 2, less the inner share and third's link, plus one share:
  // the three local places and the one shared value.
  EXPECT_EQ(outer.getNumStateVariables(), 4);
  EXPECT_EQ(outer.StateSize(), 2 + 2 + 2 + 2);
}

using JoinDeathTest = testing::Test;

TEST_F(JoinDeathTest, ChildIndexBeyondTheChildrenIsFatal) {
  PairJoin join("a", "b");
  EXPECT_DEATH(join.GetChild(2), "Assertion failed: i < GetNumberOfChildren\\(\\), file Join");
  EXPECT_EQ(join.GetChild(1), join.second);
}

TEST_F(JoinDeathTest, SharedVariablesMustComeInNameOrder) {
  const char* const names[2] = {"x", "y"};
  Join join("J", 1, 2, names);
  Place p("p");
  EXPECT_DEATH(join.addSharedPtr(&p, "y"),
               "0 == strcmp\\(VarName, SharedStateNames\\[AddedSharedPtrs\\]\\), file BaseComposerClass");
  join.addSharedPtr(&p, "x");
  join.addSharedPtr(&p, "y");
  EXPECT_DEATH(join.addSharedPtr(&p, "z"), "AddedSharedPtrs < NumSharedStateVariables, file BaseComposerClass");
  Place stranger("s");
  EXPECT_DEATH(join.addSharingInfo(&stranger, &stranger, nullptr), "VarIndex != -1, file BaseComposerClass");
}

TEST_F(JoinDeathTest, JoinsHaveNoLocalOrGlobalActionQueries) {
  PairJoin join("a", "b");
  ActionSList out;
  EXPECT_DEATH(join.GetLocalActions(out), "Assertion failed: false, file Join");
  EXPECT_DEATH(join.GetGlobalActions(out), "Assertion failed: false, file Join");
}

TEST_F(JoinDeathTest, LocalStatesOfDifferentSizesCannotBeAssigned) {
  Join::LocalState small(1);
  Join::LocalState big(2);
  EXPECT_DEATH(small = big, "size == _localS->size, file Join");
}

}  // namespace

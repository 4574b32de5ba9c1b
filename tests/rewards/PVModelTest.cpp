// The reward model over a hand-built top model: node list, the frozen
// per-action sets, the run-time forwarding and the type file.
#include <gtest/gtest.h>

#include <cfloat>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>
#include <vector>

#include "RewardTestModel.h"

namespace {

// Top model "top" with one child "A": places up and down; "fail" writes
// both, "repair" writes up, "noise" writes the unread place other.
struct Fixture {
  TestModel* top = new TestModel("top");
  TestModel* a = top->AddChild("A");
  Place* up = a->AddPlace("up", 1);
  Place* down = a->AddPlace("down", 0);
  Place* other = a->AddPlace("other", 0);
  SetMarkAction* fail = a->AddAction("fail", {up, down}, 0);
  SetMarkAction* repair = a->AddAction("repair", {up}, 1);
  SetMarkAction* noise = a->AddAction("noise", {other}, 3);
  Fixture() { top->Finish(); }
};

// Variable 0 reads up and down of A at 10, 20, 30; variable 1 reads nothing.
PerformanceVariableNode* MakeNode(int variable, int timeIndex) {
  if (variable == 0) {
    auto* node = new TestNode("avail", InstantOfTimeReward, {10.0, 20.0, 30.0}, {10.0, 20.0, 30.0},
                              timeIndex, [] { return new MarkingWorker("up"); });
    node->AddVariableDependency("up", "A");
    node->AddVariableDependency("down", "A");
    return node;
  }
  if (variable == 1)
    return new TestNode("idle", InstantOfTimeReward, {5.0}, {5.0}, timeIndex, nullptr);
  return nullptr;
}

std::unique_ptr<TestPVModel> Build(Fixture& f, int variables, bool allTimePoints) {
  auto model = std::make_unique<TestPVModel>(f.top, MakeNode);
  model->CreatePVList(variables, allTimePoints);
  model->Initialize();
  return model;
}

bool Holds(FastSet& set, int v) {
  for (int i = 0; i < set.size(); i++)
    if (set[i] == v) return true;
  return false;
}

TEST(PVModelList, NodesFollowVariablesThenTimePoints) {
  Fixture f;
  auto model = Build(f, 2, true);
  ASSERT_EQ(model->NumNodes, 4);
  const double starts[] = {10.0, 20.0, 30.0, 5.0};
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(model->Nodes[static_cast<size_t>(i)]->Id, i);
    EXPECT_EQ(model->Nodes[static_cast<size_t>(i)]->StartTime, starts[i]);
  }
  EXPECT_EQ(model->MaxStopTime, 30.0);
}

TEST(PVModelList, WithoutAllTimePointsOnlyTheFirstIsMeasured) {
  Fixture f;
  auto model = Build(f, 1, false);
  ASSERT_EQ(model->NumNodes, 1);
  EXPECT_EQ(model->Nodes[0]->StartTime, 10.0);
  EXPECT_EQ(model->MaxStopTime, 10.0);
}

// Ids index the per-action arrays, so a second reward model in the same
// process must number its nodes from 0 again.
TEST(PVModelList, SecondRewardModelNumbersItsNodesFromZero) {
  Fixture first;
  auto one = Build(first, 2, true);
  one.reset();
  Fixture second;
  auto two = Build(second, 2, true);
  for (int i = 0; i < two->NumNodes; i++) EXPECT_EQ(two->Nodes[static_cast<size_t>(i)]->Id, i);
  EXPECT_TRUE(Holds(second.fail->AffectedNodes, 2));
}

TEST(PVModelInitialize, RecordsWhichActionsAffectWhichNodes) {
  Fixture f;
  auto model = Build(f, 2, true);
  for (SetMarkAction* a : {f.fail, f.repair}) {
    EXPECT_EQ(a->AffectedNodesByRateReward.size(), 3) << a->name;
    EXPECT_EQ(a->AffectedNodes.size(), 3) << a->name;
    for (int pv = 0; pv < 3; pv++) {
      EXPECT_TRUE(Holds(a->AffectedNodes, pv));
      EXPECT_EQ(a->PVRateSet(pv).size(), 1);  // worker 0
    }
    EXPECT_FALSE(Holds(a->AffectedNodes, 3));
  }
  EXPECT_EQ(f.noise->AffectedNodes.size(), 0);
  EXPECT_EQ(f.noise->AffectedNodesByRateReward.size(), 0);
  // "fail" writes two places that node 0 reads, yet is listed once.
  ASSERT_EQ(model->Nodes[0]->GetNumAffectingActions(), 2);
  EXPECT_EQ(model->Nodes[0]->AffectingActions[0], f.fail);
  EXPECT_EQ(model->Nodes[0]->AffectingActions[1], f.repair);
  EXPECT_EQ(model->Nodes[3]->GetNumAffectingActions(), 0);
  EXPECT_EQ(model->NumAffectingActions, 2);
  EXPECT_EQ(model->NumRateActions, 3);
}

TEST(PVModelInitialize, FreezesEverySetAndTakesOverTheActions) {
  Fixture f;
  auto model = Build(f, 2, true);
  for (BaseActionClass* a : {static_cast<BaseActionClass*>(f.fail), static_cast<BaseActionClass*>(f.noise),
                             &model->NoActionFired}) {
    EXPECT_TRUE(a->AffectedNodes.isFrozen());
    EXPECT_TRUE(a->AffectedNodesByRateReward.isFrozen());
    EXPECT_TRUE(a->AffectedNodesByImpulseReward.isFrozen());
    for (int pv = 0; pv < model->NumNodes; pv++) {
      EXPECT_TRUE(a->PVRateSet(pv).isFrozen());
      EXPECT_TRUE(a->PVImpulseSet(pv).isFrozen());
    }
  }
  EXPECT_STREQ(model->NoActionFired.name, "No Action Fired Yet");
  EXPECT_EQ(model->LastFiredAction, &model->NoActionFired);
  ASSERT_EQ(model->numActions, 3);
  EXPECT_EQ(model->actions[2], f.noise);
  List<BaseActionClass> listed;
  model->listActions(&listed);
  EXPECT_EQ(listed.getNumItems(), 3);
  EXPECT_EQ(model->StateSize(), 6);
}

// One replication: initial up = 1; "fail" at 15 and "repair" at 25.
TEST(PVModelRun, MeasuresEachInstantAndResets) {
  Fixture f;
  auto model = Build(f, 2, true);
  int terminating[] = {0, 1, 2};
  model->ConsiderOnly(terminating, 3);

  model->Accumulate(15.0);
  EXPECT_EQ(model->FireAction(f.fail, 15.0), f.fail);
  EXPECT_EQ(model->LastFiredAction, f.fail);
  EXPECT_EQ(BaseModelClass::LastActionTime, 15.0);
  model->Accumulate(25.0);
  model->FireAction(f.repair, 25.0);
  model->EndAccumulate(30.0);

  EXPECT_DOUBLE_EQ(model->Nodes[0]->Value, 1.0);  // at 10: before the failure
  EXPECT_DOUBLE_EQ(model->Nodes[1]->Value, 0.0);  // at 20: failed
  EXPECT_DOUBLE_EQ(model->Nodes[2]->Value, 1.0);  // at 30: repaired
  for (int i = 0; i < 3; i++) EXPECT_EQ(model->Nodes[static_cast<size_t>(i)]->Status, 2);
  EXPECT_EQ(model->Nodes[3]->Status, 0);  // not considered

  model->PVReset();
  for (PerformanceVariableNode* node : model->Nodes) {
    EXPECT_EQ(node->Status, 0);
    EXPECT_EQ(node->Value, 0.0);
  }
  EXPECT_EQ(model->LastFiredAction, &model->NoActionFired);
  EXPECT_EQ(BaseModelClass::LastActionTime, 0.0);
}

// Skipping the pass while no node can act must not change any result: a
// model forced to visit every node before each firing ends the same. The
// runs go one after the other, as the firing history is program-wide.
std::vector<std::pair<int, double>> RunReplications(bool forceEveryPass) {
  Fixture f;
  auto model = Build(f, 2, true);
  model->ConsiderOnly(nullptr, 0);
  const double times[] = {1.0, 4.0, 5.0, 7.0, 10.0, 12.0, 19.5, 20.0, 26.0, 29.0};
  std::vector<std::pair<int, double>> results;
  for (int replication = 0; replication < 2; ++replication) {
    for (size_t i = 0; i < std::size(times); ++i) {
      if (forceEveryPass) model->NodesChanged();
      model->Accumulate(times[i]);
      model->FireAction(i % 2 ? f.repair : f.fail, times[i]);
    }
    model->EndAccumulate(30.0);
    for (PerformanceVariableNode* node : model->Nodes) results.emplace_back(node->Status, node->Value);
    model->PVReset();
  }
  return results;
}

TEST(PVModelRun, SkippedPassesLeaveEveryNodeAsFullPassesWould) {
  const auto quiet = RunReplications(false);
  const auto full = RunReplications(true);
  ASSERT_EQ(quiet.size(), 8u);
  EXPECT_EQ(quiet, full);
  EXPECT_DOUBLE_EQ(quiet[0].second, 0.0);  // at 10: failed at 10
  EXPECT_DOUBLE_EQ(quiet[1].second, 1.0);  // at 20: repaired at 19.5
}

TEST(PVModelRun, ConsiderAllWithNullIndices) {
  Fixture f;
  auto model = Build(f, 2, true);
  model->ConsiderOnly(nullptr, 0);
  EXPECT_EQ(model->Considered.size(), 4u);
  model->EndAccumulate(30.0);
  for (PerformanceVariableNode* node : model->Nodes) EXPECT_EQ(node->Status, 2);
}

TEST(PVModelRun, StateRoundTripsThroughTheTopModel) {
  Fixture f;
  auto model = Build(f, 1, true);
  std::vector<char> saved(static_cast<size_t>(model->StateSize()));
  model->CurrentState(saved.data());
  model->FireAction(f.fail, 1.0);
  EXPECT_EQ(f.up->getMark(), 0);
  model->SetState(saved.data());
  EXPECT_EQ(f.up->getMark(), 1);
}

TEST(PVModelSteadyState, BatchedNodesResumeAndSlideTheirWindow) {
  Fixture f;
  auto model = std::make_unique<TestPVModel>(f.top, [](int variable, int timeIndex) -> PerformanceVariableNode* {
    if (variable != 0) return nullptr;
    auto* node = new TestNode("batched", IntervalOfTimeReward, {0.0}, {4.0}, timeIndex,
                              [] { return new IntervalMarkingWorker("up"); });
    node->AddVariableDependency("up", "A");
    node->SteadyStateFlag = 1;
    return node;
  });
  model->CreatePVList(1, true);
  model->Initialize();
  model->ConsiderOnly(nullptr, 0);
  PerformanceVariableNode* node = model->Nodes[0];

  model->Accumulate(5.0);  // window [0, 4] at marking 1 is complete
  EXPECT_EQ(node->Status, 2);
  EXPECT_DOUBLE_EQ(node->Value, 4.0);
  model->SteadyState();
  EXPECT_EQ(node->Status, 1);
  EXPECT_EQ(node->StartTime, 4.0);
  EXPECT_EQ(node->StopTime, 8.0);
}

TEST(PVModelImpulses, ActionFiringsReachTheImpulseWorkersOfItsInstance) {
  Fixture f;
  TestModel* second = f.top->AddChild("A");
  Place* up2 = second->AddPlace("up", 1);
  SetMarkAction* fail2 = second->AddAction("fail", {up2}, 0);
  f.top->Finish();
  auto model = std::make_unique<TestPVModel>(f.top, [](int variable, int timeIndex) -> PerformanceVariableNode* {
    if (variable != 0) return nullptr;
    auto* node = new TestNode("failures", InstantOfTimeReward, {50.0}, {50.0}, timeIndex, nullptr);
    node->AddImpulse("fail", "A", &node->prototype);
    return node;
  });
  model->CreatePVList(1, true);
  model->Initialize();
  model->ConsiderOnly(nullptr, 0);
  PerformanceVariableNode* node = model->Nodes[0];
  ASSERT_EQ(node->GetNumberOfImpulseWorkers(), 2);
  EXPECT_TRUE(Holds(f.fail->AffectedNodesByImpulseReward, 0));
  EXPECT_TRUE(Holds(fail2->AffectedNodesByImpulseReward, 0));
  EXPECT_TRUE(Holds(f.fail->AffectedNodes, 0));
  EXPECT_EQ(f.repair->AffectedNodesByImpulseReward.size(), 0);
  EXPECT_EQ(node->GetNumAffectingActions(), 2);
  EXPECT_EQ(model->NumAffectingActions, 2);

  model->FireAction(f.fail, 1.0);
  model->Accumulate(50.0);  // node window not yet passed: accumulates the firing at 1
  model->FireAction(f.fail, 50.0);
  model->Accumulate(60.0);
  EXPECT_EQ(node->Status, 2);
  EXPECT_EQ(node->ImpulseWorkers[0][0]->Value, 2.0);  // the first instance's worker
  EXPECT_EQ(node->ImpulseWorkers[0][1]->Value, 0.0);
  EXPECT_DOUBLE_EQ(node->Value, 2.0);
  EXPECT_DOUBLE_EQ(node->ImpulseValue, 2.0);
  EXPECT_DOUBLE_EQ(node->SquaredValue, 4.0);
}

TEST(PVModelTypeFile, ListsEveryNodeWithItsTimePoints) {
  Fixture f;
  auto model = Build(f, 2, false);
  const std::string path = ::testing::TempDir() + "pvtypes.txt";
  model->WritePVTypeFile(path.c_str());
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "Version:1\nNumPV:2\n"
            "Name:avail\nType:0\nNumTimes:3\nStart:10\nStop:10\nStart:20\nStop:20\nStart:30\nStop:30\n"
            "Name:idle\nType:0\nNumTimes:1\nStart:5\nStop:5\n");
}

TEST(PVModelTypeFile, UnwritablePathWritesNothing) {
  Fixture f;
  auto model = Build(f, 1, false);
  model->WritePVTypeFile("/nonexistent-dir/pvtypes.txt");
  std::ifstream in("/nonexistent-dir/pvtypes.txt");
  EXPECT_FALSE(in.good());
}

}  // namespace

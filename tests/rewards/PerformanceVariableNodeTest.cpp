// A node driven by hand with the (now, last) pairs the reward model passes
// before each firing, over a one-place model whose marking the test sets
// between the calls as firings would.
#include <gtest/gtest.h>

#include <memory>

#include "RewardTestModel.h"

namespace {

class InstantNodeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model = std::make_unique<TestModel>("A");
    up = model->AddPlace("up", 0);
    model->Finish();
    node = std::make_unique<TestNode>("avail", InstantOfTimeReward, std::vector<double>{30.0},
                                      std::vector<double>{30.0}, 0,
                                      [] { return new MarkingWorker("up"); });
    node->AddVariableDependency("up", "A");
    node->Bind(model.get());
  }

  std::unique_ptr<TestModel> model;
  Place* up = nullptr;
  std::unique_ptr<TestNode> node;
  BaseActionClass none;
};

TEST_F(InstantNodeTest, FiringsBeforeTheInstantLeaveTheNodeUntouched) {
  node->Accumulate(10.0, 0.0, &none);
  node->Accumulate(29.9, 10.0, &none);
  EXPECT_EQ(node->Status, 0);
  EXPECT_EQ(node->Value, 0.0);
}

TEST_F(InstantNodeTest, FirstFiringPastTheInstantMeasuresTheStateBeforeIt) {
  up->setMark(3);  // state reached by the firing at 10
  node->Accumulate(10.0, 0.0, &none);
  node->Accumulate(40.0, 10.0, &none);  // the firing at 40 has not happened yet
  EXPECT_EQ(node->Status, 2);
  EXPECT_DOUBLE_EQ(node->Value, 3.0);
  EXPECT_DOUBLE_EQ(node->SquaredValue, 9.0);

  up->setMark(8);  // later firings do not change a complete node
  node->Accumulate(50.0, 40.0, &none);
  node->EndAccumulate(365.0, 50.0, &none);
  EXPECT_DOUBLE_EQ(node->Value, 3.0);
}

TEST_F(InstantNodeTest, InstantBeforeAnyFiringTakesTheInitialState) {
  up->setMark(2);
  node->Accumulate(45.0, 0.0, &none);
  EXPECT_EQ(node->Status, 2);
  EXPECT_DOUBLE_EQ(node->Value, 2.0);
}

TEST_F(InstantNodeTest, FiringExactlyAtTheInstantIsMeasuredAfterwards) {
  up->setMark(1);
  node->Accumulate(30.0, 10.0, &none);
  EXPECT_EQ(node->Status, 1);
  up->setMark(5);  // the firing at 30
  node->Accumulate(31.0, 30.0, &none);
  EXPECT_EQ(node->Status, 2);
  EXPECT_DOUBLE_EQ(node->Value, 5.0);
}

TEST_F(InstantNodeTest, NoFiringAfterTheInstantCompletesAtTheEnd) {
  node->Accumulate(20.0, 10.0, &none);
  up->setMark(7);  // the last firing, at 20
  node->EndAccumulate(365.0, 20.0, &none);
  EXPECT_EQ(node->Status, 2);
  EXPECT_DOUBLE_EQ(node->Value, 7.0);
  EXPECT_DOUBLE_EQ(node->SquaredValue, 49.0);
}

TEST_F(InstantNodeTest, ResetStartsAFreshObservationOfTheSameInstant) {
  up->setMark(4);
  node->Accumulate(40.0, 0.0, &none);
  node->Reset();
  EXPECT_EQ(node->Status, 0);
  EXPECT_EQ(node->Value, 0.0);
  EXPECT_EQ(node->StartTime, 30.0);
  up->setMark(1);
  node->Accumulate(35.0, 0.0, &none);
  EXPECT_DOUBLE_EQ(node->Value, 1.0);
}

TEST_F(InstantNodeTest, WorkerIsNamedNumberedAndBoundToTheInstance) {
  ASSERT_EQ(node->NumWorkers, 1);
  auto* worker = static_cast<MarkingWorker*>(node->Workers[0]);
  EXPECT_EQ(worker->Name, "avail");
  EXPECT_EQ(worker->Index, 0);
  EXPECT_EQ(worker->Id, node->Id);
  EXPECT_EQ(worker->first, model.get());
  EXPECT_EQ(worker->StartTime, 30.0);
}

TEST(NodeWithoutDependencies, HasNoWorkersAndReportsZero) {
  TestModel model("A");
  model.Finish();
  TestNode node("none", InstantOfTimeReward, {5.0}, {5.0}, 0, [] { return new MarkingWorker("up"); });
  node.Bind(&model);
  EXPECT_EQ(node.NumWorkers, 0);
  node.Accumulate(10.0, 0.0, nullptr);
  EXPECT_EQ(node.Status, 2);
  EXPECT_EQ(node.Value, 0.0);
  EXPECT_EQ(node.SquaredValue, 0.0);
}

TEST(NodeInitialization, TakesConsecutiveIdsAndItsTimePoint) {
  TestNode a("v", InstantOfTimeReward, {1.0, 2.0, 3.0}, {1.5, 2.5, 3.5}, 2, nullptr);
  TestNode b("v", InstantOfTimeReward, {1.0, 2.0, 3.0}, {1.5, 2.5, 3.5}, 0, nullptr);
  EXPECT_EQ(b.Id, a.Id + 1);
  EXPECT_EQ(a.StartTime, 3.0);
  EXPECT_EQ(a.StopTime, 3.5);
  EXPECT_EQ(a.WindowLength, 0.5);
  EXPECT_EQ(a.GetNumTimePoints(), 3);
  EXPECT_EQ(a.GetStopTime(1), 2.5);
}

TEST(NodeDependencies, ModelNamesAreDistinctInOrderOfFirstMention) {
  TestNode node("v", InstantOfTimeReward, {1.0}, {1.0}, 0, nullptr);
  node.AddVariableDependency("x", "B");
  node.AddModelDependency("A");
  node.AddVariableDependency("y", "A");
  node.AddModelDependency("B");
  ASSERT_EQ(node.NumModelDependencies, 2);
  EXPECT_EQ(node.ModelDependencies[0], "B");
  EXPECT_EQ(node.ModelDependencies[1], "A");
  EXPECT_EQ(node.NumVarDependencies, 2);
  EXPECT_EQ(node.VarDependencies[1].VariableName, "y");
  EXPECT_EQ(node.VarDependencies[1].ModelName, "A");
  EXPECT_TRUE(node.IsDependentOnModel("A"));
  EXPECT_FALSE(node.IsDependentOnModel("C"));
}

// Two instances of A and three of B: six workers, A varying slowest.
TEST(NodeModelGroups, FormTheProductOfInstancesFirstDependencySlowest) {
  TestModel top("top");
  TestModel* a[2] = {top.AddChild("A"), top.AddChild("A")};
  TestModel* b[3] = {top.AddChild("B"), top.AddChild("B"), top.AddChild("B")};
  top.Finish();
  TestNode node("v", InstantOfTimeReward, {1.0}, {1.0}, 0, [] { return new MarkingWorker("up"); });
  node.AddModelDependency("A");
  node.AddModelDependency("B");
  node.Bind(&top);
  ASSERT_EQ(node.NumWorkers, 6);
  for (int j = 0; j < 6; j++) {
    auto* worker = static_cast<MarkingWorker*>(node.Workers[static_cast<size_t>(j)]);
    EXPECT_EQ(worker->first, a[j / 3]) << "worker " << j;
    EXPECT_EQ(worker->second, b[j % 3]) << "worker " << j;
    EXPECT_TRUE(node.ModelGroups[static_cast<size_t>(j)].IsDependentOnModel(b[j % 3]));
  }
}

TEST(NodeModelGroupsDeathTest, DependencyWithoutInstancesEndsTheProcess) {
  TestModel top("top");
  top.AddChild("A");
  top.Finish();
  TestNode node("v", InstantOfTimeReward, {1.0}, {1.0}, 0, [] { return new MarkingWorker("up"); });
  node.AddModelDependency("A");
  node.AddModelDependency("C");
  node.FixReferences(&top);
  EXPECT_EXIT(node.CreateModelGroupList(), ::testing::ExitedWithCode(0),
              "Number of C's was 0\\.  Model cannot be created\\.\nModel Name was: top\n");
}

TEST(NodeImpulsesDeathTest, DependencyOnAnUnknownImpulseEndsTheProcess) {
  TestNode node("v", InstantOfTimeReward, {1.0}, {1.0}, 0, nullptr);
  CountingImpulse stranger;
  EXPECT_EXIT(node.AddImpulseModelDependency("A", &stranger), ::testing::ExitedWithCode(0),
              "Model Dependency requested on undefined impulse\\.\n  Check code generator\\.  "
              "Error code GP0001\\.");
}

TEST(NodeImpulses, RegisteringTwiceKeepsOneImpulse) {
  TestNode node("v", InstantOfTimeReward, {1.0}, {1.0}, 0, nullptr);
  node.AddImpulse("flip", "A", &node.prototype);
  node.AddImpulse("flop", "A", &node.prototype);
  EXPECT_EQ(node.NumImpulses, 1);
  EXPECT_EQ(node.GetImpulseNumber(&node.prototype), 0);
  EXPECT_EQ(node.ImpulseActions[0].ActionName, "flop");
  EXPECT_TRUE(node.IsDependentOnImpulseModel("A", 0));
  CountingImpulse other;
  EXPECT_EQ(node.GetImpulseNumber(&other), -1);
}

// Interval rewards add the workers' weighted sum at every step.
TEST(IntervalNode, AccumulatesOverItsWindowAndSlidesWhenBatched) {
  TestModel model("A");
  Place* up = model.AddPlace("up", 2);
  model.Finish();
  TestNode node("v", IntervalOfTimeReward, {10.0}, {15.0}, 0,
                [] { return new IntervalMarkingWorker("up"); });
  node.AddVariableDependency("up", "A");
  node.Bind(&model);
  node.SteadyStateFlag = 1;

  node.Accumulate(12.0, 0.0, nullptr);  // [10, 12] at marking 2
  EXPECT_EQ(node.Status, 1);
  EXPECT_DOUBLE_EQ(node.Value, 4.0);
  up->setMark(1);
  node.Accumulate(16.0, 12.0, nullptr);  // [12, 15] at marking 1
  EXPECT_EQ(node.Status, 2);
  EXPECT_DOUBLE_EQ(node.Value, 7.0);
  EXPECT_DOUBLE_EQ(node.SquaredValue, 16.0 + 9.0);

  node.Reset();
  EXPECT_EQ(node.Status, 0);
  EXPECT_EQ(node.StartTime, 15.0);
  EXPECT_EQ(node.StopTime, 20.0);
  // The worker follows the window, so the next batch covers [15, 20].
  node.Accumulate(21.0, 16.0, nullptr);
  EXPECT_DOUBLE_EQ(node.Value, 4.0);
  EXPECT_EQ(node.Workers[0]->StartTime, 15.0);
}

TEST(IntervalNode, TerminatingNodeKeepsItsWindowOnReset) {
  TestNode node("v", IntervalOfTimeReward, {10.0}, {15.0}, 0, nullptr);
  node.Reset();
  EXPECT_EQ(node.StartTime, 10.0);
  EXPECT_EQ(node.StopTime, 15.0);
}

TEST(UpdateAccumulate, CompletesOnlyPastTheStopTime) {
  TestNode node("v", InstantOfTimeReward, {5.0}, {5.0}, 0, nullptr);
  node.UpdateAccumulate(5.0);
  EXPECT_EQ(node.Status, 1);
  node.UpdateAccumulate(5.5);
  EXPECT_EQ(node.Status, 2);
}

TEST(WorkerBase, CurrentRewardOnlyReports) {
  MarkingWorker worker("up");
  testing::internal::CaptureStderr();
  worker.PerformanceVariableWorker::CurrentReward();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "!! Calling PerformanceVariableWorker::CurrentReward()\n");
}

}  // namespace

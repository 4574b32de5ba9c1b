// The reward model of this build, built from the study: the three
// "reliability" nodes over the basic_model join.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "model/basic_modelRJ.h"
#include "model/basic_rewardPV0.h"
#include "model/basic_rewardPVModel.h"
#include "study/BaseStudyClass.h"

namespace {

bool Holds(FastSet& set, int v) {
  for (int i = 0; i < set.size(); i++)
    if (set[i] == v) return true;
  return false;
}

TEST(BasicReward, HoldsReliabilityAtItsThreeInstantsInOrder) {
  basic_rewardPVModel model(true);
  ASSERT_EQ(model.NumNodes, 3);
  const double instants[] = {30.0, 180.0, 365.0};
  for (int i = 0; i < 3; i++) {
    PerformanceVariableNode* node = model.Nodes[static_cast<size_t>(i)];
    EXPECT_EQ(node->Name, "reliability");
    EXPECT_EQ(node->Id, i);
    EXPECT_EQ(node->RewardType, 0);
    EXPECT_EQ(node->StartTime, instants[i]);
    EXPECT_EQ(node->StopTime, instants[i]);
    EXPECT_EQ(node->SteadyStateFlag, 0);
    EXPECT_EQ(node->NumWorkers, 1);
  }
  EXPECT_EQ(model.MaxStopTime, 365.0);
  EXPECT_STREQ(model.name, "basic_rewardPVModel");
  EXPECT_EQ(model.createPVNode(1, 0), nullptr);
}

TEST(BasicReward, FirstTimePointOnlyWithoutTheFlag) {
  basic_rewardPVModel model(false);
  ASSERT_EQ(model.NumNodes, 1);
  EXPECT_EQ(model.Nodes[0]->StartTime, 30.0);
  EXPECT_EQ(model.MaxStopTime, 30.0);
}

TEST(BasicReward, OnlyFailureAffectsReliability) {
  basic_rewardPVModel model(true);
  ASSERT_EQ(model.numActions, 11);
  int affecting = 0;
  for (int32_t i = 0; i < model.numActions; i++) {
    BaseActionClass* action = model.actions[i];
    const bool isFailure = std::strcmp(action->name, "failure") == 0;
    EXPECT_EQ(action->AffectedNodes.size(), isFailure ? 3 : 0) << action->name;
    if (isFailure) {
      affecting++;
      for (int pv = 0; pv < 3; pv++) EXPECT_TRUE(Holds(action->AffectedNodesByRateReward, pv));
    }
  }
  EXPECT_EQ(affecting, 1);
  for (PerformanceVariableNode* node : model.Nodes) {
    ASSERT_EQ(node->GetNumAffectingActions(), 1);
    EXPECT_STREQ(node->AffectingActions[0]->name, "failure");
  }
}

TEST(BasicReward, WorkerReadsSystemFailedOfItsRamSystem) {
  basic_rewardPVModel model(true);
  auto* top = static_cast<basic_modelRJ*>(model.TopModel);
  auto* worker = static_cast<basic_rewardPV0Worker*>(model.Nodes[0]->Workers[0]);
  EXPECT_EQ(worker->ram_system, top->ram_system);
  EXPECT_EQ(worker->flash_system, top->flash_system);
  EXPECT_EQ(worker->NumModelSlots, 2);
  EXPECT_EQ(worker->Reward_Function(), 0.0);
  top->ram_system->system_failed->setMark(1);
  EXPECT_EQ(worker->Reward_Function(), 1.0);
}

// With no firing at all, every instant sees the initial state (not failed);
// a failure between 30 and 180 shows at 180 and 365 only.
TEST(BasicReward, ReplicationMeasuresTheStateAtEachInstant) {
  basic_rewardPVModel model(true);
  model.ConsiderOnly(nullptr, 0);
  auto* top = static_cast<basic_modelRJ*>(model.TopModel);
  model.EndAccumulate(365.0);
  for (PerformanceVariableNode* node : model.Nodes) EXPECT_EQ(node->Value, 0.0);
  model.PVReset();

  model.Accumulate(100.0);
  top->ram_system->system_failed->setMark(1);  // what "failure" at 100 does
  model.LastFiredAction = top->ram_system->failure;
  BaseModelClass::LastActionTime = 100.0;
  model.EndAccumulate(365.0);
  EXPECT_EQ(model.Nodes[0]->Value, 0.0);
  EXPECT_EQ(model.Nodes[1]->Value, 1.0);
  EXPECT_EQ(model.Nodes[2]->Value, 1.0);
}

TEST(BasicReward, TypeFileDescribesReliability) {
  basic_rewardPVModel model(true);
  const std::string path = ::testing::TempDir() + "basic_reward_types.txt";
  model.WritePVTypeFile(path.c_str());
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const std::string node =
      "Name:reliability\nType:0\nNumTimes:3\nStart:30\nStop:30\nStart:180\nStop:180\nStart:365\nStop:365\n";
  EXPECT_EQ(text.str(), "Version:1\nNumPV:3\n" + node + node + node);
}

TEST(BasicReward, StudyBuildsAFreshRewardModelEachTime) {
  BaseStudyClass* study = GenerateStudy();
  ASSERT_NE(study, nullptr);
  study->SetGVs(0);
  PVModel* first = study->GetPVModel(true);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->NumNodes, 3);
  PVModel* second = study->GetPVModel(true);
  ASSERT_NE(second, nullptr);
  for (int i = 0; i < second->NumNodes; i++) EXPECT_EQ(second->Nodes[static_cast<size_t>(i)]->Id, i);
  DestructStudy();
}

}  // namespace

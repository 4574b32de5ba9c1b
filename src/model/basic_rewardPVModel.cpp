#include "model/basic_rewardPVModel.h"

#include "model/basic_modelRJ.h"
#include "model/basic_rewardPV0.h"

basic_rewardPVModel::basic_rewardPVModel(bool allTimePoints) {
  TopModel = new basic_modelRJ();
  DefineName("basic_rewardPVModel");
  CreatePVList(1, allTimePoints);
  Initialize();
}

PerformanceVariableNode* basic_rewardPVModel::createPVNode(int variableIndex, int timeIndex) {
  if (variableIndex != 0) return nullptr;
  return new basic_rewardPV0(timeIndex);
}

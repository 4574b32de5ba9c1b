#include "rewards/PVModel.h"

#include <algorithm>
#include <fstream>
#include <limits>

#include "BaseClasses/BaseGroupClass.h"
#include "BaseClasses/ErrorHandling.h"
#include "BaseClasses/state/BaseStateVariableClass.h"
#include "rewards/ImpulseNodeClass.h"

namespace {

void FreezeIfBuilding(FastSet& set) {
  if (!set.isFrozen()) set.NoMoreModifications();
}

// Appends the members of synchronised actions after the action, depth first.
void AppendWithSyncMembers(BaseActionClass* action, std::vector<BaseActionClass*>& out) {
  if (action == nullptr || std::find(out.begin(), out.end(), action) != out.end()) return;
  out.push_back(action);
  if (!action->isSync()) return;
  if (auto* group = dynamic_cast<BaseGroupClass*>(action))
    for (int32_t m = 0; m < group->numMembers; m++) AppendWithSyncMembers(group->members[m], out);
}

}  // namespace

PVModel::PVModel() : LastFiredAction(&NoActionFired) {
  NoActionFired.defineName("No Action Fired Yet");
  Nodes.reserve(100);
  LastActionTime = 0.0;
  NodesChanged();
}

PVModel::~PVModel() { Destruct(); }

// --- Model interface ----------------------------------------------------------------

void PVModel::listModels(const char* name, List<BaseModelClass>* list) {
  if (TopModel) TopModel->listModels(name, list);
}

void PVModel::CurrentState(void* buffer) {
  if (TopModel) TopModel->CurrentState(buffer);
}

void PVModel::listActions(List<BaseActionClass>* list) {
  if (TopModel) TopModel->listActions(list);
}

void PVModel::listGroups(List<BaseGroupClass>* list) {
  if (TopModel) TopModel->listGroups(list);
}

void PVModel::SetState(void* buffer) {
  if (TopModel) TopModel->SetState(buffer);
}

int PVModel::StateSize() {
  if (initialized) return TopStateSize;
  return TopModel ? TopModel->StateSize() : 0;
}

bool PVModel::CompareState(void* a, void* b) { return TopModel ? TopModel->CompareState(a, b) : true; }

void PVModel::listActions(const char* name, List<BaseActionClass>* list) {
  if (TopModel) TopModel->listActions(name, list);
}

void PVModel::listSVs(const char* modelName, const char* svName,
                      List<BaseStateVariableClass>* svList, List<BaseModelClass>* modelList) {
  if (TopModel) TopModel->listSVs(modelName, svName, svList, modelList);
}

void PVModel::printState(std::ostream* out) {
  if (TopModel) TopModel->printState(out);
}

// --- Set-up ---------------------------------------------------------------------------

void PVModel::CreatePVList(int numVariables, bool allTimePoints) {
  // Node ids index every per-action array, so each reward model numbers
  // its own nodes from 0 even when an earlier one existed in the process.
  PerformanceVariableNode::the_id = 0;
  auto append = [this](PerformanceVariableNode* node) {
    if (node == nullptr) return;
    SAN_ASSERT(node->Id == static_cast<int32_t>(Nodes.size()), "node->Id == NumNodes", "PVModel");
    Nodes.push_back(node);
  };
  for (int i = 0; i < numVariables; i++) {
    PerformanceVariableNode* first = createPVNode(i, 0);
    append(first);
    if (first == nullptr || !allTimePoints) continue;
    for (int k = 1; k < first->GetNumTimePoints(); k++) append(createPVNode(i, k));
  }
  NumNodes = static_cast<int>(Nodes.size());
}

void PVModel::Initialize() {
  NodesChanged();
  NoActionFired.AllocatePVRateDS(NumNodes);
  NoActionFired.AllocatePVImpulseDS(NumNodes);
  FreezeRateData(&NoActionFired);
  FreezeImpulseData(&NoActionFired);
  FreezeIfBuilding(NoActionFired.AffectedNodes);

  TakeOverTopModelLists();

  MaxStopTime = 0.0;
  for (PerformanceVariableNode* node : Nodes) {
    node->FixReferences(TopModel);
    MaxStopTime = std::max(MaxStopTime, node->StopTime);
  }

  MakeAffectedLists();
  MakeImpulseAffectedLists();
  CreateAffectedLists();

  TopStateSize = TopModel ? TopModel->StateSize() : 0;
  initialized = true;
}

void PVModel::TakeOverTopModelLists() {
  if (TopModel == nullptr) return;
  numActions = TopModel->numActions;
  actions.reset(new BaseActionClass*[static_cast<size_t>(std::max(numActions, 0))]);
  std::copy(TopModel->actions.get(), TopModel->actions.get() + numActions, actions.get());
  numGroups = TopModel->numGroups;
  groups.reset(new BaseGroupClass*[static_cast<size_t>(std::max(numGroups, 0))]);
  std::copy(TopModel->groups.get(), TopModel->groups.get() + numGroups, groups.get());
}

std::vector<BaseActionClass*> PVModel::AllActions() const {
  std::vector<BaseActionClass*> all;
  if (TopModel == nullptr) return all;
  all.reserve(static_cast<size_t>(std::max(TopModel->numActions, 0)));
  for (int32_t i = 0; i < TopModel->numActions; i++) AppendWithSyncMembers(TopModel->actions[i], all);
  return all;
}

void PVModel::MakeAffectedLists() {
  for (int pv = 0; pv < NumNodes; pv++) {
    PerformanceVariableNode* node = Nodes[static_cast<size_t>(pv)];
    node->CreateModelGroupList();
    node->CreateWorkerList();
    node->FixWorkerList();
    for (const VarModelPairClass& dependency : node->VarDependencies) {
      // Each instance is asked on its own, so every variable found is paired
      // with the instance it belongs to.
      List<BaseModelClass> instances;
      TopModel->listModels(dependency.ModelName.c_str(), &instances);
      for (int m = 0; m < instances.getNumItems(); m++) {
        BaseModelClass* instance = instances.getItem(m);
        List<BaseStateVariableClass> variables;
        List<BaseModelClass> owners;
        instance->listSVs(dependency.ModelName.c_str(), dependency.VariableName.c_str(),
                          &variables, &owners);
        for (int v = 0; v < variables.getNumItems(); v++) {
          List<BaseActionClass>* affecting = variables.getItem(v)->getAffectingActions();
          for (int a = 0; affecting != nullptr && a < affecting->getNumItems(); a++) {
            BaseActionClass* action = affecting->getItem(a);
            if (!action->IsPVRateDSAllocated()) {
              action->AllocatePVRateDS(NumNodes);
              NumRateActions++;
            }
            if (action->PVRateSet(pv).empty()) {
              bool inserted = action->AffectedNodesByRateReward.insert(pv);
              SAN_ASSERT(inserted, "Action->AffectedNodesByRateReward.insert(PVCounter)", "PVModel");
              node->NumAffectingActionsCounted++;
            }
            node->AddPVWorkersToAction(action, instance);
          }
        }
      }
    }
  }
  for (BaseActionClass* action : AllActions()) {
    if (!action->IsPVRateDSAllocated()) {
      action->AllocatePVRateDS(NumNodes);
      NumRateActions++;
    }
    FreezeRateData(action);
  }
}

void PVModel::AddImpulseWorkers(BaseActionClass* action, int pv, int j, BaseModelClass* instance) {
  PerformanceVariableNode* node = Nodes[static_cast<size_t>(pv)];
  List<ImpulseNodeClass>& list = action->PVImpulseWorkerLists[static_cast<size_t>(pv)][j];
  for (ImpulseNodeClass* worker : node->ImpulseWorkers[static_cast<size_t>(j)])
    if (worker->Model == instance) list.append(worker);
  action->PVImpulseWorkerCounts[static_cast<size_t>(pv)][j] = list.getNumItems();
}

void PVModel::MakeImpulseAffectedLists() {
  for (int pv = 0; pv < NumNodes; pv++) {
    PerformanceVariableNode* node = Nodes[static_cast<size_t>(pv)];
    node->CreateImpulseModelGroupList();
    node->CreateImpulseWorkerLists();
    node->FixImpulseWorkerLists();
    for (int j = 0; j < node->NumImpulses; j++) {
      const ActionModelPairClass& impulse = node->ImpulseActions[static_cast<size_t>(j)];
      List<BaseModelClass> instances;
      TopModel->listModels(impulse.ModelName.c_str(), &instances);
      for (int m = 0; m < instances.getNumItems(); m++) {
        BaseModelClass* instance = instances.getItem(m);
        List<BaseActionClass> named;
        instance->listActions(impulse.ActionName.c_str(), &named);
        if (named.getNumItems() == 0) continue;
        BaseActionClass* action = named.getItem(0);
        if (!action->IsPVImpulseDSAllocated()) {
          action->AllocatePVImpulseDS(NumNodes);
          NumImpulseActions++;
        }
        const auto slot = static_cast<size_t>(pv);
        if (action->PVImpulseWorkerLists[slot] == nullptr) {
          action->AffectedNodesByImpulseReward.insert(pv);
          // Inside the loop over impulses the count is at least 1; the bound
          // keeps a negative count from ever becoming a huge size.
          const auto impulses = static_cast<size_t>(std::max(node->NumImpulses, 1));
          action->PVImpulseWorkerLists[slot] = new List<ImpulseNodeClass>[impulses];
          action->PVImpulseWorkerCounts[slot] = new int32_t[impulses]();
        }
        action->PVImpulseSet(pv).insert(j);
        AddImpulseWorkers(action, pv, j, instance);
      }
    }
  }
  for (BaseActionClass* action : AllActions()) {
    if (!action->IsPVImpulseDSAllocated()) {
      action->AllocatePVImpulseDS(NumNodes);
      NumImpulseActions++;
    }
    FreezeImpulseData(action);
  }
}

void PVModel::CreateAffectedLists() {
  for (PerformanceVariableNode* node : Nodes) {
    node->AffectingActions.clear();
    node->AffectingActions.reserve(static_cast<size_t>(node->NumAffectingActionsCounted));
  }
  for (BaseActionClass* action : AllActions()) {
    FastSet& rate = action->AffectedNodesByRateReward;
    FastSet& impulse = action->AffectedNodesByImpulseReward;
    if (rate.size() == 0 && impulse.size() == 0) continue;
    SAN_ASSERT(!action->AffectedNodes.isFrozen() && action->AffectedNodes.empty(),
               "Action->AffectedNodes.empty()", "PVModel");
    for (int i = 0; i < rate.size(); i++) action->AffectedNodes.insert(rate[i]);
    for (int i = 0; i < impulse.size(); i++) action->AffectedNodes.insert(impulse[i]);
    action->AffectedNodes.NoMoreModifications();
    AffectingActionList.push_back(action);
    AffectedNodeSets.push_back(&action->AffectedNodes);
    for (int i = 0; i < action->AffectedNodes.size(); i++)
      Nodes[static_cast<size_t>(action->AffectedNodes[i])]->AffectingActions.push_back(action);
  }
  NumAffectingActions = static_cast<int32_t>(AffectingActionList.size());
  // Actions that affect no variable are frozen empty, so every per-action
  // set is read-only from here on.
  for (BaseActionClass* action : AllActions()) FreezeIfBuilding(action->AffectedNodes);
}

void PVModel::FreezeRateData(BaseActionClass* action) {
  for (int pv = 0; pv < NumNodes; pv++) FreezeIfBuilding(action->PVRateSet(pv));
  FreezeIfBuilding(action->AffectedNodesByRateReward);
}

void PVModel::FreezeImpulseData(BaseActionClass* action) {
  for (int pv = 0; pv < NumNodes; pv++) FreezeIfBuilding(action->PVImpulseSet(pv));
  FreezeIfBuilding(action->AffectedNodesByImpulseReward);
}

void PVModel::NodesChanged() { QuietUntil = -std::numeric_limits<double>::infinity(); }

double PVModel::EarliestPendingStart() const {
  double earliest = std::numeric_limits<double>::infinity();
  for (const PerformanceVariableNode* node : Considered)
    if (node->Status != 2 && !(node->StartTime >= earliest)) earliest = node->StartTime;
  return earliest;
}

void PVModel::ConsiderOnly(const int* indices, int count) {
  NodesChanged();
  if (indices == nullptr) {
    Considered.insert(Considered.end(), Nodes.begin(), Nodes.end());
    return;
  }
  for (int i = 0; i < count; i++) {
    SAN_ASSERT(indices[i] >= 0 && indices[i] < NumNodes, "index >= 0 && index < NumNodes", "PVModel");
    Considered.push_back(Nodes[static_cast<size_t>(indices[i])]);
  }
}

// --- The run --------------------------------------------------------------------------------

BaseActionClass* PVModel::FireAction(void* /*buffer*/, BaseActionClass* action) {
  LastFiredAction = action->Fire();
  for (PerformanceVariableNode* node : Considered) node->CurrentReward(LastFiredAction);
  NodesChanged();
  return LastFiredAction;
}

// With the impulse mode at 0 the buffer records no action, so the given
// action is the one that aged.
BaseActionClass* PVModel::AgeAction(void* /*buffer*/, BaseActionClass* action) {
  LastFiredAction = action;
  for (PerformanceVariableNode* node : Considered) node->CurrentReward(LastFiredAction);
  NodesChanged();
  return LastFiredAction;
}

void PVModel::EndAccumulate(double t) {
  for (PerformanceVariableNode* node : Considered)
    if (node->Status != 2) node->EndAccumulate(t, LastActionTime, LastFiredAction);
  NodesChanged();
}

void PVModel::PVReset() {
  for (PerformanceVariableNode* node : Nodes)
    if (node->Status == 1 || node->Status == 2) node->Reset();
  LastFiredAction = &NoActionFired;
  LastActionTime = 0.0;
  NodesChanged();
}

void PVModel::SteadyState() {
  PVReset();
  for (PerformanceVariableNode* node : Nodes)
    if (node->SteadyStateFlag == 1) node->Status = 1;
  NodesChanged();
}

// --- Type file and clean-up ------------------------------------------------------------------

void PVModel::WritePVTypeFile(const char* fileName) {
  std::ofstream out(fileName, std::ios::out | std::ios::trunc);
  if (!out) return;
  out << "Version:1" << std::endl;
  out << "NumPV:" << NumNodes << std::endl;
  for (PerformanceVariableNode* node : Nodes) {
    out << "Name:" << node->Name << std::endl;
    out << "Type:" << node->RewardType << std::endl;
    out << "NumTimes:" << node->GetNumTimePoints() << std::endl;
    for (int i = 0; i < node->GetNumTimePoints(); i++) {
      out << "Start:" << node->GetStartTime(i) << std::endl;
      out << "Stop:" << node->GetStopTime(i) << std::endl;
    }
  }
}

void PVModel::ReleaseActionData(BaseActionClass* action) {
  if (action->IsPVImpulseDSAllocated()) {
    // Every allocation of this model was made for NumNodes variables.
    for (int pv = 0; pv < NumNodes; pv++) {
      const auto slot = static_cast<size_t>(pv);
      delete[] action->PVImpulseWorkerLists[slot];
      delete[] action->PVImpulseWorkerCounts[slot];
      action->PVImpulseWorkerLists[slot] = nullptr;
      action->PVImpulseWorkerCounts[slot] = nullptr;
    }
    action->DeallocatePVImpulseDS();
  }
  if (action->IsPVRateDSAllocated()) action->DeallocatePVRateDS();
}

void PVModel::Destruct() {
  for (BaseActionClass* action : AllActions()) ReleaseActionData(action);
  ReleaseActionData(&NoActionFired);
  Considered.clear();
  for (PerformanceVariableNode* node : Nodes) delete node;
  Nodes.clear();
  NumNodes = 0;
  AffectingActionList.clear();
  AffectedNodeSets.clear();
  NumAffectingActions = 0;
  actions.reset();
  numActions = 0;
  groups.reset();
  numGroups = 0;
  delete TopModel;
  TopModel = nullptr;
  LastFiredAction = &NoActionFired;
  initialized = false;
}

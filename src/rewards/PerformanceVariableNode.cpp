#include "rewards/PerformanceVariableNode.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseGroupClass.h"
#include "BaseClasses/BaseModelClass.h"
#include "BaseClasses/List.h"
#include "rewards/ImpulseNodeClass.h"
#include "rewards/PerformanceVariableWorker.h"

int32_t PerformanceVariableNode::the_id = 0;

namespace {

// Membership in a frozen set by binary search; a set still being built
// answers through its tree.
bool FrozenSetHolds(FastSet& set, int value) {
  if (!set.isFrozen()) return set.find(value);
  int low = 0;
  int high = set.size() - 1;
  while (low <= high) {
    int middle = low + (high - low) / 2;
    int element = set[middle];
    if (element == value) return true;
    if (element < value) low = middle + 1; else high = middle - 1;
  }
  return false;
}

// The members of a synchronised action, or none for any other action.
BaseGroupClass* SyncMembers(BaseActionClass* action) {
  if (action == nullptr || !action->isSync()) return nullptr;
  return dynamic_cast<BaseGroupClass*>(action);
}

}  // namespace

PerformanceVariableNode::~PerformanceVariableNode() { DeleteImpulseWorkers(); }

void PerformanceVariableNode::DeleteImpulseWorkers() {
  for (auto& workers : ImpulseWorkers) {
    for (ImpulseNodeClass* worker : workers) delete worker;
    workers.clear();
  }
}

// --- Construction ----------------------------------------------------------------

void PerformanceVariableNode::Initialize(const char* name, int type, int numTimes,
                                         const double* starts, const double* stops, int index,
                                         int impulses, int modelDeps, int varDeps) {
  Id = the_id++;
  InitializeTimeArrays(numTimes, starts, stops);
  if (index >= 0 && index < numTimes) {
    StartTime = StartTimes[static_cast<size_t>(index)];
    StopTime = StopTimes[static_cast<size_t>(index)];
  }
  WindowLength = StopTime - StartTime;
  RewardType = type;
  Name = name ? name : "";
  VarDependencies.reserve(static_cast<size_t>(std::max(varDeps, 0)));
  ModelDependencies.reserve(static_cast<size_t>(std::max(modelDeps, 0)));
  if (impulses > 0) {
    const auto n = static_cast<size_t>(impulses);
    ImpulseNodes.reserve(n);
    ImpulseModelDependencyCounts.reserve(n);
    ImpulseModelDependencies.reserve(n);
    ImpulseWorkerCounts.reserve(n);
    ImpulseWorkers.reserve(n);
    ImpulseActions.reserve(n);
    ImpulseActionInstances.reserve(n);
    ImpulseModelGroups.reserve(n);
  }
}

void PerformanceVariableNode::InitializeTimeArrays(int numTimes, const double* starts,
                                                   const double* stops) {
  const auto n = static_cast<size_t>(std::max(numTimes, 0));
  NumTimePoints = static_cast<uint32_t>(n);
  StartTimes.assign(starts, starts + n);
  StopTimes.assign(stops, stops + n);
}

void PerformanceVariableNode::AddVariableDependency(const char* varName, const char* modelName) {
  VarDependencies.emplace_back();
  VarDependencies.back().SetPair(varName, modelName);
  NumVarDependencies = static_cast<int32_t>(VarDependencies.size());
  AddModelDependency(modelName);
}

void PerformanceVariableNode::AddModelDependency(const char* modelName) {
  if (IsDependentOnModel(modelName)) return;
  ModelDependencies.emplace_back(modelName ? modelName : "");
  NumModelDependencies = static_cast<int32_t>(ModelDependencies.size());
}

bool PerformanceVariableNode::IsDependentOnModel(const char* name) const {
  const std::string wanted = name ? name : "";
  return std::find(ModelDependencies.begin(), ModelDependencies.end(), wanted) !=
         ModelDependencies.end();
}

void PerformanceVariableNode::AddImpulse(const char* actionName, const char* modelName,
                                         ImpulseNodeClass* node) {
  int i = GetImpulseNumber(node);
  if (i < 0) {
    i = NumImpulses++;
    ImpulseNodes.push_back(node);
    ImpulseModelDependencyCounts.push_back(0);
    ImpulseModelDependencies.emplace_back();
    ImpulseModelDependencies.back().reserve(static_cast<size_t>(std::max(node->NumModelDependencies, 0)));
    ImpulseWorkerCounts.push_back(0);
    ImpulseWorkers.emplace_back();
    ImpulseActions.emplace_back();
    ImpulseActionInstances.push_back(0);
    ImpulseModelGroups.emplace_back();
  }
  AddImpulseActionDependency(actionName, modelName, i);
  AddImpulseModelDependency(modelName, i);
}

void PerformanceVariableNode::AddImpulseActionDependency(const char* actionName,
                                                         const char* modelName, int i) {
  if (i < 0 || i >= NumImpulses) return;
  ImpulseActions[static_cast<size_t>(i)].SetPair(actionName, modelName);
}

void PerformanceVariableNode::AddImpulseModelDependency(const char* modelName,
                                                        ImpulseNodeClass* node) {
  int i = GetImpulseNumber(node);
  if (i < 0) {
    std::cerr << "Model Dependency requested on undefined impulse." << std::endl;
    std::cerr << "  Check code generator.  Error code GP0001.\n" << std::flush;
    std::exit(0);
  }
  AddImpulseModelDependency(modelName, i);
}

void PerformanceVariableNode::AddImpulseModelDependency(const char* modelName, int i) {
  if (i < 0 || i >= NumImpulses || IsDependentOnImpulseModel(modelName, i)) return;
  ImpulseModelDependencies[static_cast<size_t>(i)].emplace_back(modelName ? modelName : "");
  ImpulseModelDependencyCounts[static_cast<size_t>(i)]++;
}

bool PerformanceVariableNode::IsDependentOnImpulseModel(const char* modelName, int i) const {
  if (i < 0 || i >= NumImpulses) return false;
  const std::string wanted = modelName ? modelName : "";
  const auto& names = ImpulseModelDependencies[static_cast<size_t>(i)];
  return std::find(names.begin(), names.end(), wanted) != names.end();
}

int PerformanceVariableNode::GetImpulseNumber(const ImpulseNodeClass* node) const {
  for (int i = 0; i < NumImpulses; i++)
    if (ImpulseNodes[static_cast<size_t>(i)] == node) return i;
  return -1;
}

// --- Set-up ---------------------------------------------------------------------------

int PerformanceVariableNode::CountInstances(const std::string& modelName) const {
  BaseModelClass* top = TopModel();
  if (top == nullptr) return 0;
  List<BaseModelClass> instances;
  top->listModels(modelName.c_str(), &instances);
  return instances.getNumItems();
}

void PerformanceVariableNode::FixReferences(BaseModelClass* topModel) {
  if (TopModelSlot != nullptr) *TopModelSlot = topModel;
  int workers = 0;
  for (const std::string& dep : ModelDependencies) {
    workers = (workers == 0 ? 1 : workers) * CountInstances(dep);
    if (workers == 0) break;
  }
  NumWorkers = workers;
  for (int i = 0; i < NumImpulses; i++) {
    const auto index = static_cast<size_t>(i);
    int count = 1;
    for (const std::string& dep : ImpulseModelDependencies[index]) count *= CountInstances(dep);
    const std::string& own = ImpulseActions[index].ModelName;
    ImpulseActionInstances[index] = CountInstances(own);
    if (!IsDependentOnImpulseModel(own.c_str(), i)) count *= ImpulseActionInstances[index];
    ImpulseWorkerCounts[index] = count;
  }
  Workers.assign(static_cast<size_t>(NumWorkers), nullptr);
}

void PerformanceVariableNode::FillModelGroups(const std::vector<std::string>& deps,
                                              std::vector<ModelGroupClass>& groups) const {
  const int workers = static_cast<int>(groups.size());
  for (ModelGroupClass& group : groups) group.CreateModelList(static_cast<int>(deps.size()));
  int divisor = workers;
  for (size_t d = 0; d < deps.size(); d++) {
    List<BaseModelClass> instances;
    BaseModelClass* top = TopModel();
    if (top != nullptr) top->listModels(deps[d].c_str(), &instances);
    const int n = instances.getNumItems();
    if (n == 0) {
      std::cerr << "Number of " << deps[d] << "'s was " << n << ".  Model cannot be created.\n";
      if (top != nullptr && top->name != nullptr)
        std::cerr << "Model Name was: " << top->name << "\n.";
      else
        std::cerr << "Model Name was: NULL\n";
      std::cerr << std::flush;
      std::exit(0);
    }
    divisor /= n;
    if (divisor < 1) divisor = 1;  // fewer workers than combinations: never divide by 0
    int cursor = -1;
    for (int j = 0; j < workers; j++) {
      if (j % divisor == 0) cursor = (cursor + 1) % n;
      groups[static_cast<size_t>(j)].SetModel(static_cast<int>(d), instances.getItem(cursor));
    }
  }
}

void PerformanceVariableNode::CreateModelGroupList() {
  ModelGroups.assign(static_cast<size_t>(NumWorkers), ModelGroupClass());
  FillModelGroups(ModelDependencies, ModelGroups);
}

void PerformanceVariableNode::FixWorkerList() {
  for (int i = 0; i < NumWorkers; i++) {
    PerformanceVariableWorker* worker = Workers[static_cast<size_t>(i)];
    if (worker == nullptr) continue;
    worker->StartTime = StartTime;
    worker->StopTime = StopTime;
    worker->DefineName(Name.c_str(), i);
    worker->Id = Id;
    const ModelGroupClass& group = ModelGroups[static_cast<size_t>(i)];
    const size_t slots = std::min(worker->ModelSlots.size(), group.Models.size());
    for (size_t d = 0; d < slots; d++) *worker->ModelSlots[d] = group.Models[d];
  }
}

std::vector<std::string> PerformanceVariableNode::ImpulseGroupDependencies(int i) const {
  std::vector<std::string> deps = ImpulseModelDependencies[static_cast<size_t>(i)];
  const std::string& own = ImpulseActions[static_cast<size_t>(i)].ModelName;
  if (std::find(deps.begin(), deps.end(), own) == deps.end()) deps.push_back(own);
  return deps;
}

void PerformanceVariableNode::CreateImpulseModelGroupList() {
  for (int i = 0; i < NumImpulses; i++) {
    const auto index = static_cast<size_t>(i);
    ImpulseModelGroups[index].assign(static_cast<size_t>(ImpulseWorkerCounts[index]),
                                     ModelGroupClass());
    FillModelGroups(ImpulseGroupDependencies(i), ImpulseModelGroups[index]);
  }
}

void PerformanceVariableNode::CreateImpulseWorkerLists() {
  DeleteImpulseWorkers();
  for (int i = 0; i < NumImpulses; i++) {
    const auto index = static_cast<size_t>(i);
    const int count = ImpulseWorkerCounts[index];
    ImpulseNodeClass** created = count > 0 ? ImpulseNodes[index]->CreateWorkerList(count) : nullptr;
    if (created != nullptr) ImpulseWorkers[index].assign(created, created + count);
    delete[] created;
  }
}

void PerformanceVariableNode::FixImpulseWorkerLists() {
  for (int i = 0; i < NumImpulses; i++) {
    const auto index = static_cast<size_t>(i);
    const std::vector<std::string> deps = ImpulseGroupDependencies(i);
    const auto own = static_cast<size_t>(
        std::find(deps.begin(), deps.end(), ImpulseActions[index].ModelName) - deps.begin());
    for (size_t k = 0; k < ImpulseWorkers[index].size(); k++) {
      ImpulseNodeClass* worker = ImpulseWorkers[index][k];
      if (worker == nullptr) continue;
      const ModelGroupClass& group = ImpulseModelGroups[index][k];
      worker->StartTime = StartTime;
      worker->StopTime = StopTime;
      worker->DefineName(Name.c_str(), i, static_cast<int>(k));
      worker->Id = Id;
      worker->Model = group.Models[own];
      const size_t slots = std::min(worker->ModelSlots.size(), group.Models.size());
      for (size_t d = 0; d < slots; d++) *worker->ModelSlots[d] = group.Models[d];
    }
  }
}

void PerformanceVariableNode::AddPVWorkersToAction(BaseActionClass* action, BaseModelClass* model) {
  FastSet& workers = action->PVRateSet(Id);
  for (int w = 0; w < NumWorkers; w++)
    if (ModelGroups[static_cast<size_t>(w)].IsDependentOnModel(model)) workers.insert(w);
}

// --- Accumulation -----------------------------------------------------------------------

double PerformanceVariableNode::WorkerSum() const {
  double sum = 0.0;
  for (const PerformanceVariableWorker* worker : Workers) sum += worker->Value;
  return sum;
}

double PerformanceVariableNode::FirstWorkerWeight() const { return Workers.front()->RewardWeight; }

void PerformanceVariableNode::CompleteIfPast(double t) {
  if (t > StopTime) {
    Status = 2;
    TotalAccumulation();
  } else {
    Status = 1;
  }
}

void PerformanceVariableNode::AccumulateInWindow(double now, double last,
                                                 BaseActionClass* lastAction) {
  CommonAccumulate(now, last, lastAction);
  CompleteIfPast(now);
}

void PerformanceVariableNode::CommonAccumulate(double now, double last, BaseActionClass* action) {
  double sum = 0.0;
  for (PerformanceVariableWorker* worker : Workers) {
    worker->Accumulate(now, last);
    sum += worker->Value;
  }
  if (RewardType != InstantOfTimeReward && !Workers.empty()) {
    const double weight = FirstWorkerWeight();
    Value += sum * weight;
    SquaredValue += weight * sum * sum;
  }
  AccumulateImpulses(now, last, action);
}

void PerformanceVariableNode::AccumulateImpulses(double now, double last, BaseActionClass* action) {
  if (!ImpulseAffectedBy(action)) return;
  if (action->IsPVImpulseDSAllocated()) {
    FastSet& impulses = action->PVImpulseSet(Id);
    List<ImpulseNodeClass>* lists = action->PVImpulseWorkerLists[static_cast<size_t>(Id)];
    const int numImpulses = impulses.isFrozen() && lists != nullptr ? impulses.size() : 0;
    for (int k = 0; k < numImpulses; k++) {
      const List<ImpulseNodeClass>& workers = lists[impulses[k]];
      for (int w = 0; w < workers.getNumItems(); w++) workers[w]->Accumulate(now, last);
    }
  }
  // Members only add their impulses: their rate rewards are this node's
  // workers, which have already accumulated for this step.
  if (BaseGroupClass* sync = SyncMembers(action))
    for (int32_t m = 0; m < sync->numMembers; m++) AccumulateImpulses(now, last, sync->members[m]);
}

void PerformanceVariableNode::EndAccumulate(double end, double last, BaseActionClass* lastAction) {
  CommonAccumulate(end, last, lastAction);
  for (auto& workers : ImpulseWorkers)
    for (ImpulseNodeClass* worker : workers) worker->EndAccumulate(end);
  CompleteIfPast(end + 1.0);
}

void PerformanceVariableNode::UpdateAccumulate(double t) { CompleteIfPast(t); }

void PerformanceVariableNode::TotalAccumulation() {
  if (RewardType == InstantOfTimeReward && !Workers.empty()) {
    const double sum = WorkerSum();
    const double weight = FirstWorkerWeight();
    Value += sum * weight;
    SquaredValue += weight * sum * sum;
  }
  double impulseSum = 0.0;
  double impulseSquares = 0.0;
  for (const auto& workers : ImpulseWorkers)
    for (const ImpulseNodeClass* worker : workers) {
      impulseSum += worker->Value;
      impulseSquares += worker->Value * worker->Value;
    }
  ImpulseValue = impulseSum;
  ImpulseSquared = impulseSquares;
  Value += impulseSum;
  SquaredValue += impulseSquares;
}

void PerformanceVariableNode::CurrentReward(BaseActionClass* action) {
  Value = 0.0;
  SquaredValue = 0.0;
  for (PerformanceVariableWorker* worker : Workers) {
    worker->CurrentReward();
    Value += worker->Value;
    SquaredValue += worker->SquaredValue;
  }
  ImpulseValue = 0.0;
  ImpulseSquared = 0.0;
  if (!ImpulseAffectedBy(action) || !action->IsPVImpulseDSAllocated()) return;
  FastSet& impulses = action->PVImpulseSet(Id);
  List<ImpulseNodeClass>* lists = action->PVImpulseWorkerLists[static_cast<size_t>(Id)];
  if (lists == nullptr || !impulses.isFrozen()) return;
  for (int k = 0; k < impulses.size(); k++) {
    const List<ImpulseNodeClass>& workers = lists[impulses[k]];
    for (int w = 0; w < workers.getNumItems(); w++) {
      workers[w]->CurrentReward();
      ImpulseValue += workers[w]->Value;
      ImpulseSquared += workers[w]->SquaredValue;
    }
  }
}

void PerformanceVariableNode::Reset() {
  Value = 0.0;
  SquaredValue = 0.0;
  Status = 0;
  ImpulseValue = 0.0;
  ImpulseSquared = 0.0;
  for (PerformanceVariableWorker* worker : Workers)
    if (worker != nullptr) worker->Reset();
  for (auto& workers : ImpulseWorkers)
    for (ImpulseNodeClass* worker : workers) worker->Reset();
  if (SteadyStateFlag == 1) {
    StartTime = StopTime;
    StopTime += WindowLength;
    // The workers judge their instant by their own copy of the window.
    for (PerformanceVariableWorker* worker : Workers)
      if (worker != nullptr) {
        worker->StartTime = StartTime;
        worker->StopTime = StopTime;
      }
    for (auto& workers : ImpulseWorkers)
      for (ImpulseNodeClass* worker : workers) {
        worker->StartTime = StartTime;
        worker->StopTime = StopTime;
      }
  }
}

void PerformanceVariableNode::UpdateDependencies() {
  if (SteadyStateFlag) return;
  for (BaseActionClass* action : AffectingActions) {
    action->FinishedPVCount++;
    if (action->AffectedNodes.isFrozen() && action->FinishedPVCount == action->AffectedNodes.size())
      action->AffectedNodes.clear();
  }
}

bool PerformanceVariableNode::ImpulseAffectedBy(BaseActionClass* action) const {
  if (action == nullptr) return false;
  if (FrozenSetHolds(action->AffectedNodesByImpulseReward, Id)) return true;
  if (BaseGroupClass* sync = SyncMembers(action))
    for (int32_t m = 0; m < sync->numMembers; m++)
      if (ImpulseAffectedBy(sync->members[m])) return true;
  return false;
}

// --- Accessors ---------------------------------------------------------------------------

int PerformanceVariableNode::GetNumberOfImpulseWorkers() const {
  int total = 0;
  for (int32_t count : ImpulseWorkerCounts) total += count;
  return total;
}

void PerformanceVariableNode::DefineName(const char* name) {
  for (size_t i = 0; i < Workers.size(); i++)
    if (Workers[i] != nullptr) Workers[i]->DefineName(name, static_cast<int>(i));
  for (size_t j = 0; j < ImpulseWorkers.size(); j++)
    for (size_t k = 0; k < ImpulseWorkers[j].size(); k++)
      ImpulseWorkers[j][k]->DefineName(name, static_cast<int>(j), static_cast<int>(k));
}

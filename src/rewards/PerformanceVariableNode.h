// One performance variable observed at one time point: its workers (one per
// combination of submodel instances it depends on), its impulses, and the
// observation accumulated so far. Owns its workers' array, model groups,
// dependency pairs, names, time arrays and impulse workers; the generated
// subclass creates and destroys the rate workers and the impulse prototypes.
// Invariants: Id equals the node's position in the reward model's list;
// Status runs 0 (not started) -> 1 (accumulating) -> 2 (complete) and only
// Reset returns it to 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rewards/ActionModelPairClass.h"
#include "rewards/ModelGroupClass.h"
#include "rewards/VarModelPairClass.h"

class BaseActionClass;
class BaseModelClass;
class ImpulseNodeClass;
class PerformanceVariableWorker;

// Kinds of performance variables. Every kind but InstantOfTimeReward is
// accumulated over the node's window through the first worker's RewardWeight.
enum RewardType { InstantOfTimeReward = 0, IntervalOfTimeReward = 1, TimeAveragedIntervalReward = 2 };

class PerformanceVariableNode {
 public:
  PerformanceVariableNode() = default;
  virtual ~PerformanceVariableNode();
  PerformanceVariableNode(const PerformanceVariableNode&) = delete;
  PerformanceVariableNode& operator=(const PerformanceVariableNode&) = delete;

  // Fills Workers with NumWorkers new workers (generated).
  virtual void CreateWorkerList() = 0;
  // Back to "not started"; a steady-state node slides its window forward.
  virtual void Reset();

  // --- Construction by the generated subclass ---------------------------------
  // Takes the next id; the window is time point `index` of the given arrays.
  void Initialize(const char* name, int type, int numTimes, const double* starts,
                  const double* stops, int index, int impulses, int modelDeps, int varDeps);
  void InitializeTimeArrays(int numTimes, const double* starts, const double* stops);
  void AddVariableDependency(const char* varName, const char* modelName);
  void AddModelDependency(const char* modelName);
  bool IsDependentOnModel(const char* name) const;
  void AddImpulse(const char* actionName, const char* modelName, ImpulseNodeClass* node);
  void AddImpulseActionDependency(const char* actionName, const char* modelName, int i);
  // An unregistered prototype is a generator error: message and exit.
  void AddImpulseModelDependency(const char* modelName, ImpulseNodeClass* node);
  void AddImpulseModelDependency(const char* modelName, int i);
  bool IsDependentOnImpulseModel(const char* modelName, int i) const;
  // Impulse number of a registered prototype, or -1.
  int GetImpulseNumber(const ImpulseNodeClass* node) const;

  // --- Set-up by the reward model, in this order -------------------------------
  void FixReferences(BaseModelClass* topModel);
  void CreateModelGroupList();
  void FixWorkerList();
  void CreateImpulseModelGroupList();
  void CreateImpulseWorkerLists();
  void FixImpulseWorkerLists();
  // Adds to the action's worker set for this node every worker bound to model.
  void AddPVWorkersToAction(BaseActionClass* action, BaseModelClass* model);

  // --- Accumulation --------------------------------------------------------------
  // Before a firing at `now`; `last` and `lastAction` describe the previous one.
  // Runs before every firing for every considered node, so the common
  // "not in the window" case returns inline.
  void Accumulate(double now, double last, BaseActionClass* lastAction) {
    if (Status == 2 || now < StartTime) return;
    AccumulateInWindow(now, last, lastAction);
  }
  // At the end of a run, for a node not yet complete.
  void EndAccumulate(double end, double last, BaseActionClass* lastAction);
  void UpdateAccumulate(double t);
  void CommonAccumulate(double now, double last, BaseActionClass* action);
  // Adds the workers' (instant-of-time) and impulse workers' results.
  void TotalAccumulation();
  void CurrentReward(BaseActionClass* action);
  void UpdateDependencies();
  // True if the action (or a member of a synchronised action) has an impulse
  // of this node.
  bool ImpulseAffectedBy(BaseActionClass* action) const;

  // --- Accessors ---------------------------------------------------------------------
  int GetRewardType() const { return RewardType; }
  int GetNumTimePoints() const { return static_cast<int>(NumTimePoints); }
  double GetStartTime(int i) const { return StartTimes[static_cast<size_t>(i)]; }
  double GetStopTime(int i) const { return StopTimes[static_cast<size_t>(i)]; }
  int GetNumberOfWorkers() const { return NumWorkers; }
  int GetNumberOfImpulseWorkers() const;
  int GetNumAffectingActions() const { return static_cast<int>(AffectingActions.size()); }
  // Names every worker and impulse worker after the variable.
  void DefineName(const char* name);

  // --- The measured model --------------------------------------------------------------
  BaseModelClass** TopModelSlot = nullptr;  // points at the generated subclass's slot
  std::string Name;

  // --- Observation -----------------------------------------------------------------------
  double Value = 0.0;
  double SquaredValue = 0.0;
  double StartTime = -1.0;  // window of this node's time point
  double StopTime = -1.0;
  uint32_t NumTimePoints = 0;       // all time points of the variable
  std::vector<double> StartTimes;   // NumTimePoints entries
  std::vector<double> StopTimes;    // NumTimePoints entries
  double ImpulseValue = 0.0;        // impulse sums of the last total
  double ImpulseSquared = 0.0;
  double WindowLength = 0.0;        // StopTime - StartTime
  int32_t SteadyStateFlag = 0;      // 1: batched by the steady-state run
  int32_t RewardType = InstantOfTimeReward;
  int32_t Status = 0;
  int32_t Id = -1;

  // --- Actions whose firing can change this node's reward (not owned) ---------------------
  std::vector<BaseActionClass*> AffectingActions;
  int32_t NumAffectingActionsCounted = 0;  // counted while the affected lists are made

  // --- Rate workers ----------------------------------------------------------------------------
  std::vector<ModelGroupClass> ModelGroups;       // one per worker
  int32_t NumWorkers = 0;
  std::vector<PerformanceVariableWorker*> Workers;  // NumWorkers entries, created by the subclass
  std::vector<VarModelPairClass> VarDependencies;
  int32_t NumVarDependencies = 0;
  std::vector<std::string> ModelDependencies;     // distinct, in order of first mention
  int32_t NumModelDependencies = 0;

  // --- Impulses, each vector indexed by impulse number --------------------------------------
  std::vector<ImpulseNodeClass*> ImpulseNodes;  // registered prototypes (not owned)
  std::vector<int32_t> ImpulseModelDependencyCounts;
  std::vector<std::vector<std::string>> ImpulseModelDependencies;
  std::vector<int32_t> ImpulseWorkerCounts;
  std::vector<std::vector<ImpulseNodeClass*>> ImpulseWorkers;  // owned
  std::vector<ActionModelPairClass> ImpulseActions;
  std::vector<int32_t> ImpulseActionInstances;
  std::vector<std::vector<ModelGroupClass>> ImpulseModelGroups;
  int32_t NumImpulses = 0;

  // Next node id; one reward model per process numbers its nodes 0, 1, ...
  static int32_t the_id;

 private:
  BaseModelClass* TopModel() const { return TopModelSlot ? *TopModelSlot : nullptr; }
  // Number of instances of the named submodel in the top model.
  int CountInstances(const std::string& modelName) const;
  // Fills groups (already sized) with the Cartesian product of the instances
  // of deps, first dependency slowest; exits when a dependency has none.
  void FillModelGroups(const std::vector<std::string>& deps, std::vector<ModelGroupClass>& groups) const;
  // The dependency names of impulse i, its own model last when not among them.
  std::vector<std::string> ImpulseGroupDependencies(int i) const;
  // Sum of the workers' Values, and the first worker's weight.
  double WorkerSum() const;
  double FirstWorkerWeight() const;
  void AccumulateImpulses(double now, double last, BaseActionClass* action);
  void CompleteIfPast(double t);
  void AccumulateInWindow(double now, double last, BaseActionClass* lastAction);
  void DeleteImpulseWorkers();
};

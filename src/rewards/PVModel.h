// The reward model: wraps the top composed model, owns the performance-
// variable nodes, wires every action to the nodes its firing can change,
// and forwards the simulator's time steps to the considered nodes. After
// Initialize it exposes the top model's actions and groups as its own.
// Owns the top model, the nodes and the per-impulse worker arrays hung on
// actions. Invariant: Nodes[i]->Id == i; after Initialize every per-action
// set is frozen and only read.
#pragma once

#include <cstdint>
#include <vector>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseModelClass.h"
#include "rewards/PerformanceVariableNode.h"

class PVModel : public BaseModelClass {
 public:
  PVModel();
  ~PVModel() override;

  // --- Model interface, answered by the top model --------------------------------
  void listModels(const char* name, List<BaseModelClass>* list) override;
  void CurrentState(void* buffer) override;
  void listActions(List<BaseActionClass>* list) override;
  void listGroups(List<BaseGroupClass>* list) override;
  void SetState(void* buffer) override;
  int StateSize() override;
  bool CompareState(void* a, void* b) override;
  void listActions(const char* name, List<BaseActionClass>* list) override;
  void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svList,
               List<BaseModelClass>* modelList) override;
  using BaseModelClass::printState;
  void printState(std::ostream* out) override;
  // Node of variable `variableIndex` at time point `timeIndex`, or null (generated).
  virtual PerformanceVariableNode* createPVNode(int variableIndex, int timeIndex) = 0;

  // --- Set-up ----------------------------------------------------------------------
  // One node per variable, or one per time point when allTimePoints is true.
  void CreatePVList(int numVariables, bool allTimePoints);
  // Builds and freezes the per-action sets; call once, after CreatePVList.
  void Initialize();
  // Nodes visited by Accumulate and EndAccumulate; null indices: every node.
  void ConsiderOnly(const int* indices, int count);

  // --- The run -----------------------------------------------------------------------
  // Before the firing at t: every considered node accumulates since the last one.
  // A node does nothing before its window starts or once it is complete, so
  // while t is below the earliest start of the nodes not yet complete the
  // whole pass would do nothing and is skipped.
  void Accumulate(double t) {
    if (t < QuietUntil) return;
    for (PerformanceVariableNode* node : Considered) node->Accumulate(t, LastActionTime, LastFiredAction);
    QuietUntil = EarliestPendingStart();
  }
  // To be called after anything outside Accumulate changes a considered
  // node's Status or StartTime; the next Accumulate then visits every node.
  void NodesChanged();
  // Fires the action and returns the action that actually fired.
  BaseActionClass* FireAction(BaseActionClass* action, double t) {
    LastActionTime = t;
    LastFiredAction = action->Fire();
    return LastFiredAction;
  }
  // State-by-state evaluation: fire, then every considered node takes the
  // reward of the new state.
  BaseActionClass* FireAction(void* buffer, BaseActionClass* action);
  BaseActionClass* AgeAction(void* buffer, BaseActionClass* action);
  // Closes, at the end time, every considered node not yet complete.
  void EndAccumulate(double t);
  void PVReset();
  void SteadyState();

  void WritePVTypeFile(const char* fileName);
  // Releases the per-action data, the nodes and the top model; idempotent.
  void Destruct();

  // --- The measured model and its nodes --------------------------------------------------
  BaseModelClass* TopModel = nullptr;  // owned
  std::vector<PerformanceVariableNode*> Nodes;  // owned, model order
  int NumNodes = 0;
  std::vector<PerformanceVariableNode*> Considered;  // subset of Nodes, not owned

  // --- Firing history ---------------------------------------------------------------------
  BaseActionClass NoActionFired;  // stands for "nothing has fired yet"
  BaseActionClass SpareAction;    // reserved beside it; never fires
  // Result of the last firing's Fire(); NoActionFired after construction
  // and every reset (null only when a firing reported no action).
  BaseActionClass* LastFiredAction;
  double MaxStopTime = 0.0;       // largest StopTime of the nodes, from Initialize
  // Accumulate visits no node while t < QuietUntil: the smallest StartTime
  // of the considered nodes whose Status is not 2 (+infinity when all are),
  // as of the last visit; -infinity forces the next visit.
  double QuietUntil;

  // --- Per-action reward data --------------------------------------------------------------
  int32_t NumRateActions = 0;
  int32_t NumImpulseActions = 0;
  std::vector<BaseActionClass*> AffectingActionList;  // actions affecting some node
  std::vector<FastSet*> AffectedNodeSets;             // each one's AffectedNodes
  int32_t NumAffectingActions = 0;

  // --- State size ----------------------------------------------------------------------------
  int32_t TopStateSize = 0;
  int32_t ImpulseMode = 0;  // 0: the reward model's state is the top model's

 private:
  // The top model's actions (every member of a synchronised action included).
  std::vector<BaseActionClass*> AllActions() const;
  void TakeOverTopModelLists();
  void MakeAffectedLists();
  void MakeImpulseAffectedLists();
  void CreateAffectedLists();
  // Adds the impulse workers of impulse j of node pv bound to instance to
  // the action's worker list for (pv, j).
  void AddImpulseWorkers(BaseActionClass* action, int pv, int j, BaseModelClass* instance);
  void FreezeRateData(BaseActionClass* action);
  void FreezeImpulseData(BaseActionClass* action);
  void ReleaseActionData(BaseActionClass* action);
  // The smallest StartTime of the considered nodes not yet complete.
  double EarliestPendingStart() const;
  bool initialized = false;
};

// Anything the simulator can fire: the interface through which it asks an
// action whether it is enabled, samples its delay, fires it and learns which
// state variables it reads and writes. Owns its name, its sets, its
// performance-variable arrays and its two embedded variable lists (never the
// variables listed). actionId is unique: taken from MaxID in creation order.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "BaseClasses/FastSet.h"
#include "BaseClasses/List.h"
#include "random/Distribution.h"

class BaseGroupClass;
class BaseModelClass;
class BaseStateVariableClass;
class ImpulseNodeClass;
struct GroupRecord;

// One node of an action's affects list; the simulator builds and frees them.
struct AffectsListNode {
  BaseGroupClass* group;
  AffectsListNode* next;
};

// How an action treats its sampled time when its enabling changes; the
// framework only stores and prints the value.
enum ExecutionPolicyType {
  NoExecutionPolicy = 0,
  RaceEnabledPolicy = 1,
  RaceAgePolicy = 2,
  RaceResamplingPolicy = 3
};

class BaseActionClass {
 public:
  BaseActionClass();
  virtual ~BaseActionClass();
  BaseActionClass(const BaseActionClass&) = delete;
  BaseActionClass& operator=(const BaseActionClass&) = delete;

  // Virtual operations, in slot order.
  virtual bool isSync();
  virtual bool Enabled();
  virtual double Weight();
  virtual double Rate();
  virtual bool ReactivationPredicate();
  virtual bool ReactivationFunction();
  virtual double SampleDistribution();
  virtual double* ReturnDistributionParameters();
  virtual void SetFired(int fired);
  virtual BaseActionClass* Fire();
  virtual int Rank();
  virtual bool EnablingChange();
  virtual bool IsAMember(BaseActionClass* a);
  virtual double Probability(BaseActionClass* a);
  virtual void printAffectedState(std::ostream* out);
  virtual void printEnablingState(std::ostream* out);
  virtual BaseActionClass* getPrintedAction();
  virtual double ErlangParamM();

  // Set-up.
  void BaseActionClassInitialize(const char* name, int groupId, Distribution type,
                                 ExecutionPolicyType policy, int, int, bool reactivation);
  void defineName(const char* name);

  // Both sides of an action/variable relation; a structured variable is
  // expanded into its leaves by the variable itself.
  void addEnablingSV(BaseStateVariableClass* v);
  void addAffectedSV(BaseStateVariableClass* v);
  void removeEnablingSV(BaseStateVariableClass* v);
  void removeAffectedSV(BaseStateVariableClass* v);

  // Writes the action's description to standard output.
  void PrintInfo();

  // Multi-phase (Erlang) firing: the action is ready in its last phase.
  void ResetPhase() { phase = 1; }
  void Age() { ++phase; }
  bool ReadyToFire() { return phase == ErlangParamM(); }

  // Performance-variable bookkeeping; the reward model fills the contents.
  void AllocatePVRateDS(int numPVs);
  bool IsPVRateDSAllocated() const { return PVRateSets != nullptr; }
  void DeallocatePVRateDS();
  // Per performance variable: the numbers of its workers this action affects.
  FastSet& PVRateSet(int pv) { return PVRateSets[pv]; }

  void AllocatePVImpulseDS(int numPVs);
  bool IsPVImpulseDSAllocated() const { return PVImpulseSets != nullptr; }
  void DeallocatePVImpulseDS();
  // Per performance variable: the numbers of its impulses on this action.
  FastSet& PVImpulseSet(int pv) { return PVImpulseSets[pv]; }

  // --- identity and configuration ---
  int32_t groupId = 0;               // group the action belongs to
  ExecutionPolicyType policy = RaceEnabledPolicy;
  bool disabled = true;              // set by group selection for ineligible members
  bool reactivation = false;         // simulator's reactivation-list mark after start-up
  // True exactly for the objects that are a BaseGroupClass (set by its
  // constructor), so that a group's selection can tell a member group from a
  // plain action at each firing without a run-time type lookup.
  bool isGroup = false;
  char* name = nullptr;              // owned, never null after construction

  // --- simulator bookkeeping ---
  AffectsListNode* affectsList = nullptr;  // built, read and freed by the simulator
  // Set by the simulator beside affectsList: the action's own group, when
  // that group is on the list and every group on it has an enabling that is
  // a function of the marking alone and is never watched for reactivation;
  // null otherwise. A firing of the action that leaves the marking as it was
  // then changes no listed group's enabling, and the passes over the list
  // would only schedule the fired group again.
  BaseGroupClass* quietOwnGroup = nullptr;
  bool fired = false;
  // Set by a group whose cases' types are known: the model declares that
  // this case's Fire() changes no place. Read by steps that fire a case
  // directly instead of through its group.
  bool leavesMarking = false;
  Distribution distributionType = EXPONENTIAL;
  GroupRecord* eventSlot = nullptr;        // the simulator's record for this action
  BaseModelClass* parentModel = nullptr;   // set when a SAN model adopts the action

  // --- reward bookkeeping (contents defined by the reward model) ---
  FastSet AffectedNodesByImpulseReward;  // variables with an impulse on this action
  // Impulse data, one entry per performance variable, null until allocated:
  // the set of impulse numbers, and (null until the reward model fills them)
  // an array with one worker list per impulse and an array with the worker
  // count of each impulse. Those per-impulse arrays belong to the reward
  // model, which allocates them and releases them before DeallocatePVImpulseDS.
  std::unique_ptr<FastSet[]> PVImpulseSets;
  std::unique_ptr<List<ImpulseNodeClass>*[]> PVImpulseWorkerLists;
  std::unique_ptr<int32_t*[]> PVImpulseWorkerCounts;
  // Rate data: per performance variable a set of worker numbers; null until allocated.
  std::unique_ptr<FastSet[]> PVRateSets;
  FastSet AffectedNodes;                 // every variable the action affects
  FastSet AffectedNodesByRateReward;     // variables whose rate rewards it affects
  int32_t FinishedPVCount = 0;           // variables done with this action in a replication

  // --- firing phases and numbering ---
  int16_t phase = 1;
  int32_t actionId;                      // unique, from MaxID

  // --- relations to state variables (not owned) ---
  List<BaseStateVariableClass> affectedSVs;  // variables the action changes
  List<BaseStateVariableClass> enablingSVs;  // variables the action's functions read

  static int32_t MaxID;  // number the next action gets
};

// An action made of member actions, one of which is chosen by rank and weight
// each time the group is to fire. Owns its member and weight arrays (never
// the members). Invariants: numMembers <= capacity; both arrays hold
// capacity entries; the first numWeights weight entries are the last selection's.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "BaseClasses/BaseActionClass.h"
#include "random/Distributions.h"

// One entry of the selection table: the running sum of competing weights up
// to and including action.
struct WeightEntry {
  double cumulativeWeight;
  BaseActionClass* action;
};

class BaseGroupClass : public BaseActionClass {
 public:
  BaseGroupClass();
  ~BaseGroupClass() override;

  // Member management.
  void initialize(int n, const char* name);
  void appendGroup(BaseGroupClass* m);
  void appendMembers(BaseGroupClass* g);
  void enlargeArrays(int n);
  void setMember(BaseGroupClass* m, int i);
  void replaceMember(BaseActionClass* oldAction, BaseActionClass* newAction);

  // Operations of an action, answered for the group.
  bool Enabled() override;
  bool EnablingChange() override;
  double Weight() override;
  double Rate() override;
  int Rank() override;
  double SampleDistribution() override;
  BaseActionClass* Fire() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  bool IsAMember(BaseActionClass* a) override;
  double Probability(BaseActionClass* a) override;
  BaseActionClass* getPrintedAction() override;
  void printEnablingState(std::ostream* out) override;

  // Slots added by groups.
  virtual bool SelectAction();
  virtual void setGroupId(int id);

  void PrintInfo();
  void printGroup();
  void printGroup(const char* prefix, int indent);
  void Check() {}

  // Fills the weight table with the enabled members of the highest rank;
  // returns the total weight, or -1 when no member is enabled.
  double CalculateWeightDistribution();

  // The member algorithms, written once for any view of the members: the
  // group's own array (ArrayMembers, virtual calls), or a view of case
  // types fixed when the model is built, whose calls bind directly. A view
  // offers what its algorithm uses of: forEach(f), calling f on every
  // non-null member in array order; EnterEach(anyEnabled, k), entering the
  // same members in turn with the group's EnterMemberEnabled and each
  // one's enabling; the static EnablingChange(m); Selection(entry): for
  // the member that took the table entry chosen by weight, its own
  // SelectAction() and then what it selected; and Fire(selected).
  template <class Members> bool AnyMemberEnabled(const Members& view);
  template <class Members> bool AnyMemberEnablingChange(const Members& view);
  // CalculateWeightDistribution over a view; `last` is set to the last
  // table entry used (numWeights - 1) when a member is enabled, for the
  // search to take as a value the compiler still knows: read back from
  // numWeights it is not, and the search of a small table is not unrolled.
  template <class Members>
  [[gnu::always_inline]] double FillWeightDistribution(Members&& view, int& last);
  template <class Members> [[gnu::always_inline]] bool SelectFrom(Members&& view);
  // FillWeightDistribution's visit of one member, whose enabling the view
  // gives: when enabled, asks Rank() and Weight(); returns the table entry
  // the member took, or -1. anyEnabled and k (the last entry used) carry
  // the visit.
  template <class Member>
  [[gnu::always_inline]] int EnterMemberEnabled(Member* member, bool enabled, bool& anyEnabled, int& k);
  // The weight table's entry, among 0 … last, that a uniform point x of the
  // total weight falls in.
  [[gnu::always_inline]] int EntryAt(double x, int last) const;

  // --- members and selection ---
  std::unique_ptr<BaseActionClass*[]> members;     // capacity entries, first numMembers valid
  BaseActionClass* selectedAction = nullptr;       // chosen by the last selection
  std::unique_ptr<WeightEntry[]> weightDistribution;  // capacity entries
  int32_t maxRank = 0;      // highest enabled rank at the last selection
  int32_t numMembers = 0;
  int32_t numWeights = 0;   // valid entries of weightDistribution
  int32_t capacity = 0;     // length of members and weightDistribution
  // Counts the changes made to the members array through the operations
  // above (initialize, append, set, replace, enlarge), so that a view built
  // over the members can tell that it is still accurate.
  uint32_t memberEdits = 0;
  // True when Enabled() only evaluates predicates of the marking and records
  // their results, and EnablingChange() evaluates them afresh. Right after
  // EnablingChange(), with the marking unchanged, Enabled() would give the
  // same answer and change nothing that a later call reads, so the firing
  // step may leave it out. Set by a model for the groups it generates.
  bool enablingFromMarking = false;
  // True when ReactivationPredicate() is the constant false: the group is
  // never watched for reactivation, and scheduling it need not ask. Set by a
  // model for the groups it generates.
  bool neverWatched = false;
  // Set by a firing that asked every member for its enabling and then left
  // the marking as it was, so that Enabled() would answer true again: the
  // firing step's insertion pass takes that answer instead of asking, and
  // the step clears the mark once the passes are done.
  bool enabledAfterFiring = false;
  // Set by the simulator, for a group whose enabling comes from the
  // marking, when its affects lists follow the model's arcs: every firing
  // that changes a place a member reads then has the group's enabling
  // asked again, so whenever the group fires, each member's last recorded
  // enabling is its enabling on the present marking, and the firing's
  // selection may read it instead of asking.
  bool enablingRecorded = false;
  // The group's enabling as its last EnablingChange() found it (0 or 1),
  // for the groups whose EnablingChange() says so; the firing step sets -1
  // before it asks, so that -1 afterwards means the call did not say.
  int8_t enablingAtChange = -1;

 protected:
  // Reallocates both arrays to n entries, keeping the members.
  void resizeArrays(int n);
  // The member's own group view, or null for a plain action.
  static BaseGroupClass* asGroup(BaseActionClass* a);
};

// The members as the group's array holds them, reached through virtual calls.
struct ArrayMembers {
  BaseGroupClass& group;

  template <class F> void forEach(F&& f) const {
    for (int i = 0; i < group.numMembers; ++i)
      if (BaseActionClass* member = group.members[i]) f(member);
  }
  static bool EnablingChange(BaseActionClass* member) { return member->EnablingChange(); }
  static BaseActionClass* Fire(BaseActionClass* selected) { return selected->Fire(); }
  // Each member is asked Enabled() as it is entered.
  void EnterEach(bool& anyEnabled, int& k) const {
    forEach([&](BaseActionClass* member) {
      group.EnterMemberEnabled(member, member->Enabled(), anyEnabled, k);
    });
  }
  BaseActionClass* Selection(int entry) const {
    BaseActionClass* member = group.weightDistribution[entry].action;
    if (!member->isGroup) return member;
    auto* group = static_cast<BaseGroupClass*>(member);
    group->SelectAction();
    return group->selectedAction;
  }
};

// Every member is asked, so each one's enabled-before/now pair advances.
template <class Members> bool BaseGroupClass::AnyMemberEnabled(const Members& view) {
  bool anyEnabled = false;
  view.forEach([&](auto* member) {
    if (member->Enabled()) anyEnabled = true;
  });
  return anyEnabled;
}

template <class Members> bool BaseGroupClass::AnyMemberEnablingChange(const Members& view) {
  bool anyChanged = false;
  view.forEach([&](auto* member) {
    if (Members::EnablingChange(member)) anyChanged = true;
  });
  return anyChanged;
}

template <class Member>
[[gnu::always_inline]] inline int BaseGroupClass::EnterMemberEnabled(Member* member, bool enabled,
                                                                     bool& anyEnabled, int& k) {
  if (!enabled) {
    member->disabled = true;
    return -1;
  }
  const int rank = member->Rank();
  if (!anyEnabled || rank > maxRank) {
    // Members entered earlier at a lower rank keep their flag.
    anyEnabled = true;
    maxRank = rank;
    member->disabled = false;
    weightDistribution[0] = {member->Weight(), member};
    k = 0;
    return 0;
  }
  if (rank < maxRank) {
    member->disabled = true;
    return -1;
  }
  member->disabled = false;
  weightDistribution[k + 1] = {weightDistribution[k].cumulativeWeight + member->Weight(), member};
  return ++k;
}

// Each member's enabling is taken, then, when enabled, its Rank() and
// Weight() are asked. The view makes the visits itself rather than through
// a callback: with a closure between the cases and the group, the compiler
// no longer tells the cases' flag writes from the group's fields and
// reloads those at every firing.
template <class Members>
inline double BaseGroupClass::FillWeightDistribution(Members&& view, int& last) {
  bool anyEnabled = false;
  int k = 0;
  view.EnterEach(anyEnabled, k);
  if (!anyEnabled) return -1.0;
  numWeights = k + 1;
  last = k;
  return weightDistribution[k].cumulativeWeight;
}

template <class Members> inline bool BaseGroupClass::SelectFrom(Members&& view) {
  // The uniform is drawn before the members are evaluated, whatever the
  // outcome, so the random stream does not depend on the enabling.
  const double u = TheDistribution->NextUniform();
  int last = 0;
  const double total = FillWeightDistribution(view, last);
  // Tested on the total itself: with u = 0 the product would hide the
  // "nothing enabled" answer.
  if (total < 0.0) return false;
  const double x = u * total;

  selectedAction = view.Selection(EntryAt(x, last));
  return true;
}

// Binary search of entries 0 … last for the first cumulative weight above x.
[[gnu::always_inline]] inline int BaseGroupClass::EntryAt(double x, int last) const {
  int lo = 0;
  int hi = last;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (weightDistribution[mid].cumulativeWeight <= x)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

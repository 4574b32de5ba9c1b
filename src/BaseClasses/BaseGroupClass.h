// An action made of member actions, one of which is chosen by rank and weight
// each time the group is to fire. Owns its member and weight arrays (never
// the members). Invariants: numMembers <= capacity; both arrays hold
// capacity entries; the first numWeights weight entries are the last selection's.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "BaseClasses/BaseActionClass.h"

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

  // --- members and selection ---
  std::unique_ptr<BaseActionClass*[]> members;     // capacity entries, first numMembers valid
  BaseActionClass* selectedAction = nullptr;       // chosen by the last selection
  std::unique_ptr<WeightEntry[]> weightDistribution;  // capacity entries
  int32_t maxRank = 0;      // highest enabled rank at the last selection
  int32_t numMembers = 0;
  int32_t numWeights = 0;   // valid entries of weightDistribution
  int32_t capacity = 0;     // length of members and weightDistribution

 protected:
  // Reallocates both arrays to n entries, keeping the members.
  void resizeArrays(int n);
  // The member's own group view, or null for a plain action.
  static BaseGroupClass* asGroup(BaseActionClass* a);
};

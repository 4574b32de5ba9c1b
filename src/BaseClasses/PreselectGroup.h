// A group whose member is chosen ahead of time, before its delay is sampled,
// and chosen again after each firing. Invariant: while needsSelection is
// false, selectedAction is the member chosen by the last selection.
#pragma once

#include "BaseClasses/BaseGroupClass.h"

class PreselectGroup : public BaseGroupClass {
 public:
  PreselectGroup();
  explicit PreselectGroup(int n);  // room for n members, added with appendGroup

  bool SelectAction() override;
  bool Enabled() override;
  int Rank() override;
  double SampleDistribution() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  BaseActionClass* Fire() override;

  bool needsSelection = true;  // the next query must choose a member first

 private:
  void selectIfNeeded();
};

// A group of exactly one member that forwards everything to it; keeps its own
// enabled-before/now pair. Invariant: when the member array exists, its one
// entry is action.
#pragma once

#include "BaseClasses/BaseGroupClass.h"

class SingleGroup : public BaseGroupClass {
 public:
  SingleGroup();
  explicit SingleGroup(BaseGroupClass* g);

  virtual void SetAction(BaseActionClass* a);

  bool Enabled() override;
  bool EnablingChange() override;
  double Weight() override;
  double Rate() override;
  int Rank() override;
  double SampleDistribution() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  BaseActionClass* Fire() override;
  double Probability(BaseActionClass* a) override;
  bool SelectAction() override;

  BaseActionClass* action = nullptr;  // the single member
  bool enabledNow = false;            // latest Enabled() of the member
  bool enabledBefore = false;         // enabledNow before that evaluation
};

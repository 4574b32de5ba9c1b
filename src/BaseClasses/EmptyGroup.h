// A group without members: never enabled, never fires.
#pragma once

#include "BaseClasses/SingleGroup.h"

class EmptyGroup : public SingleGroup {
 public:
  EmptyGroup();

  bool Enabled() override;
  bool EnablingChange() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double Weight() override;
  double Rate() override;
  double SampleDistribution() override;
  double Probability(BaseActionClass* a) override;
  int Rank() override;
  BaseActionClass* Fire() override;
  bool SelectAction() override;
  void SetAction(BaseActionClass* a) override;
  void SetImpulseList(int, double) {}
  void CreateImpulseList(int) {}
};

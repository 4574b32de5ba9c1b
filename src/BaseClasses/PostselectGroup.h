// A group whose member (case) is chosen at the moment of firing; all cases
// share the timing of the first member.
#pragma once

#include "BaseClasses/BaseGroupClass.h"

// Final: nothing specialises it, and its own calls (SelectAction in Fire)
// then bind directly.
class PostselectGroup final : public BaseGroupClass {
 public:
  PostselectGroup();
  explicit PostselectGroup(int n);  // n members, to be filled with setMember

  BaseActionClass* Fire() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  int Rank() override;
  double Weight() override;
};

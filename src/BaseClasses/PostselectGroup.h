// A group whose member (case) is chosen at the moment of firing; all cases
// share the timing of the first member.
#pragma once

#include "BaseClasses/BaseGroupClass.h"

class PostselectGroup : public BaseGroupClass {
 public:
  PostselectGroup();
  explicit PostselectGroup(int n);  // n members, to be filled with setMember

  BaseActionClass* Fire() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  int Rank() override;
  double Weight() override;

 protected:
  // Fire() over a view of the members (see BaseGroupClass).
  template <class Members> BaseActionClass* FireFrom(const Members& view) {
    // The case is chosen now, when the activity completes; with no enabled
    // case nothing fires.
    if (!SelectFrom(view) || selectedAction == nullptr) return nullptr;
    BaseActionClass* firedAction = view.Fire(selectedAction);
    selectedAction = nullptr;
    return firedAction;
  }
};

// Base of every generated SAN activity: a group of one that is its own
// selected member. Generated activities override the model-specific
// operations and keep enabledNow/enabledBefore up to date in Enabled():
// first enabledBefore = enabledNow, then enabledNow = the predicate.
#pragma once

#include "BaseClasses/BaseGroupClass.h"

class Activity : public BaseGroupClass {
 public:
  Activity();

  void ActivityInitialize(const char* name, int groupId, Distribution type,
                          ExecutionPolicyType policy, int a, int b, bool reactivation);

  bool SelectAction() override;
  bool EnablingChange() override;

  // The two operations above for a caller that knows the concrete activity:
  // its Enabled() then binds directly. Evaluating the predicate advances the
  // enabled-before/now pair, which is how a group containing the activity
  // learns of a change.
  template <class Self> static bool SelectActionOf(Self* self) { return self->Enabled(); }
  template <class Self> static bool EnablingChangeOf(Self* self) {
    self->Enabled();
    return self->enabledNow != self->enabledBefore;
  }
  // EnablingChangeOf for an activity that is a group of its own: it also
  // says, in enablingAtChange, the enabling it found.
  template <class Self> static bool EnablingChangeOfGroup(Self* self) {
    const bool changed = EnablingChangeOf(self);
    self->enablingAtChange = self->enabledNow;
    return changed;
  }
  double Probability(BaseActionClass* a) override;
  void setGroupId(int id) override;
  virtual void LinkVariables() = 0;

  // An activity is its own selection, so forwarding these to the selected
  // member would call itself; a generated activity overrides them.
  double Weight() override;
  double Rate() override;
  int Rank() override;
  double SampleDistribution() override;
  BaseActionClass* Fire() override;

  bool IsAnAffectingStateVariable(BaseStateVariableClass* v);

  bool enabledNow = false;     // result of the latest Enabled()
  bool enabledBefore = false;  // enabledNow before that evaluation
};

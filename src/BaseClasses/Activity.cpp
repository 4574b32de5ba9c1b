#include "BaseClasses/Activity.h"

Activity::Activity() {
  disabled = true;
  reactivation = false;
  selectedAction = this;
}

void Activity::ActivityInitialize(const char* newName, int newGroupId, Distribution type,
                                  ExecutionPolicyType newPolicy, int a, int b,
                                  bool newReactivation) {
  BaseActionClassInitialize(newName, newGroupId, type, newPolicy, a, b, newReactivation);
}

bool Activity::SelectAction() { return SelectActionOf(this); }

bool Activity::EnablingChange() { return EnablingChangeOfGroup(this); }

double Activity::Probability(BaseActionClass* a) { return a == this ? 1.0 : 0.0; }

void Activity::setGroupId(int id) { groupId = id; }

double Activity::Weight() { return BaseActionClass::Weight(); }
double Activity::Rate() { return BaseActionClass::Rate(); }
int Activity::Rank() { return BaseActionClass::Rank(); }
double Activity::SampleDistribution() { return BaseActionClass::SampleDistribution(); }
BaseActionClass* Activity::Fire() { return BaseActionClass::Fire(); }

bool Activity::IsAnAffectingStateVariable(BaseStateVariableClass* v) {
  return affectedSVs.contains(v);
}

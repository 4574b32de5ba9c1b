#include "BaseClasses/SingleGroup.h"

#include "BaseClasses/ErrorHandling.h"

SingleGroup::SingleGroup() {
  enlargeArrays(1);
  numMembers = 1;
}

SingleGroup::SingleGroup(BaseGroupClass* g) {
  enlargeArrays(1);
  if (g == nullptr) return;
  // The member is also the one every operation forwards to.
  members[0] = g;
  numMembers = 1;
  action = g;
  defineName(g->name);
}

void SingleGroup::SetAction(BaseActionClass* a) {
  if (capacity < 1) enlargeArrays(1);
  action = a;
  members[0] = a;
  numMembers = 1;
}

bool SingleGroup::Enabled() {
  enabledBefore = enabledNow;
  enabledNow = action != nullptr && action->Enabled();
  return enabledNow;
}

bool SingleGroup::EnablingChange() { return enabledNow != enabledBefore; }

double SingleGroup::Weight() { return action ? action->Weight() : 0.0; }
double SingleGroup::Rate() { return action ? action->Rate() : 0.0; }
int SingleGroup::Rank() { return action ? action->Rank() : 0; }
double SingleGroup::SampleDistribution() { return action ? action->SampleDistribution() : 0.0; }

bool SingleGroup::ReactivationPredicate() {
  return action ? action->ReactivationPredicate() : false;
}

bool SingleGroup::ReactivationFunction() {
  return action ? action->ReactivationFunction() : false;
}

BaseActionClass* SingleGroup::Fire() { return action ? action->Fire() : nullptr; }

double SingleGroup::Probability(BaseActionClass* a) { return a == action ? 1.0 : 0.0; }

bool SingleGroup::SelectAction() {
  // A group of one has nothing to choose; being asked is a framework bug.
  InconsistantState();
  if (action == nullptr || !action->Enabled()) return false;
  selectedAction = action;
  policy = action->policy;
  reactivation = action->reactivation;
  disabled = false;
  action->disabled = false;
  return true;
}

#include "BaseClasses/EmptyGroup.h"

#include "BaseClasses/ErrorHandling.h"

EmptyGroup::EmptyGroup() {
  defineName("ImmediateGroup");
  groupId = 0;
  numMembers = 0;
}

bool EmptyGroup::Enabled() { return false; }
bool EmptyGroup::EnablingChange() { return false; }
bool EmptyGroup::ReactivationPredicate() { return false; }
bool EmptyGroup::ReactivationFunction() { return false; }
double EmptyGroup::Weight() { return 0.0; }
double EmptyGroup::Rate() { return 0.0; }
double EmptyGroup::SampleDistribution() { return 0.0; }
double EmptyGroup::Probability(BaseActionClass*) { return 0.0; }
int EmptyGroup::Rank() { return 0; }
BaseActionClass* EmptyGroup::Fire() { return nullptr; }

bool EmptyGroup::SelectAction() {
  InconsistantState();
  return false;
}

void EmptyGroup::SetAction(BaseActionClass*) {}

#include "BaseClasses/PreselectGroup.h"

PreselectGroup::PreselectGroup() = default;

PreselectGroup::PreselectGroup(int n) {
  enlargeArrays(n);
  numMembers = 0;
}

void PreselectGroup::selectIfNeeded() {
  if (needsSelection) SelectAction();
}

bool PreselectGroup::SelectAction() {
  const bool selected = BaseGroupClass::SelectAction();
  needsSelection = !selected;
  return selected;
}

bool PreselectGroup::Enabled() {
  selectIfNeeded();
  return BaseGroupClass::Enabled();
}

int PreselectGroup::Rank() {
  selectIfNeeded();
  return selectedAction ? selectedAction->Rank() : BaseActionClass::Rank();
}

double PreselectGroup::SampleDistribution() {
  selectIfNeeded();
  return selectedAction ? selectedAction->SampleDistribution() : 0.0;
}

bool PreselectGroup::ReactivationPredicate() {
  selectIfNeeded();
  return selectedAction ? selectedAction->ReactivationPredicate() : false;
}

bool PreselectGroup::ReactivationFunction() {
  selectIfNeeded();
  return selectedAction ? selectedAction->ReactivationFunction() : false;
}

BaseActionClass* PreselectGroup::Fire() {
  // The member chosen ahead of time fires; the next query chooses again.
  needsSelection = true;
  return selectedAction ? selectedAction->Fire() : nullptr;
}

#include "BaseClasses/PostselectGroup.h"

PostselectGroup::PostselectGroup() = default;

PostselectGroup::PostselectGroup(int n) {
  enlargeArrays(n);
  numMembers = capacity;
}

BaseActionClass* PostselectGroup::Fire() { return FireFrom(ArrayMembers{*this}); }

// All cases share the activity's timing, which the first case carries.
bool PostselectGroup::ReactivationPredicate() {
  return (numMembers > 0 && members[0] != nullptr) ? members[0]->ReactivationPredicate() : false;
}

bool PostselectGroup::ReactivationFunction() {
  return (numMembers > 0 && members[0] != nullptr) ? members[0]->ReactivationFunction() : false;
}

double PostselectGroup::SampleDistribution() {
  return (numMembers > 0 && members[0] != nullptr) ? members[0]->SampleDistribution() : 0.0;
}

int PostselectGroup::Rank() { return 1; }

double PostselectGroup::Weight() { return 1.0; }

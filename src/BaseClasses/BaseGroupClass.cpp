#include "BaseClasses/BaseGroupClass.h"

#include <algorithm>
#include <iostream>
#include <new>
#include <string>

#include "BaseClasses/ErrorHandling.h"
#include "BaseClasses/state/BaseStateVariableClass.h"
#include "random/Distributions.h"

namespace {

template <typename T>
std::unique_ptr<T[]> allocateEntries(int n) {
  T* entries = new (std::nothrow) T[n > 0 ? n : 0]();
  if (entries == nullptr) MemoryAllocationError();
  return std::unique_ptr<T[]>(entries);
}

}  // namespace

BaseGroupClass::BaseGroupClass() { isGroup = true; }

BaseGroupClass::~BaseGroupClass() = default;

BaseGroupClass* BaseGroupClass::asGroup(BaseActionClass* a) {
  return a != nullptr && a->isGroup ? static_cast<BaseGroupClass*>(a) : nullptr;
}

void BaseGroupClass::resizeArrays(int n) {
  ++memberEdits;
  if (n < 0) n = 0;
  auto newMembers = allocateEntries<BaseActionClass*>(n);
  auto newWeights = allocateEntries<WeightEntry>(n);
  numMembers = std::min(numMembers, static_cast<int32_t>(n));
  std::copy(members.get(), members.get() + numMembers, newMembers.get());
  members = std::move(newMembers);
  weightDistribution = std::move(newWeights);
  numWeights = std::min(numWeights, static_cast<int32_t>(n));
  capacity = n;
}

void BaseGroupClass::initialize(int n, const char* newName) {
  // Members already present are kept, so the member count never exceeds the
  // arrays.
  resizeArrays(std::max(n, static_cast<int>(numMembers)));
  defineName(newName);
  selectedAction = nullptr;
  maxRank = 0;
  numWeights = 0;
}

void BaseGroupClass::appendGroup(BaseGroupClass* m) {
  if (numMembers >= capacity) resizeArrays(capacity + 1);
  ++memberEdits;
  members[numMembers++] = m;
}

void BaseGroupClass::appendMembers(BaseGroupClass* g) {
  const int combined = numMembers + g->numMembers;
  if (combined > capacity) resizeArrays(combined);
  ++memberEdits;
  for (int i = 0; i < g->numMembers; ++i) members[numMembers++] = g->members[i];
}

void BaseGroupClass::enlargeArrays(int n) { resizeArrays(n); }

void BaseGroupClass::setMember(BaseGroupClass* m, int i) {
  if (i < 0 || i >= numMembers) {
    ArrayOutOfBoundsError("Array out of bounds (BaseGroupClass::setMember()");
    return;
  }
  ++memberEdits;
  members[i] = m;
}

void BaseGroupClass::replaceMember(BaseActionClass* oldAction, BaseActionClass* newAction) {
  ++memberEdits;
  for (int i = 0; i < numMembers; ++i)
    if (members[i] == oldAction) members[i] = newAction;
  if (selectedAction == oldAction) selectedAction = newAction;
}

bool BaseGroupClass::Enabled() { return AnyMemberEnabled(ArrayMembers{*this}); }

bool BaseGroupClass::EnablingChange() { return AnyMemberEnablingChange(ArrayMembers{*this}); }

// The forwarding operations answer like a plain action while nothing is
// selected, instead of following a null member.
double BaseGroupClass::Weight() {
  return selectedAction ? selectedAction->Weight() : BaseActionClass::Weight();
}

double BaseGroupClass::Rate() {
  return selectedAction ? selectedAction->Rate() : BaseActionClass::Rate();
}

int BaseGroupClass::Rank() {
  return selectedAction ? selectedAction->Rank() : BaseActionClass::Rank();
}

double BaseGroupClass::SampleDistribution() {
  return selectedAction ? selectedAction->SampleDistribution()
                        : BaseActionClass::SampleDistribution();
}

BaseActionClass* BaseGroupClass::Fire() {
  if (selectedAction == nullptr) return nullptr;
  BaseActionClass* firedAction = selectedAction->Fire();
  selectedAction = nullptr;
  return firedAction;
}

bool BaseGroupClass::ReactivationPredicate() { return false; }
bool BaseGroupClass::ReactivationFunction() { return false; }

bool BaseGroupClass::IsAMember(BaseActionClass* a) {
  for (int i = 0; i < numMembers; ++i)
    if (members[i] == a) return true;
  return false;
}

double BaseGroupClass::CalculateWeightDistribution() {
  int last = 0;
  return FillWeightDistribution(ArrayMembers{*this}, last);
}

bool BaseGroupClass::SelectAction() { return SelectFrom(ArrayMembers{*this}); }

double BaseGroupClass::Probability(BaseActionClass* a) {
  int32_t highestRank = 0;
  double totalWeight = 0.0;
  BaseActionClass* holder = nullptr;
  for (int i = 0; i < numMembers; ++i) {
    BaseActionClass* member = members[i];
    if (member == nullptr) continue;
    if (member->Enabled()) {
      const int rank = member->Rank();
      if (rank > highestRank) {
        highestRank = rank;
        totalWeight = 0.0;
      }
      if (rank == highestRank) totalWeight += member->Weight();
    }
    if (member == a || member->IsAMember(a)) holder = member;
  }
  // An action outside the group is never the outcome of its selection.
  if (holder == nullptr) return 0.0;
  if (holder->Rank() < highestRank) return 0.0;
  if (totalWeight == 0.0) std::cout << "BaseGroupClass::Probability() TotalWeight is zero.\n";
  return (holder->Weight() / totalWeight) * holder->Probability(a);
}

void BaseGroupClass::setGroupId(int id) {
  for (int i = 0; i < numMembers; ++i) {
    if (members[i] == nullptr) continue;
    if (BaseGroupClass* g = asGroup(members[i]))
      g->setGroupId(id);
    else
      members[i]->groupId = id;
  }
}

BaseActionClass* BaseGroupClass::getPrintedAction() {
  return (numMembers > 0 && members[0] != nullptr) ? members[0] : this;
}

void BaseGroupClass::printEnablingState(std::ostream* out) {
  BaseActionClass* source = getPrintedAction();
  for (int i = 0; i < source->enablingSVs.getNumItems(); ++i)
    source->enablingSVs.getItem(i)->printState(out);
}

void BaseGroupClass::PrintInfo() {
  std::cout << "************ Group: " << name << " ****************" << std::endl;
  std::cout << "Contains the following actions:" << std::endl;
  for (int i = 0; i < numMembers; ++i)
    std::cout << "  " << (members[i] ? members[i]->name : "") << std::endl;
  std::cout << "Selected Action = " << (selectedAction ? selectedAction->name : "") << std::endl;
}

void BaseGroupClass::printGroup() {
  std::cout << "** Members of Group " << name << std::endl;
  printGroup("", 0);
}

void BaseGroupClass::printGroup(const char* prefix, int indent) {
  for (int i = 0; i < numMembers; ++i) {
    BaseActionClass* member = members[i];
    if (member == nullptr) continue;
    std::cout << std::string(indent > 0 ? indent : 0, ' ') << "[" << prefix << i << "] "
              << member->name << std::endl;
    BaseGroupClass* sub = asGroup(member);
    if (sub != nullptr && sub->numMembers > 1) {
      const std::string subPrefix = std::string(prefix) + std::to_string(i) + ".";
      sub->printGroup(subPrefix.c_str(), indent + 2);
    }
  }
}

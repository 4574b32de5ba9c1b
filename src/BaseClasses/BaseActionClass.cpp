#include "BaseClasses/BaseActionClass.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>

#include "BaseClasses/ErrorHandling.h"
#include "BaseClasses/state/BaseStateVariableClass.h"

int32_t BaseActionClass::MaxID = 0;

namespace {

// A fresh copy of text; running out of memory ends the program.
char* copyName(const char* text) {
  if (text == nullptr) text = "";
  const size_t length = std::strlen(text) + 1;
  char* copy = new (std::nothrow) char[length];
  if (copy == nullptr) MemoryAllocationError();
  std::memcpy(copy, text, length);
  return copy;
}

[[noreturn]] void pvAllocationFailed(const char* where) {
  std::cerr << "!! Memory allocation error in BaseActionClass::" << where << "()" << std::endl;
  std::exit(1);
}

}  // namespace

BaseActionClass::BaseActionClass() : name(copyName("default")), actionId(MaxID++) {}

BaseActionClass::~BaseActionClass() { delete[] name; }

bool BaseActionClass::isSync() { return false; }
bool BaseActionClass::Enabled() { return false; }
double BaseActionClass::Weight() { return 0.0; }
double BaseActionClass::Rate() { return 0.0; }
bool BaseActionClass::ReactivationPredicate() { return false; }
bool BaseActionClass::ReactivationFunction() { return false; }
double BaseActionClass::SampleDistribution() { return 0.0; }
double* BaseActionClass::ReturnDistributionParameters() { return nullptr; }
void BaseActionClass::SetFired(int firedFlag) { fired = firedFlag != 0; }
BaseActionClass* BaseActionClass::Fire() { return nullptr; }
int BaseActionClass::Rank() { return 0; }
bool BaseActionClass::EnablingChange() { return false; }
bool BaseActionClass::IsAMember(BaseActionClass* a) { return a == this; }
double BaseActionClass::Probability(BaseActionClass*) { return 1.0; }
BaseActionClass* BaseActionClass::getPrintedAction() { return this; }
double BaseActionClass::ErlangParamM() { return 1.0; }

void BaseActionClass::printAffectedState(std::ostream* out) {
  for (int i = 0; i < affectedSVs.getNumItems(); ++i) affectedSVs.getItem(i)->printState(out);
}

void BaseActionClass::printEnablingState(std::ostream* out) {
  for (int i = 0; i < enablingSVs.getNumItems(); ++i) enablingSVs.getItem(i)->printState(out);
}

void BaseActionClass::BaseActionClassInitialize(const char* newName, int newGroupId,
                                                Distribution type, ExecutionPolicyType newPolicy,
                                                int, int, bool newReactivation) {
  defineName(newName);
  groupId = newGroupId;
  distributionType = type;
  policy = newPolicy;
  reactivation = newReactivation;
}

void BaseActionClass::defineName(const char* newName) {
  char* copy = copyName(newName);
  delete[] name;
  name = copy;
}

void BaseActionClass::addEnablingSV(BaseStateVariableClass* v) {
  if (v->isLeafNode())
    enablingSVs.append(v);
  else
    v->addSelfAsEnablingSVToAction(this);
}

void BaseActionClass::addAffectedSV(BaseStateVariableClass* v) {
  if (v->isLeafNode())
    affectedSVs.append(v);
  else
    v->addSelfAsAffectedSVToAction(this);
}

void BaseActionClass::removeEnablingSV(BaseStateVariableClass* v) {
  if (v->isLeafNode())
    enablingSVs.remove(v);
  else
    v->removeSelfFromEnablingSVOfAction(this);
}

void BaseActionClass::removeAffectedSV(BaseStateVariableClass* v) {
  if (v->isLeafNode())
    affectedSVs.remove(v);
  else
    v->removeSelfFromAffectedSVOfAction(this);
}

void BaseActionClass::PrintInfo() {
  std::cout << "********* " << name << std::endl;
  std::cout << "**********" << std::endl;
  std::cout << "Enabled by:" << std::endl;
  for (int i = 0; i < enablingSVs.getNumItems(); ++i)
    std::cout << "           " << enablingSVs.getItem(i)->name << std::endl;
  std::cout << "Affects:" << std::endl;
  for (int i = 0; i < affectedSVs.getNumItems(); ++i)
    std::cout << "           " << affectedSVs.getItem(i)->name << std::endl;
  std::cout << "Group ID = " << groupId << std::endl;
  std::cout << "Execution Policy = " << static_cast<int>(policy) << std::endl;
  std::cout << "Disabled = " << (disabled ? 1 : 0) << std::endl;
  std::cout << "Reactivation = " << (reactivation ? 1 : 0) << std::endl;
  std::cout << "DistributionType = " << static_cast<int>(distributionType) << std::endl;
}

void BaseActionClass::AllocatePVRateDS(int numPVs) {
  FastSet* sets = new (std::nothrow) FastSet[numPVs > 0 ? numPVs : 0];
  if (sets == nullptr) pvAllocationFailed("AllocatePVRateDS");
  PVRateSets.reset(sets);
}

void BaseActionClass::DeallocatePVRateDS() { PVRateSets.reset(); }

void BaseActionClass::AllocatePVImpulseDS(int numPVs) {
  const size_t n = numPVs > 0 ? static_cast<size_t>(numPVs) : 0;
  FastSet* sets = new (std::nothrow) FastSet[n];
  List<ImpulseNodeClass>** lists = new (std::nothrow) List<ImpulseNodeClass>*[n]();
  int32_t** counts = new (std::nothrow) int32_t*[n]();
  if (sets == nullptr || lists == nullptr || counts == nullptr)
    pvAllocationFailed("AllocatePVImpulseDS");
  PVImpulseSets.reset(sets);
  PVImpulseWorkerLists.reset(lists);
  PVImpulseWorkerCounts.reset(counts);
}

void BaseActionClass::DeallocatePVImpulseDS() {
  PVImpulseSets.reset();
  PVImpulseWorkerLists.reset();
  PVImpulseWorkerCounts.reset();
}

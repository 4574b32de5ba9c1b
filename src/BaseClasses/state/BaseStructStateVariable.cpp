#include "BaseClasses/state/BaseStructStateVariable.h"

#include <iostream>
#include <new>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/ErrorHandling.h"

namespace {
const char* const kSource = "StructStateVariable";
}

BaseStructStateVariable::BaseStructStateVariable() : BaseStateVariableClass(), cachedStateSize(0), holder(this) {}

BaseStructStateVariable::BaseStructStateVariable(const char* svName, const char* svPrefix)
    : BaseStateVariableClass(svName, svPrefix), cachedStateSize(-1), holder(this) {}

BaseStructStateVariable::BaseStructStateVariable(const char* svName, const char* svPrefix,
                                                 const ArrayType* types, int n)
    : BaseStateVariableClass(svName, svPrefix), cachedStateSize(-1), holder(this) {
  // Still the base `field` here: the entries carry only their codes.
  for (int i = 0; i < n; i++) fields.push_back(BaseStructStateVariable::field(types[i], nullptr));
}

BaseStructStateVariable::~BaseStructStateVariable() = default;

void BaseStructStateVariable::makeArrays(const ArrayType* types, int n) {
  for (int i = 0; i < n; i++) fields.push_back(field(types[i], nullptr));
  cachedStateSize = -1;
}

BaseStructStateVariable::fieldType BaseStructStateVariable::field(ArrayType t, BaseStateVariableClass* v) const {
  return fieldType{v, t};
}

// A structured field without its element (as the code-only constructor
// leaves it) occupies nothing.
int BaseStructStateVariable::fieldSize(const fieldType& f) {
  if (!isStructuredElement(f.type)) return scalarElementSize(f.type);
  return f.sv != nullptr ? f.sv->StateSize() : 0;
}

int BaseStructStateVariable::calculateStateSize() {
  int total = 0;
  for (const fieldType& f : fields) total += fieldSize(f);
  return total;
}

int BaseStructStateVariable::StateSize() {
  if (cachedStateSize < 0) cachedStateSize = calculateStateSize();
  return cachedStateSize;
}

void BaseStructStateVariable::CurrentState(void* to) {
  char* at = static_cast<char*>(to);
  for (const fieldType& f : fields) {
    if (f.sv != nullptr) f.sv->CurrentState(at);
    at += fieldSize(f);
  }
}

void BaseStructStateVariable::SetState(void* from) {
  char* at = static_cast<char*>(from);
  for (const fieldType& f : fields) {
    if (f.sv != nullptr) f.sv->SetState(at);
    at += fieldSize(f);
  }
}

void BaseStructStateVariable::printState(std::ostream* out) {
  *out << name << " = {" << std::endl;
  for (const fieldType& f : fields) {
    *out << ".";
    if (f.sv != nullptr) f.sv->printState(out);
  }
  *out << "}" << std::endl;
}

bool BaseStructStateVariable::isLeafNode() { return fields.empty(); }

int BaseStructStateVariable::getNumLeafNodes() {
  int total = 0;
  for (const fieldType& f : fields)
    if (f.sv != nullptr) total += f.sv->getNumLeafNodes();
  return total == 0 ? 1 : total;
}

List<BaseStateVariableClass>* BaseStructStateVariable::getLeafNodes() {
  auto* leaves = new (std::nothrow) List<BaseStateVariableClass>(10);
  if (leaves == nullptr) MemoryAllocationError();
  for (const fieldType& f : fields) {
    if (f.sv == nullptr) continue;
    List<BaseStateVariableClass>* childTemp = f.sv->getLeafNodes();
    SAN_ASSERT(childTemp, "childTemp", kSource);
    leaves->append(childTemp);
    delete childTemp;
  }
  return leaves;
}

void BaseStructStateVariable::addSelfAsEnablingSVToAction(BaseActionClass* a) {
  for (const fieldType& f : fields)
    if (f.sv != nullptr) f.sv->addSelfAsEnablingSVToAction(a);
}

void BaseStructStateVariable::addSelfAsAffectedSVToAction(BaseActionClass* a) {
  for (const fieldType& f : fields)
    if (f.sv != nullptr) f.sv->addSelfAsAffectedSVToAction(a);
}

void BaseStructStateVariable::removeSelfFromEnablingSVOfAction(BaseActionClass* a) {
  for (const fieldType& f : fields)
    if (f.sv != nullptr) f.sv->removeSelfFromEnablingSVOfAction(a);
}

void BaseStructStateVariable::removeSelfFromAffectedSVOfAction(BaseActionClass* a) {
  for (const fieldType& f : fields)
    if (f.sv != nullptr) f.sv->removeSelfFromAffectedSVOfAction(a);
}

void BaseStructStateVariable::appendEnabledAction(BaseActionClass* a) {
  SVEnabledActions->append(a);
  for (const fieldType& f : fields)
    if (f.sv != nullptr) f.sv->appendEnabledAction(a);
}

void BaseStructStateVariable::appendAffectingAction(BaseActionClass* a) {
  for (const fieldType& f : fields)
    if (f.sv != nullptr) f.sv->appendAffectingAction(a);
  SVAffectingActions->append(a);
}

void BaseStructStateVariable::share(BaseStateVariableClass* other) {
  auto* otherStruct = dynamic_cast<BaseStructStateVariable*>(other);
  SAN_ASSERT(otherStruct, "otherStruct", kSource);
  ShareWith(otherStruct);
}

void BaseStructStateVariable::ShareWith(BaseStructStateVariable* other) {
  if (other == this) return;
  for (size_t i = 0; i < fields.size(); i++) {
    SAN_ASSERT(i < other->fields.size(), "otheri!=otherStruct->fields.end()", kSource);
    BaseStateVariableClass* mine = fields[i].sv;
    BaseStateVariableClass* theirs = other->fields[i].sv;
    if (mine != nullptr && theirs != nullptr) mine->share(theirs);
  }
  BaseStructStateVariable* keeper = groupHolder();
  BaseStructStateVariable* joining = other->groupHolder();
  if (keeper != joining) {
    keeper->adoptActionLists(joining);
    for (BaseStructStateVariable* member : joining->groupMembers) {
      member->SVAffectingActions = keeper->SVAffectingActions;
      member->SVEnabledActions = keeper->SVEnabledActions;
      member->holder = keeper;
      keeper->groupMembers.push_back(member);
    }
    joining->groupMembers.clear();
    joining->holder = keeper;
    keeper->groupMembers.push_back(joining);
    joining->shared = true;
    joining->stored = false;
  }
  shared = true;
  other->shared = true;
  other->redirectActionsFrom(other, this);
}

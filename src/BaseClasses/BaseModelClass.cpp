#include "BaseClasses/BaseModelClass.h"

#include <cstring>
#include <iostream>
#include <new>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/ErrorHandling.h"
#include "BaseClasses/state/BaseStateVariableClass.h"

double BaseModelClass::LastActionTime = 0.0;

BaseModelClass::BaseModelClass() {
  static int32_t globalModelId = 0;
  modelId = ++globalModelId;
  parentId = modelId;
}

BaseModelClass::~BaseModelClass() { delete[] name; }

void BaseModelClass::DefineName(const char* newName) {
  if (newName == nullptr) newName = "";
  const size_t length = std::strlen(newName) + 1;
  char* copy = new (std::nothrow) char[length];
  if (copy == nullptr) MemoryAllocationError();
  std::memcpy(copy, newName, length);
  delete[] name;
  name = copy;
}

void BaseModelClass::printState(std::ostream*) {}

void BaseModelClass::printState() { printState(&std::cout); }

BaseStateVariableClass** BaseModelClass::GetLocalStateVariables(std::ostream*) { return nullptr; }

BaseStateVariableClass** BaseModelClass::GetSharedStateVariables() { return nullptr; }

BaseStateVariableClass* BaseModelClass::getMainSharedVariable(BaseStateVariableClass*) {
  return nullptr;
}

SharedStateVarLink* BaseModelClass::getListOfSharedVariables(BaseStateVariableClass*) {
  return nullptr;
}

void BaseModelClass::AddAffectArc(BaseStateVariableClass* v, BaseActionClass* a) {
  v->appendAffectingAction(a);
  a->addAffectedSV(v);
}

void BaseModelClass::AddEnableArc(BaseStateVariableClass* v, BaseActionClass* a) {
  v->appendEnabledAction(a);
  a->addEnablingSV(v);
}

// A model that reaches these has failed to supply its own version.
int BaseModelClass::GetModelType() { FatalAssertion("false", "BaseModelClass"); }
int BaseModelClass::GetNumberOfChildren() { FatalAssertion("false", "BaseModelClass"); }
BaseModelClass* BaseModelClass::GetChild(int) { FatalAssertion("false", "BaseModelClass"); }
void BaseModelClass::GetLocalActions(ActionSList&) { FatalAssertion("false", "BaseModelClass"); }
void BaseModelClass::GetGlobalActions(ActionSList&) { FatalAssertion("false", "BaseModelClass"); }
bool BaseModelClass::HasLocalState() { FatalAssertion("false", "BaseModelClass"); }
void BaseModelClass::GetLocalState(State*) { FatalAssertion("false", "BaseModelClass"); }
void BaseModelClass::SetLocalState(const State*) { FatalAssertion("false", "BaseModelClass"); }
void BaseModelClass::ConstructLocalState(State*&) { FatalAssertion("false", "BaseModelClass"); }
void BaseModelClass::DestructLocalState(State*) { FatalAssertion("false", "BaseModelClass"); }

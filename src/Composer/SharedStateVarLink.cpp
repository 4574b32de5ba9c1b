#include "Composer/SharedStateVarLink.h"

#include <iostream>

#include "BaseClasses/state/BaseStateVariableClass.h"

SharedStateVarLink::SharedStateVarLink(BaseStateVariableClass* stateVar, BaseModelClass* model)
    : StateVar(stateVar), Model(model) {}

bool SharedStateVarLink::hasStateVar(const BaseStateVariableClass* sv) const {
  for (const SharedStateVarLink* link = this; link != nullptr; link = link->Next) {
    if (link->StateVar == sv) return true;
  }
  return false;
}

void SharedStateVarLink::addStateVarLink(SharedStateVarLink* link) {
  SharedStateVarLink* last = this;
  while (last->Next != nullptr) last = last->Next;
  last->Next = link;
}

void SharedStateVarLink::clearStateVarList(SharedStateVarLink* head) {
  while (head != nullptr) {
    SharedStateVarLink* next = head->Next;
    delete head;
    head = next;
  }
}

void SharedStateVarLink::printAllStateVariables() const {
  for (const SharedStateVarLink* link = this; link != nullptr; link = link->Next) {
    std::cout << "      This link holds state var " << (link->StateVar ? link->StateVar->name : "")
              << " at address " << static_cast<const void*>(link->StateVar) << std::endl;
  }
}

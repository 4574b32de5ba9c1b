#include "BaseClasses/state/BaseStateVariableClass.h"

#include <cstring>
#include <iostream>
#include <new>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/ErrorHandling.h"

namespace {

List<BaseActionClass>* newActionList() {
  auto* list = new (std::nothrow) List<BaseActionClass>();
  if (list == nullptr) MemoryAllocationError();
  return list;
}

}  // namespace

BaseStateVariableClass::BaseStateVariableClass() : BaseStateVariableClass("default", "") {}

BaseStateVariableClass::BaseStateVariableClass(const char* svName, const char* svPrefix)
    : name(copyText(svName != nullptr ? svName : "default")),
      prefix(copyText(svPrefix)),
      shared(false),
      stored(true),
      functionallyShared(false),
      sharingCount(0),
      SVAffectingActions(newActionList()),
      SVEnabledActions(newActionList()) {}

BaseStateVariableClass::~BaseStateVariableClass() {
  delete[] name;
  delete[] prefix;
  if (stored) {
    delete SVAffectingActions;
    delete SVEnabledActions;
  }
}

char* BaseStateVariableClass::copyText(const char* text) {
  if (text == nullptr) text = "";
  size_t length = std::strlen(text) + 1;
  char* copy = new (std::nothrow) char[length];
  if (copy == nullptr) {
    std::cerr << "Not Enough Memory" << std::endl;
    MemoryAllocationError();
  }
  std::memcpy(copy, text, length);
  return copy;
}

void BaseStateVariableClass::SetName(const char* newName) {
  char* copy = copyText(newName);
  delete[] name;
  name = copy;
}

void BaseStateVariableClass::SetPrefix(const char* newPrefix) {
  char* copy = copyText(newPrefix);
  delete[] prefix;
  prefix = copy;
}

void BaseStateVariableClass::printState(std::ostream*) {}

void BaseStateVariableClass::printState() { printState(&std::cout); }

void BaseStateVariableClass::printStateVal(std::ostream*) {}

void BaseStateVariableClass::appendAffectingAction(BaseActionClass* a) { SVAffectingActions->append(a); }

void BaseStateVariableClass::removeAffectingAction(BaseActionClass* a) { SVAffectingActions->remove(a); }

void BaseStateVariableClass::replaceAffectingAction(BaseActionClass* oldAction, BaseActionClass* newAction) {
  SVAffectingActions->replaceItem(oldAction, newAction);
}

void BaseStateVariableClass::addSelfAsEnablingSVToAction(BaseActionClass* a) { a->addEnablingSV(this); }

void BaseStateVariableClass::addSelfAsAffectedSVToAction(BaseActionClass* a) { a->addAffectedSV(this); }

void BaseStateVariableClass::removeSelfFromEnablingSVOfAction(BaseActionClass* a) { a->removeEnablingSV(this); }

void BaseStateVariableClass::removeSelfFromAffectedSVOfAction(BaseActionClass* a) { a->removeAffectedSV(this); }

List<BaseStateVariableClass>* BaseStateVariableClass::getLeafNodes() {
  auto* leaves = new (std::nothrow) List<BaseStateVariableClass>();
  if (leaves == nullptr) MemoryAllocationError();
  leaves->append(this);
  return leaves;
}

int BaseStateVariableClass::getNumLeafNodes() { return 1; }

bool BaseStateVariableClass::isLeafNode() { return true; }

void BaseStateVariableClass::appendEnabledAction(BaseActionClass* a) { SVEnabledActions->append(a); }

void BaseStateVariableClass::removeEnabledAction(BaseActionClass* a) { SVEnabledActions->remove(a); }

void BaseStateVariableClass::replaceEnabledAction(BaseActionClass* oldAction, BaseActionClass* newAction) {
  SVEnabledActions->replaceItem(oldAction, newAction);
}

void BaseStateVariableClass::copyAffectingActions(List<BaseActionClass>* list) { SVAffectingActions->append(list); }

void BaseStateVariableClass::copyEnabledActions(List<BaseActionClass>* list) { SVEnabledActions->append(list); }

int BaseStateVariableClass::getNumAffectingActions() const { return SVAffectingActions->getNumItems(); }

int BaseStateVariableClass::getNumEnabledActions() const { return SVEnabledActions->getNumItems(); }

BaseActionClass* BaseStateVariableClass::getAffectingAction(int i) const {
  if (i < 0 || i >= SVAffectingActions->getNumItems()) {
    std::cerr << "!! BaseStateVariableClass::getAffectingAction(int): "
              << " AffectingAction index out of bounds" << std::endl;
    return nullptr;
  }
  return SVAffectingActions->getItem(i);
}

BaseActionClass* BaseStateVariableClass::getEnabledAction(int i) const {
  if (i < 0 || i >= SVEnabledActions->getNumItems()) {
    std::cerr << "!! BaseStateVariableClass::getEnabledAction(int): "
              << " EnabledAction index out of bounds" << std::endl;
    return nullptr;
  }
  return SVEnabledActions->getItem(i);
}

void BaseStateVariableClass::printAffectingActions() const {
  std::cout << "Affecting actions for " << name << ":" << std::endl;
  SVAffectingActions->printList();
}

void BaseStateVariableClass::printEnabledActions() const {
  std::cout << "Enabled actions for " << name << ":" << std::endl;
  SVEnabledActions->printList();
}

void BaseStateVariableClass::adoptActionLists(BaseStateVariableClass* joining) {
  if (joining->SVAffectingActions != SVAffectingActions) {
    SVAffectingActions->append(joining->SVAffectingActions);
    if (joining->stored) delete joining->SVAffectingActions;
    joining->SVAffectingActions = SVAffectingActions;
  }
  if (joining->SVEnabledActions != SVEnabledActions) {
    SVEnabledActions->append(joining->SVEnabledActions);
    if (joining->stored) delete joining->SVEnabledActions;
    joining->SVEnabledActions = SVEnabledActions;
  }
}

void BaseStateVariableClass::redirectActionsFrom(BaseStateVariableClass* from, BaseStateVariableClass* to) {
  for (int i = 0; i < SVAffectingActions->getNumItems(); i++)
    SVAffectingActions->getItem(i)->affectedSVs.replaceItem(from, to);
  for (int i = 0; i < SVEnabledActions->getNumItems(); i++)
    SVEnabledActions->getItem(i)->enablingSVs.replaceItem(from, to);
}

#include "Composer/BaseComposerClass.h"

#include <cstring>
#include <iostream>
#include <new>

#include "BaseClasses/BaseGroupClass.h"
#include "BaseClasses/ErrorHandling.h"
#include "BaseClasses/state/BaseStateVariableClass.h"
#include "Composer/SharedStateVarLink.h"

BaseComposerClass::BaseComposerClass(const char* composerName, int numChildren, int numShared,
                                     const char* const* sharedNames)
    : NumChildren(numChildren < 0 ? 0 : numChildren) {
  DefineName(composerName);
  Children.assign(NumChildren, nullptr);
  NumSharedStateVariables = (NumChildren == 0 || numShared < 0) ? 0 : numShared;
  SharedStateVariables.assign(NumSharedStateVariables, nullptr);
  SharedLinks.assign(NumSharedStateVariables, nullptr);
  MergedVariables.resize(NumSharedStateVariables);
  for (int i = 0; i < NumSharedStateVariables; ++i) {
    SharedStateNames.emplace_back(sharedNames != nullptr && sharedNames[i] != nullptr ? sharedNames[i] : "");
  }
}

BaseComposerClass::~BaseComposerClass() {
  for (SharedStateVarLink* head : SharedLinks) SharedStateVarLink::clearStateVarList(head);
}

void BaseComposerClass::SetupActions() {
  int totalActions = 0;
  int totalGroups = 0;
  for (BaseModelClass* child : Children) {
    if (child == nullptr) continue;
    totalActions += child->numActions;
    totalGroups += child->numGroups;
  }
  actions.reset(new (std::nothrow) BaseActionClass*[totalActions > 0 ? totalActions : 1]);
  groups.reset(new (std::nothrow) BaseGroupClass*[totalGroups > 0 ? totalGroups : 1]);
  if (!actions || !groups) MemoryAllocationError();
  numActions = 0;
  numGroups = 0;
  for (BaseModelClass* child : Children) {
    if (child == nullptr) continue;
    for (int i = 0; i < child->numActions; ++i) actions[numActions++] = child->actions[i];
    for (int i = 0; i < child->numGroups; ++i) {
      BaseGroupClass* group = child->groups[i];
      group->setGroupId(numGroups);
      groups[numGroups++] = group;
    }
  }
}

void BaseComposerClass::addSharedPtr(BaseStateVariableClass* sv, const char* varName) {
  SAN_ASSERT(AddedSharedPtrs < NumSharedStateVariables, "AddedSharedPtrs < NumSharedStateVariables",
             "BaseComposerClass");
  SAN_ASSERT(varName != nullptr && SharedStateNames[AddedSharedPtrs] == varName,
             "0 == strcmp(VarName, SharedStateNames[AddedSharedPtrs])", "BaseComposerClass");
  SharedStateVariables[AddedSharedPtrs++] = sv;
}

int BaseComposerClass::FindSharedVariable(const BaseStateVariableClass* sv) const {
  for (int i = 0; i < NumSharedStateVariables; ++i) {
    if (SharedStateVariables[i] == sv) return i;
  }
  return -1;
}

// A child's chain stays owned by the child, so this composer records copies
// of its links; each composer then releases exactly the links it made.
void BaseComposerClass::addSharingInfo(BaseStateVariableClass* childSV, BaseStateVariableClass* sharedSV,
                                       BaseModelClass* model) {
  const int VarIndex = FindSharedVariable(sharedSV);
  SAN_ASSERT(VarIndex != -1, "VarIndex != -1", "BaseComposerClass");
  MergedVariables[VarIndex].push_back(childSV);
  auto append = [this, VarIndex](SharedStateVarLink* link) {
    if (SharedLinks[VarIndex] == nullptr) {
      SharedLinks[VarIndex] = link;
    } else {
      SharedLinks[VarIndex]->addStateVarLink(link);
    }
  };
  append(new SharedStateVarLink(childSV, model));
  for (BaseModelClass* child : Children) {
    if (child == nullptr) continue;
    for (SharedStateVarLink* link = child->getListOfSharedVariables(childSV); link != nullptr;
         link = link->Next) {
      append(new SharedStateVarLink(link->StateVar, link->Model));
    }
  }
}

SharedStateVarLink* BaseComposerClass::getListOfSharedVariables(BaseStateVariableClass* sv) {
  const int index = FindSharedVariable(sv);
  if (index != -1) return SharedLinks[index];
  for (BaseModelClass* child : Children) {
    if (child == nullptr) continue;
    if (SharedStateVarLink* chain = child->getListOfSharedVariables(sv)) return chain;
  }
  return nullptr;
}

BaseStateVariableClass* BaseComposerClass::getMainSharedVariable(BaseStateVariableClass* sv) {
  for (int i = 0; i < NumSharedStateVariables; ++i) {
    if (SharedLinks[i] != nullptr && SharedLinks[i]->hasStateVar(sv)) return SharedStateVariables[i];
  }
  for (BaseModelClass* child : Children) {
    if (child == nullptr) continue;
    if (BaseStateVariableClass* main = child->getMainSharedVariable(sv)) return main;
  }
  return nullptr;
}

BaseStateVariableClass** BaseComposerClass::GetSharedStateVariables() {
  return NumSharedStateVariables == 0 ? nullptr : SharedStateVariables.data();
}

void BaseComposerClass::GeneralSetup() {
  int count = 0;
  for (BaseModelClass* child : Children) count += child ? child->getNumStateVariables() : 0;
  for (const auto& merged : MergedVariables) count -= static_cast<int>(merged.size());
  numStateVariables = count + NumSharedStateVariables;
  CachedStateSize = StateSize();
}

int BaseComposerClass::SharedStateSize() {
  int size = 0;
  for (BaseStateVariableClass* sv : SharedStateVariables) {
    if (sv != nullptr && sv->getStored()) size += sv->StateSize();
  }
  return size;
}

bool BaseComposerClass::AllChildrenEmpty() {
  for (BaseModelClass* child : Children) {
    if (child != nullptr && child->getNumStateVariables() != 0) return false;
  }
  return true;
}

bool BaseComposerClass::CompareState(void* a, void* b) {
  return std::memcmp(a, b, static_cast<size_t>(CachedStateSize)) == 0;
}

int BaseComposerClass::Hash(const char* text, int size) {
  if (size <= 0) return 0;
  uint32_t h = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    h = h * 32u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
  }
  return static_cast<int>(h % static_cast<uint32_t>(size));
}

void BaseComposerClass::listModels(const char* modelName, List<BaseModelClass>* list) {
  for (BaseModelClass* child : Children) {
    if (child != nullptr) child->listModels(modelName, list);
  }
}

void BaseComposerClass::listActions(List<BaseActionClass>* list) {
  for (int i = 0; i < numActions; ++i) list->append(actions[i]);
}

void BaseComposerClass::listGroups(List<BaseGroupClass>* list) {
  for (int i = 0; i < numGroups; ++i) list->append(groups[i]);
}

void BaseComposerClass::listActions(const char* actionName, List<BaseActionClass>* list) {
  for (BaseModelClass* child : Children) {
    if (child != nullptr) child->listActions(actionName, list);
  }
}

void BaseComposerClass::listSVs(const char* modelName, const char* svName,
                                List<BaseStateVariableClass>* svList, List<BaseModelClass>* modelList) {
  for (BaseModelClass* child : Children) {
    if (child != nullptr) child->listSVs(modelName, svName, svList, modelList);
  }
}

void BaseComposerClass::printState(std::ostream* out) {
  *out << "Model: (" << modelId << ")" << name << std::endl;
  for (BaseModelClass* child : Children) {
    if (child != nullptr) child->printState(out);
  }
  *out << "Shared Variables:" << std::endl;
  for (BaseStateVariableClass* sv : SharedStateVariables) {
    if (sv == nullptr || !sv->getStored()) continue;
    *out << "  ";
    sv->printState(out);
  }
}

void BaseComposerClass::printAllSharedVariables() {
  std::cout << "Shared Variables for composer node " << name << std::endl;
  for (int i = 0; i < NumSharedStateVariables; ++i) {
    BaseStateVariableClass* sv = SharedStateVariables[i];
    std::cout << "  Shared Variable " << i << " has name " << (sv ? sv->name : "") << " and address "
              << static_cast<const void*>(sv) << std::endl;
    std::cout << "    And here is its list of equivalent variables:" << std::endl;
    if (SharedLinks[i] != nullptr) SharedLinks[i]->printAllStateVariables();
  }
}

#include "trace/TraceFileXML.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <sstream>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseModelClass.h"
#include "BaseClasses/state/BaseStateVariableClass.h"
#include "rewards/PVModel.h"

namespace {
constexpr int kAtomicModelType = 1;

std::string textOf(const char* text) { return text ? text : ""; }
}  // namespace

TraceFileXML::TraceFileXML() = default;

TraceFileXML::TraceFileXML(const char* name) : TraceFile(name) {}

TraceFileXML::TraceFileXML(std::ostream* stream) : TraceFile(stream) {}

TraceFileXML::~TraceFileXML() = default;

void TraceFileXML::printHeader(PVModel* rewardModel) {
  if (out == nullptr || batchCounter != -1 || headerWritten) return;
  headerWritten = true;
  std::ostream& o = *out;
  o << "<?xml version=\"1.0\" encoding=\"utf-8\" ?>" << std::endl;
  o << "<!DOCTYPE Trace" << std::endl;
  o << "  SYSTEM \"" << SystemIdentifier << "\">" << std::endl;
  o << "<Trace model=\"Example_Tarvek\" generator=\"manually_generated\" >" << std::endl;
  o << "<Comment> Purpose of this trace: demonstration </Comment>" << std::endl;
  o << "<!-- TESTING declaration of processes -->" << std::endl;
  o << "<!-- Trace file of model Example_Tarvek -->" << std::endl;
  BaseModelClass* model = rewardModel ? rewardModel->TopModel : nullptr;
  if (model != nullptr) printHeader(model, model->modelId);
  o << "<Interactions>" << std::endl;
  if (model != nullptr) printHeaderInteractions(model);
  o << "</Interactions>" << std::endl;
  o << "<!-- process sequence -->" << std::endl;
  o << "<Sequence type=\"StateActionType\">" << std::endl;
}

void TraceFileXML::printHeader(BaseModelClass* model, int parentId) {
  if (out == nullptr || batchCounter != -1 || model == nullptr) return;
  std::vector<BaseStateVariableClass*> variables;
  if (model->GetModelType() == kAtomicModelType) {
    declareAtomic(model, parentId, variables);
  } else {
    declareComposed(model, parentId, variables);
  }
  modelMap.push_front(ModelEntry{model, std::move(variables)});
}

void TraceFileXML::declareAtomic(BaseModelClass* model, int parentId,
                                 std::vector<BaseStateVariableClass*>& variables) {
  *out << "<Process id=\"p" << model->modelId << "\" name=\"" << escaped(textOf(model->name))
       << model->modelId << "\" >" << std::endl;
  model->SetParentId(parentId);
  // Actions that change a shared variable belong to the interactions.
  for (int32_t i = 0; i < model->numActions; ++i) {
    BaseActionClass* action = model->actions[i];
    if (action == nullptr || changesUsedState(action)) continue;
    declaredActions.push_back(action);
    *out << "<Action id=\"a" << action->actionId << "\" name=\"" << escaped(textOf(action->name))
         << "\" />" << std::endl;
  }
  for (BaseStateVariableClass* variable : localVariables(model)) {
    for (BaseStateVariableClass* leaf : leavesOf(variable)) {
      if (leaf->getShared()) continue;
      variables.push_back(leaf);
      writeVarDeclaration(model, leaf);
    }
  }
  *out << "</Process>" << std::endl;
}

void TraceFileXML::declareComposed(BaseModelClass* model, int parentId,
                                   std::vector<BaseStateVariableClass*>& variables) {
  *out << "<Process id=\"p" << model->modelId << "\" name=\"" << escaped(textOf(model->name))
       << "\" >" << std::endl;
  model->SetParentId(parentId);
  BaseStateVariableClass** shared = model->GetSharedStateVariables();
  for (int32_t i = 0; shared != nullptr && i < model->NumSharedStateVariables; ++i) {
    for (BaseStateVariableClass* leaf : leavesOf(shared[i])) {
      if (!leaf->getShared()) continue;
      if (!addUsedStateName(qualifiedName(leaf).c_str(), model->parentId, model->modelId)) continue;
      variables.push_back(leaf);
      writeVarDeclaration(model, leaf);
    }
  }
  *out << "</Process>" << std::endl;
  for (int i = 0; i < model->GetNumberOfChildren(); ++i) printHeader(model->GetChild(i), model->modelId);
}

void TraceFileXML::writeVarDeclaration(BaseModelClass* model, BaseStateVariableClass* leaf) {
  const std::string name = escaped(qualifiedName(leaf));
  *out << "<Var id=\"p" << model->modelId << name << "\" name=\"" << name << "\" />" << std::endl;
}

bool TraceFileXML::changesUsedState(BaseActionClass* action) const {
  for (int i = 0; i < action->affectedSVs.getNumItems(); ++i) {
    if (inUsedStateName(qualifiedName(action->affectedSVs.getItem(i)).c_str())) return true;
  }
  return false;
}

void TraceFileXML::printHeaderInteractions(BaseModelClass* model) {
  if (out == nullptr || model == nullptr) return;
  if (model->GetModelType() != kAtomicModelType) {
    for (int i = 0; i < model->GetNumberOfChildren(); ++i) printHeaderInteractions(model->GetChild(i));
    return;
  }
  for (int32_t i = 0; i < model->numActions; ++i) {
    BaseActionClass* action = model->actions[i];
    if (action == nullptr) continue;
    if (std::find(declaredActions.begin(), declaredActions.end(), action) != declaredActions.end()) continue;
    writeInteraction(model, action);
  }
}

void TraceFileXML::writeInteraction(BaseModelClass* model, BaseActionClass* action) {
  std::vector<int32_t> touched;
  auto touch = [&touched](int32_t id) {
    if (std::find(touched.begin(), touched.end(), id) == touched.end()) touched.push_back(id);
  };
  for (int i = 0; i < action->affectedSVs.getNumItems(); ++i) {
    const std::string name = qualifiedName(action->affectedSVs.getItem(i));
    if (!inUsedStateName(name.c_str())) continue;
    const int declaring = getModelMap(name.c_str(), model->modelId);
    if (declaring != -1) touch(declaring);
  }
  if (touched.empty()) return;
  touch(model->modelId);
  *out << "<Undiraction id=\"a" << action->actionId << "\" name=\"" << escaped(textOf(action->name))
       << "\">" << std::endl;
  for (int32_t id : touched) *out << "<Touch>p" << id << "</Touch>" << std::endl;
  *out << "</Undiraction>" << std::endl;
}

void TraceFileXML::newBatch() {
  const int32_t before = batchCounter;
  if (batchCounter < INT32_MAX) ++batchCounter;
  if (before == 0 && !documentClosed) closeDocument();
}

void TraceFileXML::printFooter() {
  if (headerWritten && !documentClosed) {
    closeDocument();
    batchCounter = std::max(batchCounter, int32_t{1});
  }
}

void TraceFileXML::closeDocument() {
  documentClosed = true;
  if (out == nullptr) return;
  *out << "</Sequence>" << std::endl;
  *out << "</Trace>" << std::endl;
}

void TraceFileXML::printPreFireAction(BaseActionClass*) {}

void TraceFileXML::printState(PVModel*) {}

void TraceFileXML::printFireAction(BaseActionClass*, double time) {
  if (batchCounter == 0) lastFiringTime = time;
}

void TraceFileXML::printInitialState(BaseModelClass* model) {
  if (out != nullptr && batchCounter == 0) {
    *out << "<S>" << std::endl;
    printState(model);
    *out << "</S>" << std::endl;
  }
  touchedStateNames.clear();
}

void TraceFileXML::printState(BaseModelClass* model) {
  if (out == nullptr || batchCounter != 0 || model == nullptr) return;
  if (const ModelEntry* entry = findModel(model)) {
    for (BaseStateVariableClass* variable : entry->variables) {
      *out << "<V id=\"p" << model->modelId << escaped(qualifiedName(variable)) << "\" val=\""
           << valueText(variable) << "\" />" << std::endl;
    }
  }
  for (int i = 0; i < model->GetNumberOfChildren(); ++i) printState(model->GetChild(i));
}

void TraceFileXML::printPostFireAction(BaseActionClass* action, BaseActionClass* fired) {
  BaseActionClass* firing = fired ? fired : action;
  if (out == nullptr || batchCounter != 0 || firing == nullptr) return;
  const BaseModelClass* parent = firing->parentModel;
  const int32_t ownModel = parent ? parent->modelId : -1;
  *out << "<A id=\"a" << firing->actionId << "\" t=\"" << lastFiringTime << "\">" << std::endl;
  for (int i = 0; i < firing->affectedSVs.getNumItems(); ++i) {
    BaseStateVariableClass* variable = firing->affectedSVs.getItem(i);
    const std::string name = qualifiedName(variable);
    // A shared variable is reported under the process that declares it.
    int declaring = parent ? getModelMap(name.c_str(), ownModel) : -1;
    if (declaring == -1) declaring = ownModel;
    *out << "  <V id=\"p" << declaring << escaped(name) << "\"  val=\"" << valueText(variable)
         << "\" />" << std::endl;
  }
  *out << "</A>" << std::endl;
}

bool TraceFileXML::addState(const char* name) {
  if (name == nullptr) return false;
  if (std::find(touchedStateNames.begin(), touchedStateNames.end(), name) != touchedStateNames.end()) {
    return false;
  }
  touchedStateNames.emplace_back(name);
  return true;
}

bool TraceFileXML::addUsedStateName(const char* name, int parentId, int modelId) {
  if (name == nullptr) return false;
  for (UsedStateName& used : usedStateNames) {
    if (used.name != name) continue;
    for (int32_t declaring : used.declaringModels) {
      if (declaring <= parentId) return false;
    }
    used.declaringModels.push_back(modelId);
    return true;
  }
  usedStateNames.push_back(UsedStateName{name, {modelId}});
  return true;
}

bool TraceFileXML::inUsedStateName(const char* name) const {
  if (name == nullptr) return false;
  return std::any_of(usedStateNames.begin(), usedStateNames.end(),
                     [name](const UsedStateName& used) { return used.name == name; });
}

int TraceFileXML::getModelMap(const char* name, int modelId) const {
  if (name == nullptr) return -1;
  for (const ModelEntry& entry : modelMap) {
    if (entry.model->modelId > modelId) continue;
    for (BaseStateVariableClass* variable : entry.variables) {
      if (qualifiedName(variable) == name) return entry.model->modelId;
    }
  }
  return -1;
}

const TraceFileXML::ModelEntry* TraceFileXML::findModel(const BaseModelClass* model) const {
  for (const ModelEntry& entry : modelMap) {
    if (entry.model == model) return &entry;
  }
  return nullptr;
}

std::string TraceFileXML::valueText(BaseStateVariableClass* variable) {
  std::ostringstream value;
  variable->printStateVal(&value);
  return escaped(value.str());
}

std::string TraceFileXML::escaped(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': result += "&amp;"; break;
      case '<': result += "&lt;"; break;
      case '>': result += "&gt;"; break;
      case '"': result += "&quot;"; break;
      case '\'': result += "&apos;"; break;
      default: result += c;
    }
  }
  return result;
}

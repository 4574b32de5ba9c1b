#include "trace/TraceFile.h"

#include <algorithm>
#include <fstream>
#include <ostream>

#include "BaseClasses/SANModel.h"
#include "BaseClasses/state/BaseStateVariableClass.h"
#include "rewards/PVModel.h"

TraceFile::TraceFile() = default;

TraceFile::TraceFile(const char* name)
    : ownedFile(std::make_unique<std::ofstream>(name ? name : "", std::ios::out | std::ios::trunc)) {
  out = ownedFile.get();
}

TraceFile::TraceFile(std::ostream* stream) : out(stream) {}

TraceFile::~TraceFile() = default;

void TraceFile::printHeader(PVModel*) {}
void TraceFile::printFooter() {}
void TraceFile::printInitialState(BaseModelClass*) {}
void TraceFile::printState(BaseModelClass*) {}

void TraceFile::printState(PVModel* rewardModel) {
  if (rewardModel != nullptr) printState(rewardModel->TopModel);
}

void TraceFile::printFireAction(BaseActionClass*, double) {}
void TraceFile::printPreFireAction(BaseActionClass*) {}
void TraceFile::printPostFireAction(BaseActionClass*, BaseActionClass*) {}
void TraceFile::newBatch() {}
void TraceFile::printf(int, const char*, ...) {}
void TraceFile::printStr(int, const char*) {}

std::string TraceFile::qualifiedName(const BaseStateVariableClass* variable) {
  std::string qualified;
  if (variable->prefix != nullptr && variable->prefix[0] != '\0') {
    qualified = variable->prefix;
    qualified += '.';
  }
  if (variable->name != nullptr) qualified += variable->name;
  return qualified;
}

std::vector<BaseStateVariableClass*> TraceFile::localVariables(BaseModelClass* model) {
  std::vector<BaseStateVariableClass*> variables;
  if (model == nullptr) return variables;
  BaseStateVariableClass** local = model->GetLocalStateVariables(nullptr);
  if (local == nullptr) return variables;
  int32_t count = model->numStateVariables;
  if (auto* san = dynamic_cast<SANModel*>(model)) count = std::min(count, san->numPlaces());
  for (int32_t i = 0; i < count; ++i) {
    if (local[i] != nullptr) variables.push_back(local[i]);
  }
  return variables;
}

std::vector<BaseStateVariableClass*> TraceFile::leavesOf(BaseStateVariableClass* variable) {
  std::vector<BaseStateVariableClass*> leaves;
  if (variable == nullptr) return leaves;
  List<BaseStateVariableClass>* list = variable->getLeafNodes();
  if (list == nullptr) return leaves;
  for (int i = 0; i < list->getNumItems(); ++i) leaves.push_back(list->getItem(i));
  delete list;
  return leaves;
}

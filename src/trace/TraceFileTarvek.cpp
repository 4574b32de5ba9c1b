#include "trace/TraceFileTarvek.h"

#include <ostream>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseModelClass.h"
#include "BaseClasses/state/BaseStateVariableClass.h"
#include "rewards/PVModel.h"

namespace {
const char* const kBanner = "**************************************";
}  // namespace

TraceFileTarvek::TraceFileTarvek() = default;

TraceFileTarvek::TraceFileTarvek(const char* name) : TraceFile(name) {}

TraceFileTarvek::TraceFileTarvek(std::ostream* stream) : TraceFile(stream) {}

TraceFileTarvek::~TraceFileTarvek() = default;

void TraceFileTarvek::printHeader(PVModel*) {
  if (out == nullptr) return;
  *out << kBanner << std::endl;
  *out << "\t\tTRACE" << std::endl;
  *out << kBanner << std::endl;
}

void TraceFileTarvek::printFooter() {}

void TraceFileTarvek::newBatch() {
  if (out != nullptr) *out << "##### NEW BATCH #####" << std::endl;
}

void TraceFileTarvek::printInitialState(BaseModelClass* model) {
  if (out == nullptr) return;
  *out << "Initial Model State:" << std::endl;
  printState(model);
}

void TraceFileTarvek::printState(PVModel* rewardModel) {
  if (out == nullptr) return;
  *out << "Model State:" << std::endl;
  if (rewardModel != nullptr) printState(rewardModel->TopModel);
}

void TraceFileTarvek::printState(BaseModelClass* model) {
  if (out == nullptr || model == nullptr) return;
  *out << "  Model: (" << model->modelId << ")" << (model->name ? model->name : "") << std::endl;
  for (BaseStateVariableClass* variable : localVariables(model)) {
    for (BaseStateVariableClass* leaf : leavesOf(variable)) printVariableLine("    ", leaf);
  }
  for (int i = 0; i < model->GetNumberOfChildren(); ++i) printState(model->GetChild(i));
}

void TraceFileTarvek::printFireAction(BaseActionClass* action, double time) {
  if (out == nullptr || traceLevel < 1 || action == nullptr || action->parentModel == nullptr) return;
  const BaseModelClass* model = action->parentModel;
  *out << "#### Firing: " << time << "  Action: (" << model->modelId << ")"
       << (model->name ? model->name : "") << "->" << action->name << std::endl;
}

void TraceFileTarvek::printPreFireAction(BaseActionClass* action) {
  if (out == nullptr || traceLevel < 2 || action == nullptr) return;
  BaseActionClass* printed = action->getPrintedAction();
  *out << "Enabling state before action firing:" << std::endl;
  if (printed == nullptr) return;
  for (int i = 0; i < printed->enablingSVs.getNumItems(); ++i) {
    printVariableLine("  ", printed->enablingSVs.getItem(i));
  }
}

void TraceFileTarvek::printPostFireAction(BaseActionClass* action, BaseActionClass* fired) {
  if (out == nullptr || traceLevel < 1 || action == nullptr || fired == nullptr ||
      action->parentModel == nullptr) {
    return;
  }
  *out << "#### After: (" << action->parentModel->modelId << ")" << action->name << "->"
       << fired->name << std::endl;
  if (traceLevel < 2) return;
  *out << "Affected state after firing: " << std::endl;
  for (int i = 0; i < fired->affectedSVs.getNumItems(); ++i) {
    printVariableLine("  ", fired->affectedSVs.getItem(i));
  }
}

void TraceFileTarvek::printf(int, const char*, ...) {}

void TraceFileTarvek::printStr(int, const char*) {}

void TraceFileTarvek::printVariableLine(const char* indent, BaseStateVariableClass* variable) {
  *out << indent << qualifiedName(variable) << " = ";
  variable->printStateVal(out);
  *out << std::endl;
}

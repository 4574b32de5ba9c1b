// The XML trace writer: declares each model as a process with its actions
// and state variables, the interactions through shared variables, then a
// sequence of states and firings of the first replication only. A shared
// variable is declared once, under the outermost composed model sharing it.
// The batch counter runs -1 (declarations) -> 0 (first replication's body)
// -> 1 and above (document closed, nothing more is written).
#pragma once

#include <cstdint>
#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

#include "trace/TraceFile.h"

class TraceFileXML : public TraceFile {
 public:
  // Names the document type definition shipped with the trace writers.
  static constexpr const char* SystemIdentifier = "san_trace.dtd";

  TraceFileXML();
  explicit TraceFileXML(const char* name);
  explicit TraceFileXML(std::ostream* out);
  ~TraceFileXML() override;

  // Document head, process declarations and interactions, once, while the
  // batch counter is -1.
  void printHeader(PVModel* rewardModel) override;
  // Process declarations of `model` and its descendants.
  void printHeader(BaseModelClass* model, int parentId);
  // Undiraction elements of `model` and its descendants.
  void printHeaderInteractions(BaseModelClass* model);
  // Counts batches; the second call closes the document.
  void newBatch() override;
  // Closes a document that the batches left open (a run ended before its
  // first replication completed), so the trace is always complete.
  void printFooter() override;
  void printPreFireAction(BaseActionClass* action) override;
  void printState(PVModel* rewardModel) override;
  void printFireAction(BaseActionClass* action, double time) override;
  void printInitialState(BaseModelClass* model) override;
  void printState(BaseModelClass* model) override;
  void printPostFireAction(BaseActionClass* action, BaseActionClass* fired) override;

  // Records `name` as touched; true if it was not yet.
  bool addState(const char* name);
  // False if `name` is already used with a declaring model numbered at most
  // `parentId`; otherwise records `modelId` as declaring it and returns true.
  bool addUsedStateName(const char* name, int parentId, int modelId);
  bool inUsedStateName(const char* name) const;
  // Number of the most recently declared model numbered at most `modelId`
  // that declares a variable qualified as `name`; -1 if none.
  int getModelMap(const char* name, int modelId) const;

  // A used state name with the numbers of the models declaring it.
  struct UsedStateName {
    std::string name;
    std::vector<int32_t> declaringModels;
  };
  // A declared process and the variables declared under it.
  struct ModelEntry {
    BaseModelClass* model;
    std::vector<BaseStateVariableClass*> variables;
  };

  // --- Names recorded while declaring ---
  std::vector<std::string> touchedStateNames;   // from addState; cleared by printInitialState
  std::vector<UsedStateName> usedStateNames;    // shared variables already declared
  std::vector<BaseActionClass*> declaredActions;  // written as Action elements
  // --- Body control ---
  int32_t batchCounter = -1;
  double lastFiringTime = 0.0;   // of the latest printFireAction
  bool headerWritten = false;    // the document head has been written
  bool documentClosed = false;   // "</Sequence>" and "</Trace>" have been written
  // Declared processes, the most recently declared first.
  std::deque<ModelEntry> modelMap;

 private:
  void declareAtomic(BaseModelClass* model, int parentId, std::vector<BaseStateVariableClass*>& vars);
  void declareComposed(BaseModelClass* model, int parentId, std::vector<BaseStateVariableClass*>& vars);
  void writeVarDeclaration(BaseModelClass* model, BaseStateVariableClass* leaf);
  bool changesUsedState(BaseActionClass* action) const;
  void writeInteraction(BaseModelClass* model, BaseActionClass* action);
  void closeDocument();
  const ModelEntry* findModel(const BaseModelClass* model) const;
  // The value as the variable prints it, escaped for an attribute.
  static std::string valueText(BaseStateVariableClass* variable);
  // `text` with the five XML special characters replaced by references.
  static std::string escaped(const std::string& text);
};

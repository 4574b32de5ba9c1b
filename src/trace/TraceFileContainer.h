// The one trace object the simulator talks to: forwards every call to the
// writers added to it, in the order they were added. It knows the reward
// model whose state the writers describe. Writers are not owned.
#pragma once

#include <vector>

#include "trace/TraceFile.h"

class TraceFileContainer : public TraceFile {
 public:
  TraceFileContainer();
  ~TraceFileContainer() override;

  void AddTraceFile(TraceFile* writer);
  // Stops forwarding to `writer` (so it may be destroyed); unknown writers
  // are ignored.
  void RemoveTraceFile(TraceFile* writer);
  void addPVModel(PVModel* rewardModel);

  // The container's own calls, made with the remembered reward model.
  void printHeader();
  void printState();
  void printInitialState();

  // The writer-level forms taking a model do nothing on the container.
  void printHeader(PVModel* rewardModel) override;
  void printState(PVModel* rewardModel) override;
  void printState(BaseModelClass* model) override;
  void printInitialState(BaseModelClass* model) override;

  void printFooter() override;
  void newBatch() override;
  void printFireAction(BaseActionClass* action, double time) override;
  void printPreFireAction(BaseActionClass* action) override;
  void printPostFireAction(BaseActionClass* action, BaseActionClass* fired) override;
  // Formats the whole text, however long, and hands it to every writer's
  // printStr.
  SAN_TRACE_PRINTF_FORMAT void printf(int level, const char* format, ...) override;
  void printStr(int level, const char* text) override;

  PVModel* rewardModel = nullptr;     // null until addPVModel
  std::vector<TraceFile*> writers;    // in order of addition, not owned
};

// The plain-text trace writer: a banner, one line per batch, model blocks
// listing every state variable by its qualified name, and firing lines at
// trace levels 1 and 2. Every line is flushed as it is written.
#pragma once

#include <iosfwd>

#include "trace/TraceFile.h"

class TraceFileTarvek : public TraceFile {
 public:
  TraceFileTarvek();
  explicit TraceFileTarvek(const char* name);
  explicit TraceFileTarvek(std::ostream* out);
  ~TraceFileTarvek() override;

  void printHeader(PVModel* rewardModel) override;
  void printFooter() override;
  void newBatch() override;
  void printInitialState(BaseModelClass* model) override;
  void printState(PVModel* rewardModel) override;
  // "  Model: (<number>)<name>", its variables, then each child's block.
  void printState(BaseModelClass* model) override;
  // Firing lines need the action and its model; without them nothing is
  // written.
  void printFireAction(BaseActionClass* action, double time) override;
  void printPreFireAction(BaseActionClass* action) override;
  void printPostFireAction(BaseActionClass* action, BaseActionClass* fired) override;
  void printf(int level, const char* format, ...) override;
  void printStr(int level, const char* text) override;

 private:
  // indent, qualified name, " = ", the value, newline.
  void printVariableLine(const char* indent, BaseStateVariableClass* variable);
};

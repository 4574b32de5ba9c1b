// The interface every trace writer implements, with do-nothing defaults: a
// trace level (1 unless set) and the stream the writer writes to. A writer
// made from a file name owns the file stream it opened and closes it when it
// is destroyed; a stream handed in stays the caller's.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class BaseActionClass;
class BaseModelClass;
class BaseStateVariableClass;
class PVModel;

#if defined(__GNUC__)
#define SAN_TRACE_PRINTF_FORMAT __attribute__((format(printf, 3, 4)))
#else
#define SAN_TRACE_PRINTF_FORMAT
#endif

class TraceFile {
 public:
  TraceFile();
  // Opens `name` for writing, truncating it. A file that cannot be opened is
  // not reported: its stream is in a failed state and writes nothing.
  explicit TraceFile(const char* name);
  explicit TraceFile(std::ostream* out);
  virtual ~TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  // Virtual operations, in slot order.
  virtual void printHeader(PVModel* rewardModel);
  virtual void printFooter();
  virtual void printInitialState(BaseModelClass* model);
  virtual void printState(BaseModelClass* model);
  // The state of the model that `rewardModel` rewards (nothing without one).
  virtual void printState(PVModel* rewardModel);
  virtual void printFireAction(BaseActionClass* action, double time);
  virtual void printPreFireAction(BaseActionClass* action);
  virtual void printPostFireAction(BaseActionClass* action, BaseActionClass* fired);
  virtual void newBatch();
  SAN_TRACE_PRINTF_FORMAT virtual void printf(int level, const char* format, ...);
  virtual void printStr(int level, const char* text);

  void setTraceLevel(int level) { traceLevel = level; }
  int getTraceLevel() const { return traceLevel; }

  // "prefix.name", or the name alone when the prefix is empty.
  static std::string qualifiedName(const BaseStateVariableClass* variable);

 protected:
  // The local state variables of `model` that a trace lists: the first
  // numStateVariables of GetLocalStateVariables, but never more than an
  // atomic model's places array holds (its read-only places are not in it).
  static std::vector<BaseStateVariableClass*> localVariables(BaseModelClass* model);
  // The leaves of `variable` (a plain variable is its own leaf).
  static std::vector<BaseStateVariableClass*> leavesOf(BaseStateVariableClass* variable);

  int traceLevel = 1;
  std::ostream* out = nullptr;  // where the trace goes; null writes nothing

 private:
  std::unique_ptr<std::ofstream> ownedFile;  // set when made from a file name
};

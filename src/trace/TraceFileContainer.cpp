#include "trace/TraceFileContainer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "rewards/PVModel.h"

namespace {
// Texts up to this size are formatted without a heap allocation.
constexpr int kFormatBufferSize = 1024;
}  // namespace

TraceFileContainer::TraceFileContainer() = default;

TraceFileContainer::~TraceFileContainer() = default;

void TraceFileContainer::AddTraceFile(TraceFile* writer) { writers.push_back(writer); }

void TraceFileContainer::RemoveTraceFile(TraceFile* writer) {
  writers.erase(std::remove(writers.begin(), writers.end(), writer), writers.end());
}

void TraceFileContainer::addPVModel(PVModel* model) { rewardModel = model; }

void TraceFileContainer::printHeader() {
  for (TraceFile* writer : writers) writer->printHeader(rewardModel);
}

void TraceFileContainer::printState() {
  for (TraceFile* writer : writers) writer->printState(rewardModel);
}

void TraceFileContainer::printInitialState() {
  if (rewardModel == nullptr) return;
  for (TraceFile* writer : writers) writer->printInitialState(rewardModel->TopModel);
}

void TraceFileContainer::printHeader(PVModel*) {}
void TraceFileContainer::printState(PVModel*) {}
void TraceFileContainer::printState(BaseModelClass*) {}
void TraceFileContainer::printInitialState(BaseModelClass*) {}

void TraceFileContainer::printFooter() {
  for (TraceFile* writer : writers) writer->printFooter();
}

void TraceFileContainer::newBatch() {
  for (TraceFile* writer : writers) writer->newBatch();
}

void TraceFileContainer::printFireAction(BaseActionClass* action, double time) {
  for (TraceFile* writer : writers) writer->printFireAction(action, time);
}

void TraceFileContainer::printPreFireAction(BaseActionClass* action) {
  for (TraceFile* writer : writers) writer->printPreFireAction(action);
}

void TraceFileContainer::printPostFireAction(BaseActionClass* action, BaseActionClass* fired) {
  for (TraceFile* writer : writers) writer->printPostFireAction(action, fired);
}

void TraceFileContainer::printf(int level, const char* format, ...) {
  if (format == nullptr) return;
  char buffer[kFormatBufferSize];
  va_list args;
  va_start(args, format);
  va_list retry;
  va_copy(retry, args);
  const int needed = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (needed < 0) {  // an encoding error: nothing sound to forward
    va_end(retry);
    return;
  }
  if (needed < kFormatBufferSize) {
    va_end(retry);
    printStr(level, buffer);
    return;
  }
  std::vector<char> large(static_cast<size_t>(needed) + 1);
  std::vsnprintf(large.data(), large.size(), format, retry);
  va_end(retry);
  printStr(level, large.data());
}

void TraceFileContainer::printStr(int level, const char* text) {
  for (TraceFile* writer : writers) writer->printStr(level, text);
}

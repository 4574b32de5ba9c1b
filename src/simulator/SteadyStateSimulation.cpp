// One long run cut, separately for every steady-state variable, into
// consecutive observation windows (batches); each completed window yields one
// observation of its variable.
#include <iostream>
#include <vector>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseGroupClass.h"
#include "BaseClasses/BaseModelClass.h"
#include "io/DataPacket.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "simulator/Event.h"
#include "simulator/EventList.h"
#include "simulator/Heap.h"
#include "simulator/Interruption.h"
#include "simulator/SimulatorClass.h"
#include "trace/TraceFileContainer.h"

void SimulatorClass::SteadyStateSimulation() {
  placeholderAction = new BaseActionClass();
  std::vector<int> valueCount(static_cast<size_t>(numPVs > 0 ? numPVs : 1), 0);
  std::vector<int> squaredCount(valueCount.size(), 0);

  currentTime = 0.0;
  GenerateInitialEnabledList();
  if (GenerateCompleteEventListSS() != 0)
    std::cerr << "ERROR: unable to generate event list\n" << std::flush;
  lastFired = placeholderAction;

  int batched = 0;
  for (int i = 0; i < numPVs; ++i)
    if (allPVs[i]->SteadyStateFlag == 1) ++batched;
  ssBatchDeadlines = new Heap<double>(batched);
  ssBatchCounts = new Heap<int>(batched);
  for (int i = 0; i < numPVs; ++i) {
    PerformanceVariableNode* node = allPVs[i];
    if (node->SteadyStateFlag != 1) continue;
    if (node->StartTime == 0.0) {
      ssBatchDeadlines->Insert(node->StopTime, i);
      ssBatchCounts->Insert(0, i);
    } else {
      ssBatchDeadlines->Insert(node->StartTime, i);
      ssBatchCounts->Insert(-1, i);
    }
  }

  traceContainer->newBatch();
  valuePacket = CreateDataPacket(numPVs);
  squaredPacket = CreateDataPacket(numPVs);

  startClock->ticks = static_cast<double>(std::clock());
  currentHandle = eventList->Earliest();
  if (currentHandle == nullptr) {
    runState = 1;
  } else {
    currentTime = (*currentHandle)->time;
    currentGroup = static_cast<BaseGroupClass*>((*currentHandle)->action);
  }

  while (runState == 0) {
    CheckCompletedBatches(allPVs, valueCount.data(), squaredCount.data());
    if (maxBatches > 0 && ssBatchCounts->size > 0 && ssBatchCounts->MinKey() >= maxBatches)
      runState = 1;
    // An interruption ends the run like the batch limit: the last report
    // carries the windows completed so far.
    if (Interruption::Requested()) runState = 1;
    if (!SimStepSS()) {
      runState = 1;
      std::cout << "Simulator encountered an absorbing state and is unable to proceed.  "
                   "Terminating run."
                << std::endl;
    }
  }

  SendSSResults(valueCount.data(), squaredCount.data());

  delete ssBatchDeadlines;
  ssBatchDeadlines = nullptr;
  delete ssBatchCounts;
  ssBatchCounts = nullptr;
  ReleaseRunScratch();
}

void SimulatorClass::CheckCompletedBatches(PerformanceVariableNode** nodes, int* valueCount,
                                           int* squaredCount) {
  while (ssBatchDeadlines->size > 0 && currentTime >= ssBatchDeadlines->MinKey()) {
    int i = ssBatchDeadlines->MinId();
    PerformanceVariableNode* node = nodes[i];
    if (ssBatchCounts->KeyOf(i) != -1) {
      node->Accumulate(node->StopTime + 1.0, BaseModelClass::LastActionTime,
                       pvModel->LastFiredAction);
      if (valueCount[i] == reportSize) SendSSResults(valueCount, squaredCount);
      // After a stop nothing is sent any more and the counts stay full; the
      // observation is dropped rather than written past the packet's end.
      if (valueCount[i] < valuePacket->reportSize) {
        StoreObservation(i, valueCount[i], node->Value, node->SquaredValue);
        ++valueCount[i];
        ++squaredCount[i];
      }
      node->Reset();
      pvModel->NodesChanged();  // the node's window moved on
    }
    ssBatchDeadlines->ChangeKey(i, node->StopTime);
    ssBatchCounts->ChangeKey(i, ssBatchCounts->KeyOf(i) + 1);
    traceContainer->newBatch();
  }
}

int SimulatorClass::SendSSResults(int* valueCount, int* squaredCount) {
  if (runState == 2) return 0;
  for (int i = 0; i < numPVs; ++i) {
    valuePacket->counts[i] = valueCount[i];
    squaredPacket->counts[i] = squaredCount[i];
    valueCount[i] = 0;
    squaredCount[i] = 0;
  }
  cpuTime = ElapsedCpuSeconds();
  return CheckReportSize(cpuTime);
}

// Independent replications from the saved initial state, each up to the
// largest observation time, one observation of every variable per
// replication.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <vector>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseGroupClass.h"
#include "io/DataPacket.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "simulator/BiasedRun.h"
#include "simulator/Event.h"
#include "simulator/EventList.h"
#include "simulator/Interruption.h"
#include "simulator/SimulatorClass.h"
#include "trace/TraceFileContainer.h"

void SimulatorClass::StoreObservation(int variable, int index, double value, double squared) {
  valuePacket->values[variable][index] = value;
  squaredPacket->values[variable][index] = squared;
}

// Under importance sampling each observation is the reward times the
// likelihood ratio up to its observation time; the squared observation is
// the square of that product.
void SimulatorClass::StoreWeightedObservations(int index, double endTime) {
  biasedRun->FinishReplication(endTime);
  for (int i = 0; i < numPVs; ++i) {
    const double weight = biasedRun->ObservationWeight(i);
    StoreObservation(i, index, allPVs[i]->Value * weight, allPVs[i]->SquaredValue * weight * weight);
  }
}

double SimulatorClass::ElapsedCpuSeconds() const {
  double start = startClock ? startClock->ticks : 0.0;
  return (static_cast<double>(std::clock()) - start) / CLOCKS_PER_SEC;
}

void SimulatorClass::ClearReactivationList() {
  while (!reactivationList.empty()) {
    ReactivationEntry* entry = reactivationList.front();
    entry->group->reactivation = false;
    GroupRecord* record = entry->group->eventSlot;
    record->notInReactivationList = true;
    record->position = nullptr;
    reactivationList.Erase(entry);
  }
}

void SimulatorClass::ReportTerminating(int observations) {
  for (int i = 0; i < numPVs; ++i) {
    valuePacket->counts[i] = observations;
    squaredPacket->counts[i] = observations;
  }
  cpuTime = ElapsedCpuSeconds();
  CheckReportSize(cpuTime);
}

void SimulatorClass::TerminatingSimulation() {
  placeholderAction = new BaseActionClass();

  std::vector<char> initialState(static_cast<size_t>(pvModel->StateSize()));
  pvModel->CurrentState(initialState.data());
  if (GlobalDebugLevel >= 4)
    for (size_t i = 0; i < initialState.size(); ++i)
      std::printf("OriginalState[%d] = %d\n", static_cast<int>(i),
                  static_cast<int>(static_cast<signed char>(initialState[i])));
  std::fflush(stdout);

  int perReport = reportSize;
  GenerateInitialEnabledList();
  startClock->ticks = static_cast<double>(std::clock());
  valuePacket = CreateDataPacket(numPVs);
  squaredPacket = CreateDataPacket(numPVs);
  traceContainer->newBatch();
  int obs = 0;

  while (runState == 0) {
    currentTime = 0.0;
    eventList->ClearEventList();
    ClearReactivationList();
    if (biasedRun) biasedRun->StartReplication();
    const int16_t built = biasedRun ? biasedRun->GenerateCompleteEventList() : GenerateCompleteEventList();
    if (built != 0) {
      std::cerr << "ERROR: unable to generate event list\n" << std::flush;
      std::exit(1);
    }
    lastFired = placeholderAction;
    double endTime = pvModel->MaxStopTime;
    currentHandle = eventList->Earliest();
    if (currentHandle != nullptr) {
      currentTime = (*currentHandle)->time;
      currentGroup = static_cast<BaseGroupClass*>((*currentHandle)->action);
      if (biasedRun) biasedRun->RunUntil(endTime); else RunUntil(endTime);
    }
    traceContainer->newBatch();
    pvModel->EndAccumulate(endTime);
    if (biasedRun) {
      StoreWeightedObservations(obs, endTime);
    } else {
      for (int i = 0; i < numPVs; ++i)
        StoreObservation(i, obs, allPVs[i]->Value, allPVs[i]->SquaredValue);
    }
    ++obs;
    ++batchesDone;
    // An interruption ends the run here as the replication limit would, so
    // that the held-back reports are written out.
    if ((maxBatches >= 1 && batchesDone >= maxBatches) || Interruption::Requested()) {
      runState = 1;
      ReportTerminating(obs);
      obs = 0;
    } else if (obs == perReport) {
      ReportTerminating(obs);
      obs = 0;
    }
    pvModel->SetState(initialState.data());
    pvModel->PVReset();
  }

  ReleaseRunScratch();
}

void SimulatorClass::ReleaseRunScratch() {
  if (lastFired == placeholderAction) lastFired = nullptr;
  delete placeholderAction;
  placeholderAction = nullptr;
}

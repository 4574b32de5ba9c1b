// Proves that the firing step never touches the heap: every global operator
// new of this test program is counted, and replications of the real model
// are driven step by step with the counter armed only around the steps (and
// around the per-replication reset), after one warm-up replication.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "BaseClasses/BaseActionClass.h"
#include "BaseClasses/BaseGroupClass.h"
#include "random/Distributions.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"
#include "rewards/PVModel.h"
#include "simulator/Event.h"
#include "simulator/EventList.h"
#include "simulator/SimulatorClass.h"

namespace {

// Armed only while the test measures; the program is single-threaded.
bool countingArmed = false;
int64_t allocationsSeen = 0;

void* CountedAllocate(std::size_t size) {
  if (countingArmed) ++allocationsSeen;
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) std::abort();
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return CountedAllocate(size); }
void* operator new[](std::size_t size) { return CountedAllocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (countingArmed) ++allocationsSeen;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (countingArmed) ++allocationsSeen;
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace {

// Allocations seen while `work` runs.
template <typename Work>
int64_t CountAllocations(Work&& work) {
  const int64_t before = allocationsSeen;
  countingArmed = true;
  work();
  countingArmed = false;
  return allocationsSeen - before;
}

// Drives the terminating replication loop of a built simulator without its
// reporting, so that each part can be measured on its own.
class ReplicationDriver {
 public:
  explicit ReplicationDriver(SimulatorClass& sim) : sim(sim) {
    sim.placeholderAction = new BaseActionClass();
    initialState.resize(static_cast<size_t>(sim.pvModel->StateSize()));
    sim.pvModel->CurrentState(initialState.data());
    sim.GenerateInitialEnabledList();
  }

  // Resets to the initial state and schedules the initial events.
  void StartReplication() {
    sim.currentTime = 0.0;
    sim.eventList->ClearEventList();
    ASSERT_TRUE(sim.reactivationList.empty());
    ASSERT_EQ(sim.GenerateCompleteEventList(), 0);
    sim.lastFired = sim.placeholderAction;
    sim.currentHandle = sim.eventList->Earliest();
    if (sim.currentHandle != nullptr) {
      sim.currentTime = (*sim.currentHandle)->time;
      sim.currentGroup = static_cast<BaseGroupClass*>((*sim.currentHandle)->action);
    }
  }

  // Fires up to the end time; returns the number of firings.
  int64_t FireToEnd() {
    const double endTime = sim.pvModel->MaxStopTime;
    int64_t fired = 0;
    if (sim.currentHandle == nullptr) return 0;
    while (sim.currentTime <= endTime) {
      ++fired;
      if (!sim.SimStep()) break;
    }
    return fired;
  }

  void FinishReplication() {
    sim.pvModel->EndAccumulate(sim.pvModel->MaxStopTime);
    sim.pvModel->SetState(initialState.data());
    sim.pvModel->PVReset();
  }

 private:
  SimulatorClass& sim;
  std::vector<char> initialState;
};

// The counter must see allocations, or a zero below would prove nothing.
TEST(NoAllocationTest, CounterSeesAllocations) {
  std::vector<int>* probe = nullptr;
  EXPECT_EQ(CountAllocations([&] { probe = new std::vector<int>(3); }), 2);
  delete probe;
}

TEST(NoAllocationTest, FiringStepsAndReplicationResetsNeverAllocate) {
  char program[] = "basic_model_sim";
  char experimentFlag[] = "-e";
  char experiment[] = "8";
  char* argv[] = {program, experimentFlag, experiment, nullptr};
  SimulatorClass sim(3, argv);
  ReplicationDriver driver(sim);

  // Warm-up: anything sized lazily on first use is sized now.
  driver.StartReplication();
  driver.FireToEnd();
  driver.FinishReplication();

  int64_t firings = 0;
  int64_t stepAllocations = 0;
  int64_t resetAllocations = 0;
  // Each generator has its own delivery path; all are measured.
  for (int generator = 0; generator < 3; ++generator) {
    if (generator == 1) TheDistribution->SetGenerator(new Tausworthe());
    if (generator == 2) TheDistribution->SetGenerator(new MersenneTwister());
    TheDistribution->GetGenerator()->srnd(2718u + static_cast<uint32_t>(generator));
    for (int replication = 0; replication < 60; ++replication) {
      resetAllocations += CountAllocations([&] { driver.StartReplication(); });
      stepAllocations += CountAllocations([&] { firings += driver.FireToEnd(); });
      resetAllocations += CountAllocations([&] { driver.FinishReplication(); });
    }
  }
  EXPECT_GT(firings, 60 * 3 * 100);  // the model does fire many times per replication
  EXPECT_EQ(stepAllocations, 0);
  EXPECT_EQ(resetAllocations, 0);
}

}  // namespace

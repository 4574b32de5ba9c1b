// A hand-built model for driving the firing step and the steady-state run
// without the generated model: groups with scripted enabling, delays and
// effects, a reward model of bare nodes, and a simulator wired to them.
#pragma once

#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BaseClasses/BaseGroupClass.h"
#include "BaseClasses/List.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "simulator/Event.h"
#include "simulator/EventList.h"
#include "simulator/SimulatorClass.h"
#include "trace/TraceFileContainer.h"

// A group whose enabling, delay and effect are scripted by the test.
class ScriptedGroup : public BaseGroupClass {
 public:
  ScriptedGroup(const char* label, std::function<bool()> enabled, double delay)
      : predicate(std::move(enabled)), delay(delay) {
    defineName(label);
  }
  bool Enabled() override {
    enabledBefore = enabledNow;
    enabledNow = predicate();
    return enabledNow;
  }
  bool EnablingChange() override {
    Enabled();
    return enabledNow != enabledBefore;
  }
  double SampleDistribution() override {
    ++samples;
    return delay;
  }
  BaseActionClass* Fire() override {
    ++fires;
    if (effect) effect();
    return this;
  }
  int Rank() override { return 1; }
  double Weight() override { return 1.0; }
  bool ReactivationPredicate() override { return watched; }
  bool ReactivationFunction() override { return resample; }

  double EventTime() const { return eventSlot->handle ? (*eventSlot->handle)->time : -1.0; }

  std::function<bool()> predicate;
  std::function<void()> effect;
  double delay;
  bool watched = false;   // ReactivationPredicate()
  bool resample = false;  // ReactivationFunction()
  bool enabledNow = false;
  bool enabledBefore = false;
  int samples = 0;
  int fires = 0;
};

// A batched node without workers that records when its windows close.
class RecordingNode : public PerformanceVariableNode {
 public:
  RecordingNode(const char* label, double start, double stop, const SimulatorClass* sim)
      : sim_(sim) {
    Initialize(label, 1, 1, &start, &stop, 0, 0, 0, 0);
    SteadyStateFlag = 1;
  }
  void CreateWorkerList() override {}
  void Reset() override {
    harvestTimes.push_back(sim_->currentTime);
    windowStarts.push_back(StartTime);
    PerformanceVariableNode::Reset();
  }
  std::vector<double> harvestTimes;  // simulation time of each closed window
  std::vector<double> windowStarts;  // start of each closed window

 private:
  const SimulatorClass* sim_;
};

class ScriptedRewardModel : public PVModel {
 public:
  PerformanceVariableNode* createPVNode(int, int) override { return nullptr; }
  void Adopt(PerformanceVariableNode* node) {
    Nodes.push_back(node);
    NumNodes = static_cast<int>(Nodes.size());
    Considered.push_back(node);
  }
};

// A simulator over scripted groups; every group affects the groups the test
// lists for it.
class StepHarness {
 public:
  explicit StepHarness(int reportSize = 1000) {
    sim.reportSize = reportSize;
    sim.maxBatches = 0;
    sim.pvModel = &rewards;
    sim.traceContainer = new TraceFileContainer();
  }
  ~StepHarness() {
    for (auto& group : owned) sim.ClearActionAffectsList(group.get());
    sim.pvModel = nullptr;
    sim.allPVs = nullptr;
    sim.groups = nullptr;
  }
  ScriptedGroup& AddGroup(const char* label, std::function<bool()> enabled, double delay) {
    owned.push_back(std::make_unique<ScriptedGroup>(label, std::move(enabled), delay));
    return *owned.back();
  }
  // Gives `action` the affects list `groups` (in this order).
  void Affects(ScriptedGroup& action, std::vector<ScriptedGroup*> targets) {
    for (auto it = targets.rbegin(); it != targets.rend(); ++it) sim.AddActionAffects(*it, &action);
  }
  RecordingNode& AddNode(const char* label, double start, double stop) {
    auto* node = new RecordingNode(label, start, stop, &sim);
    rewards.Adopt(node);
    return *node;
  }
  // Group records and event list: what start-up builds.
  void Build() {
    for (auto& group : owned) sim.groupList->append(group.get());
    sim.groups = sim.groupList->getList();
    sim.groupRecords = new GroupRecord[owned.size() + 1];
    for (size_t i = 0; i < owned.size(); ++i) owned[i]->eventSlot = &sim.groupRecords[i];
    sim.eventList = new EventList(static_cast<int>(owned.size()) + 1);
    sim.allPVs = rewards.Nodes.data();
    sim.numPVs = rewards.NumNodes;
  }
  // Schedules the initially enabled groups as a terminating replication does.
  void Start() {
    sim.placeholderAction = new BaseActionClass();
    sim.lastFired = sim.placeholderAction;
    sim.currentTime = 0.0;
    sim.GenerateInitialEnabledList();
    sim.GenerateCompleteEventList();
    sim.currentHandle = sim.eventList->Earliest();
    if (sim.currentHandle) {
      sim.currentTime = (*sim.currentHandle)->time;
      sim.currentGroup = static_cast<BaseGroupClass*>((*sim.currentHandle)->action);
    }
  }

  // Declared first so that they outlive the simulator, whose destructor
  // still reaches the groups through the event list.
  std::vector<std::unique_ptr<ScriptedGroup>> owned;
  ScriptedRewardModel rewards;
  SimulatorClass sim{SimulatorClass::FieldsOnly{}};
};

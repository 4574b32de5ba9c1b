// A reward worker: evaluates one performance variable on one combination of
// submodel instances (its model group). The generated worker supplies
// Reward_Function and one submodel pointer per model dependency; ModelSlots
// holds the addresses of those pointers so the node can bind them.
// Invariant: NumModelSlots == ModelSlots.size().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class BaseModelClass;

class PerformanceVariableWorker {
 public:
  PerformanceVariableWorker() = default;
  virtual ~PerformanceVariableWorker() = default;
  // The slots point into the worker itself, so a copy would bind the wrong object.
  PerformanceVariableWorker(const PerformanceVariableWorker&) = delete;
  PerformanceVariableWorker& operator=(const PerformanceVariableWorker&) = delete;

  // Reward rate or value of the current state.
  virtual double Reward_Function() = 0;
  // Computes Value and SquaredValue for the time from last to now.
  virtual void Accumulate(double now, double last) = 0;
  // State-by-state evaluation; the base only reports that it was reached.
  virtual void CurrentReward();
  // Zeroes Value and SquaredValue.
  virtual void Reset();

  // Names the worker after its variable and gives it its number in the node.
  void DefineName(const char* name, int index);
  // Registers the address of one of the derived worker's submodel pointers;
  // call once per model dependency, in dependency order.
  void AddModelSlot(BaseModelClass** slot);

  // --- Submodel binding ------------------------------------------------------
  std::vector<BaseModelClass**> ModelSlots;
  int32_t NumModelSlots = 0;
  int32_t NumImpulseSlots = 0;  // always 0: rate workers have no impulse models

  // --- Identity ----------------------------------------------------------------
  std::string Name;   // the variable's name
  int32_t Index = -1; // number within the node; -1 until named
  int32_t Id = -1;    // the node's id; -1 until set

  // --- Result of the last evaluation -------------------------------------------
  double Value = 0.0;
  double SquaredValue = 0.0;
  // --- Kept on every worker so the node reads and binds them without knowing
  // the worker's kind ---------------------------------------------------------------
  double RewardWeight = 1.0;  // weight of Value when the node adds it over a window
  double StartTime = -1.0;    // the node's window, copied when the node binds it
  double StopTime = -1.0;
};

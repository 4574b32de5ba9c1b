// An impulse reward: earned when a given action of a given submodel fires.
// A registered prototype makes the node's impulse workers (CreateWorkerList),
// one per combination of instances; each worker is bound to the instance of
// the impulse's submodel in Model. Generated impulse classes supply the
// pure operations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class BaseModelClass;

class ImpulseNodeClass {
 public:
  ImpulseNodeClass() = default;
  virtual ~ImpulseNodeClass() = default;
  ImpulseNodeClass(const ImpulseNodeClass&) = delete;
  ImpulseNodeClass& operator=(const ImpulseNodeClass&) = delete;

  // Closes the worker's accumulation at the end of a run.
  virtual void EndAccumulate(double end) = 0;
  // The reward earned by one firing of the impulse's action.
  virtual double Impulse_Function() = 0;
  virtual void Accumulate(double now, double last) = 0;
  virtual void CurrentReward() = 0;
  // Generated overrides call this base version, which zeroes the value pair.
  virtual void Reset() = 0;
  // A new array of n new impulse workers (the caller owns array and workers).
  virtual ImpulseNodeClass** CreateWorkerList(int n) = 0;

  static double min(double a, double b) { return a < b ? a : b; }
  static double max(double a, double b) { return a > b ? a : b; }
  // Names the worker and records its impulse and worker numbers.
  void DefineName(const char* name, int impulseIndex, int workerIndex);

  // --- Submodel binding --------------------------------------------------------
  std::vector<BaseModelClass**> ModelSlots;
  BaseModelClass* Model = nullptr;  // instance of the impulse's submodel

  // --- Identity ----------------------------------------------------------------
  std::string Name;
  int32_t Index = -1;         // worker number within the impulse
  int32_t ImpulseIndex = -1;  // impulse number within the node
  int32_t NumModelDependencies = 0;
  int32_t Id = -1;            // the node's id

  // --- Accumulated reward and window ---------------------------------------------
  double Value = 0.0;
  double SquaredValue = 0.0;
  double StartTime = -1.0;
  double StopTime = -1.0;
};

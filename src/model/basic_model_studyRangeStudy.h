// The range study of basic_model: nine experiments over the four global
// variables (flash_size, power_cycle_rate, ram_size, random_failure_rate, in
// that order, all "float"). It owns one value array per variable, indexed by
// experiment, and the reward model it created last.
#pragma once

#include <array>

#include "study/BaseStudyClass.h"

class basic_model_studyRangeStudy : public BaseStudyClass {
 public:
  static constexpr int kNumExperiments = 9;

  basic_model_studyRangeStudy();
  ~basic_model_studyRangeStudy() override;

  // Replaces the reward model created before with a new one.
  PVModel* GetPVModel(bool allTimePoints) override;
  // Experiment indices outside 0 … NumExps - 1 are reported and change nothing.
  void SetGVs(int index) override;
  void PrintGlobalValues(int index) override;
  void* GetGVValue(char* name) override;
  // `value` points to a float.
  void OverrideGVValue(char* name, void* value) override;

  void SetValues_flash_size();
  void SetValues_power_cycle_rate();
  void SetValues_ram_size();
  void SetValues_random_failure_rate();

  // --- Values per experiment, one array per global variable -----------------
  std::array<float, kNumExperiments> flash_sizeValues{};
  std::array<float, kNumExperiments> power_cycle_rateValues{};
  std::array<float, kNumExperiments> ram_sizeValues{};
  std::array<float, kNumExperiments> random_failure_rateValues{};

 private:
  // Address of the named global variable, or null.
  static float* FindGlobal(const char* name);
};

#include "model/basic_model_studyRangeStudy.h"

#include <cstring>
#include <iostream>

#include "model/GlobalVariables.h"
#include "model/basic_rewardPVModel.h"

float flash_size = 0.0f;
float power_cycle_rate = 0.0f;
float ram_size = 0.0f;
float random_failure_rate = 0.0f;

namespace {
BaseStudyClass* TheStudy = nullptr;
}  // namespace

BaseStudyClass* GenerateStudy() {
  if (TheStudy == nullptr) TheStudy = new basic_model_studyRangeStudy();
  return TheStudy;
}

void DestructStudy() {
  delete TheStudy;
  TheStudy = nullptr;
}

basic_model_studyRangeStudy::basic_model_studyRangeStudy() {
  NumGVs = 4;
  NumExps = kNumExperiments;
  GVNames = {"flash_size", "power_cycle_rate", "ram_size", "random_failure_rate"};
  GVTypes = {"float", "float", "float", "float"};
  SetValues_flash_size();
  SetValues_power_cycle_rate();
  SetValues_ram_size();
  SetValues_random_failure_rate();
}

basic_model_studyRangeStudy::~basic_model_studyRangeStudy() { delete ThePVModel; }

void basic_model_studyRangeStudy::SetValues_flash_size() { flash_sizeValues.fill(64.0f); }

// The power cycle doubles from one experiment to the next, from 2^-5 to 2^3.
void basic_model_studyRangeStudy::SetValues_power_cycle_rate() {
  float value = 0.03125f;
  for (float& v : power_cycle_rateValues) {
    v = value;
    value *= 2.0f;
  }
}

void basic_model_studyRangeStudy::SetValues_ram_size() { ram_sizeValues.fill(128.0f); }

void basic_model_studyRangeStudy::SetValues_random_failure_rate() { random_failure_rateValues.fill(0.005f); }

PVModel* basic_model_studyRangeStudy::GetPVModel(bool allTimePoints) {
  delete ThePVModel;
  ThePVModel = new basic_rewardPVModel(allTimePoints);
  return ThePVModel;
}

void basic_model_studyRangeStudy::SetGVs(int index) {
  if (!IsValidExperiment(index)) {
    std::cerr << "!! basic_model_studyRangeStudy::SetGVs: Experiment index " << index
              << " does not exist (valid: 0 to " << NumExps - 1 << ")." << std::endl;
    return;
  }
  flash_size = flash_sizeValues[index];
  power_cycle_rate = power_cycle_rateValues[index];
  ram_size = ram_sizeValues[index];
  random_failure_rate = random_failure_rateValues[index];
}

void basic_model_studyRangeStudy::PrintGlobalValues(int index) {
  if (NumGVs == 0) {
    std::cout << "There are no global variables." << std::endl;
    return;
  }
  if (!IsValidExperiment(index)) {
    SetGVs(index);  // reports the index
    return;
  }
  SetGVs(index);
  std::cout << "The Global Variable values for experiment " << GetExpName(index) << " are:" << std::endl;
  for (int i = 0; i < NumGVs; ++i) {
    std::cout << GVNames[i] << '\t' << GVTypes[i] << '\t' << *FindGlobal(GVNames[i].c_str()) << std::endl;
  }
}

float* basic_model_studyRangeStudy::FindGlobal(const char* name) {
  if (name == nullptr) return nullptr;
  if (std::strcmp(name, "flash_size") == 0) return &flash_size;
  if (std::strcmp(name, "power_cycle_rate") == 0) return &power_cycle_rate;
  if (std::strcmp(name, "ram_size") == 0) return &ram_size;
  if (std::strcmp(name, "random_failure_rate") == 0) return &random_failure_rate;
  return nullptr;
}

void* basic_model_studyRangeStudy::GetGVValue(char* name) {
  float* global = FindGlobal(name);
  if (global == nullptr) {
    std::cerr << "!! basic_model_studyRangeStudy::GetGVValue: Global Variable " << (name ? name : "")
              << " does not exist." << std::endl;
  }
  return global;
}

void basic_model_studyRangeStudy::OverrideGVValue(char* name, void* value) {
  float* global = FindGlobal(name);
  if (global == nullptr) {
    std::cerr << "!! basic_model_studyRangeStudy::OverrideGVValue: Global Variable " << (name ? name : "")
              << " does not exist." << std::endl;
    return;
  }
  if (value == nullptr) return;
  std::memcpy(global, value, sizeof(float));
}

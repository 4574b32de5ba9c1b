// -D: the simulator describes the model it simulates (io/ModelDescription.h)
// instead of simulating it: what the model compiler recorded of the model
// file, the study's global variables and each experiment's values of them,
// and the reward model's variables.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "io/ModelDescription.h"
#include "rewards/PVModel.h"
#include "rewards/PerformanceVariableNode.h"
#include "simulator/SimulatorClass.h"
#include "study/BaseStudyClass.h"

namespace {

// The study's accessors take a modifiable name.
std::vector<char> NameBuffer(const char* name) {
  if (name == nullptr) name = "";
  std::vector<char> buffer(name, name + std::strlen(name));
  buffer.push_back('\0');
  return buffer;
}

std::string TypeOf(BaseStudyClass& study, int g) {
  const char* type = study.GetGVType(g);
  return type != nullptr ? type : "float";  // the study's default type
}

// The current value of global variable g, kept in the kind of its type.
description::Value ReadGlobal(BaseStudyClass& study, int g) {
  using description::Value;
  const double number = study.GetGVNumber(g);
  const std::string type = TypeOf(study, g);
  if (type == "double" || std::isnan(number)) return Value::OfDouble(number);
  if (type == "float") return Value::OfFloat(static_cast<float>(number));
  return Value::OfInteger(static_cast<int64_t>(number));
}

size_t SizeOf(const std::string& type) {
  if (type == "double") return sizeof(double);
  if (type == "int") return sizeof(int);
  if (type == "short") return sizeof(short);
  if (type == "long") return sizeof(long);
  if (type == "char") return sizeof(char);
  if (type == "bool") return sizeof(bool);
  return sizeof(float);
}

// A global variable's bytes, to be put back as they were.
struct SavedGlobal {
  std::vector<char> name;
  bool present = false;  // the study knows the variable
  alignas(8) unsigned char bytes[8] = {};
};

description::Description Describe(BaseStudyClass& study, const PVModel& model) {
  description::Description d;
  d.model = ModelName();
  d.identity = d.model + "-" + ModelFileHash();
  d.study = study.Name;
  const int numGlobals = study.GetNumGVs();
  for (int g = 0; g < numGlobals; ++g) d.globals.push_back({NameBuffer(study.GetGVName(g)).data(), TypeOf(study, g)});
  // Setting each experiment in turn changes the global variables, which the
  // model reads at every evaluation; they are put back as the start-up set
  // them (experiment and -O). The simulator ends right after describing, so
  // this only keeps the object as it was built.
  std::vector<SavedGlobal> saved(static_cast<size_t>(numGlobals));
  for (int g = 0; g < numGlobals; ++g) {
    SavedGlobal& global = saved[static_cast<size_t>(g)];
    global.name = NameBuffer(study.GetGVName(g));
    const void* p = study.GetGVValue(global.name.data());
    global.present = p != nullptr;
    if (global.present) std::memcpy(global.bytes, p, SizeOf(TypeOf(study, g)));
  }
  for (int e = 0; e < study.GetNumExps(); ++e) {
    study.SetGVs(e);
    description::Experiment experiment{BaseStudyClass::GetExpName(e), {}};
    for (int g = 0; g < numGlobals; ++g) experiment.values.push_back(ReadGlobal(study, g));
    d.experiments.push_back(std::move(experiment));
  }
  for (SavedGlobal& global : saved)
    if (global.present) study.OverrideGVValue(global.name.data(), global.bytes);
  for (const PerformanceVariableNode* node : model.Nodes)
    if (node != nullptr) d.variables.push_back({node->Name, node->StartTime});
  return d;
}

}  // namespace

int SimulatorClass::WriteDescription() {
  std::string error;
  if (!description::WriteDescriptionFile(descriptionFilename, Describe(*study, *pvModel), error)) {
    std::cerr << "ERROR: cannot write the model description to '" << descriptionFilename << "': " << error
              << std::endl;
    return 1;
  }
  std::cout << "Model description written to " << descriptionFilename << std::endl;
  return 0;
}

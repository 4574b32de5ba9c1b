// Base of every study: the names and types of the model's global variables,
// the number of experiments, and the reward model last created. A derived
// study owns the value table of its experiments and the reward model; the
// base owns only the name and type texts. Invariant: GVNames and GVTypes
// hold NumGVs entries each.
#pragma once

#include <string>
#include <vector>

class PVModel;

class BaseStudyClass {
 public:
  BaseStudyClass() = default;
  virtual ~BaseStudyClass() = default;
  BaseStudyClass(const BaseStudyClass&) = delete;
  BaseStudyClass& operator=(const BaseStudyClass&) = delete;

  // The reward model last created (the base creates none).
  virtual PVModel* GetPVModel(bool allTimePoints);
  // Gives the global variables the values of experiment `index`.
  virtual void SetGVs(int index);
  virtual void PrintGlobalValues(int index);
  // Address of the named global variable, or null when there is none.
  virtual void* GetGVValue(char* name);
  // Copies a value of the variable's own type from `value` into it.
  virtual void OverrideGVValue(char* name, void* value);

  // Applies an override string of type:name:value triples.
  void overrideGVs(char* overrides);

  int GetNumGVs() const { return NumGVs; }
  // Name and type text of global variable i; null outside 0 … NumGVs - 1.
  const char* GetGVName(int i) const;
  const char* GetGVType(int i) const;
  // The current value of global variable i as a number, read through its
  // address as its type says (a type the study does not name is a float);
  // NaN when the variable has no address.
  double GetGVNumber(int i);
  int GetNumExps() const { return NumExps; }
  // True when `index` names one of the study's experiments.
  bool IsValidExperiment(int index) const { return index >= 0 && index < NumExps; }
  // "Experiment <i + 1>", in one buffer that every call overwrites.
  static const char* GetExpName(int i);

  // The study's name in its model file.
  std::string Name;

  // --- Global-variable table: NumGVs names and type texts, in order ---------
  int NumGVs = 0;
  std::vector<std::string> GVNames;
  std::vector<std::string> GVTypes;

  // --- Experiments and reward model ------------------------------------------
  int NumExps = 0;
  PVModel* ThePVModel = nullptr;  // owned by the derived study

 private:
  // Index of the named global variable, or -1.
  int FindGV(const char* name) const;
  // Handles one type:name:value triple.
  void OverrideOne(char letter, const std::string& name, const std::string& text);
};

// The process's one study: created on the first call, destroyed by
// DestructStudy().
BaseStudyClass* GenerateStudy();
void DestructStudy();

// What the study was compiled from, defined beside GenerateStudy() by the
// model compiler: the name of the model (join or SAN) its reward model
// measures, and 16 lowercase hex digits of the 64-bit FNV-1a hash of the
// model file's bytes. A simulator describes itself with them (-D).
const char* ModelName();
const char* ModelFileHash();

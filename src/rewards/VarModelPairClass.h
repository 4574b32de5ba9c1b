// One (state-variable name, submodel name) pair that a rate reward reads.
// Owns copies of both names; both are empty until SetPair.
#pragma once

#include <string>

class VarModelPairClass {
 public:
  VarModelPairClass() = default;

  // Stores copies of both names.
  void SetPair(const char* variableName, const char* modelName);

  // --- The pair: model first, then variable --------------------------------
  std::string ModelName;
  std::string VariableName;
};

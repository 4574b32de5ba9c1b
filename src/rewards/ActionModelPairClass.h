// One (action name, submodel name) pair: the action on whose firing an
// impulse reward is earned. Owns copies of both names; empty until SetPair.
#pragma once

#include <string>

class ActionModelPairClass {
 public:
  ActionModelPairClass() = default;

  // Replaces both names with copies of the given ones.
  void SetPair(const char* actionName, const char* modelName);

  // --- The pair: model first, then action ----------------------------------
  std::string ModelName;
  std::string ActionName;
};

#include "rewards/VarModelPairClass.h"

void VarModelPairClass::SetPair(const char* variableName, const char* modelName) {
  ModelName = modelName ? modelName : "";
  VariableName = variableName ? variableName : "";
}

#include "rewards/ActionModelPairClass.h"

void ActionModelPairClass::SetPair(const char* actionName, const char* modelName) {
  ModelName = modelName ? modelName : "";
  ActionName = actionName ? actionName : "";
}

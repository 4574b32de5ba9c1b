#include "rewards/ModelGroupClass.h"

#include <algorithm>

void ModelGroupClass::CreateModelList(int n) {
  Models.assign(static_cast<size_t>(n < 0 ? 0 : n), nullptr);
  NumModels = static_cast<int32_t>(Models.size());
}

void ModelGroupClass::SetModel(int i, BaseModelClass* model) {
  if (i < 0 || i >= NumModels) return;
  Models[static_cast<size_t>(i)] = model;
}

bool ModelGroupClass::IsDependentOnModel(const BaseModelClass* model) const {
  return std::find(Models.begin(), Models.end(), model) != Models.end();
}

// The combination of submodel instances one reward worker is bound to: one
// instance per model dependency of its variable, in dependency order. Does
// not own the models. Invariant: NumModels == Models.size().
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class BaseModelClass;

class ModelGroupClass {
 public:
  ModelGroupClass() = default;

  // Makes room for n instances, all null.
  void CreateModelList(int n);
  // Stores the instance of dependency i; an index outside the list is ignored.
  void SetModel(int i, BaseModelClass* model);
  BaseModelClass* GetModel(int i) const { return Models[static_cast<size_t>(i)]; }
  // True if model is one of the group's instances.
  bool IsDependentOnModel(const BaseModelClass* model) const;

  // --- The instances, one per dependency -----------------------------------
  std::vector<BaseModelClass*> Models;
  int32_t NumModels = 0;
};

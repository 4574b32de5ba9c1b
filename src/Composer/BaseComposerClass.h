// What every composed model needs: its children, the composed action and
// group lists, and the shared variables that stand for chosen variables of
// several children. It owns its arrays, the copies of the shared names, the
// link chains and the merged-variable lists; the children and the shared
// variables themselves belong to the generated subclass. Invariant:
// AddedSharedPtrs <= NumSharedStateVariables, and shared variable i was
// stored under SharedStateNames[i].
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "BaseClasses/BaseModelClass.h"
#include "BaseClasses/PreselectGroup.h"

class SharedStateVarLink;

class BaseComposerClass : public BaseModelClass {
 public:
  BaseComposerClass(const char* name, int numChildren, int numShared, const char* const* sharedNames);
  ~BaseComposerClass() override;

  void listModels(const char* name, List<BaseModelClass>* list) override;
  void listActions(List<BaseActionClass>* list) override;
  void listGroups(List<BaseGroupClass>* list) override;
  bool CompareState(void* a, void* b) override;
  void listActions(const char* name, List<BaseActionClass>* list) override;
  void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svList,
               List<BaseModelClass>* modelList) override;
  using BaseModelClass::printState;
  void printState(std::ostream* out) override;
  BaseStateVariableClass** GetSharedStateVariables() override;
  BaseStateVariableClass* getMainSharedVariable(BaseStateVariableClass* sv) override;
  SharedStateVarLink* getListOfSharedVariables(BaseStateVariableClass* sv) override;

  // Builds the composed action and group lists from the children, in child
  // order, and numbers every group by its position.
  void SetupActions();
  // Stores `sv` as the next shared variable; names must come in order.
  void addSharedPtr(BaseStateVariableClass* sv, const char* varName);
  // Records that `childSV` of `model` was merged into `sharedSV`.
  void addSharingInfo(BaseStateVariableClass* childSV, BaseStateVariableClass* sharedSV,
                      BaseModelClass* model);
  // Counts the composed model's state variables and caches its state size.
  void GeneralSetup();
  // Bytes of the shared variables that hold their own value.
  int SharedStateSize();
  // True when no child has a state variable.
  bool AllChildrenEmpty();
  void printAllSharedVariables();
  // Hash of a name for the action-name table: h = h * 32 + c, modulo size.
  static int Hash(const char* text, int size);

  // --- Children (the objects belong to the subclass) ------------------------
  std::vector<BaseModelClass*> Children;  // NumChildren entries, filled by the subclass
  int32_t NumChildren;

  // --- Shared variables, one entry each, NumSharedStateVariables long ------
  std::vector<BaseStateVariableClass*> SharedStateVariables;  // not owned
  std::vector<SharedStateVarLink*> SharedLinks;                // owned chain heads, initially null
  std::vector<std::vector<BaseStateVariableClass*>> MergedVariables;  // child variables merged in
  std::vector<std::string> SharedStateNames;                   // copies of the names given
  int32_t AddedSharedPtrs = 0;                                 // shared variables stored so far

  // --- Values fixed by setup -------------------------------------------------
  int32_t CachedStateSize = 0;       // StateSize() at setup
  int32_t NumDistinctActionNames = 0;  // computed by the join's setup

  PreselectGroup EmbeddedGroup;  // lives and dies with the composer

 protected:
  // Index of `sv` among the shared variables, or -1.
  int FindSharedVariable(const BaseStateVariableClass* sv) const;
};

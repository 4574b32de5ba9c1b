// The interface of every model, atomic or composed: its actions, groups and
// state variables, found by name, and its state saved and restored. Owns its
// name and its action and group arrays (never the objects in them).
// modelId is unique: the first model created is number 1.
#pragma once

#include <cstdint>
#include <forward_list>
#include <iosfwd>
#include <memory>

#include "BaseClasses/List.h"

class BaseActionClass;
class BaseGroupClass;
class BaseStateVariableClass;
class SharedStateVarLink;
class State;

// Output of the global/local action queries: results are added at the front.
using ActionSList = std::forward_list<BaseActionClass*>;

class BaseModelClass {
 public:
  BaseModelClass();
  virtual ~BaseModelClass();
  BaseModelClass(const BaseModelClass&) = delete;
  BaseModelClass& operator=(const BaseModelClass&) = delete;

  // Virtual operations, in slot order.
  virtual int getNumStateVariables() { return numStateVariables; }
  virtual void listModels(const char* name, List<BaseModelClass>* list) = 0;
  virtual void CurrentState(void* buffer) = 0;
  virtual void listActions(List<BaseActionClass>* list) = 0;
  virtual void listGroups(List<BaseGroupClass>* list) = 0;
  virtual void SetState(void* buffer) = 0;
  virtual int StateSize() = 0;
  virtual bool CompareState(void* a, void* b) = 0;
  virtual void listActions(const char* name, List<BaseActionClass>* list) = 0;
  virtual void listSVs(const char* modelName, const char* svName,
                       List<BaseStateVariableClass>* svList, List<BaseModelClass>* modelList) = 0;
  virtual void printState(std::ostream* out);
  virtual void printState();
  virtual BaseStateVariableClass** GetLocalStateVariables(std::ostream* unused);
  virtual BaseStateVariableClass** GetSharedStateVariables();
  virtual BaseStateVariableClass* getMainSharedVariable(BaseStateVariableClass* v);
  virtual SharedStateVarLink* getListOfSharedVariables(BaseStateVariableClass* v);
  virtual void AddAffectArc(BaseStateVariableClass* v, BaseActionClass* a);
  virtual void AddEnableArc(BaseStateVariableClass* v, BaseActionClass* a);
  // Every concrete model overrides the following; the base versions are
  // fatal assertions.
  virtual int GetModelType();
  virtual int GetNumberOfChildren();
  virtual BaseModelClass* GetChild(int i);
  virtual void GetLocalActions(ActionSList& out);
  virtual void GetGlobalActions(ActionSList& out);
  virtual bool HasLocalState();
  virtual void GetLocalState(State* s);
  virtual void SetLocalState(const State* s);
  virtual void ConstructLocalState(State*& s);
  virtual void DestructLocalState(State* s);

  void DefineName(const char* newName);
  void SetParentId(int id) { parentId = id; }

  // --- sizes ---
  int32_t numStateVariables = 0;        // for a SAN: places plus read-only places
  int32_t NumSharedStateVariables = 0;  // of a composed model; 0 for a SAN
  int32_t numActions = 0;
  int32_t numGroups = 0;
  // --- contents (arrays owned, objects not) ---
  std::unique_ptr<BaseGroupClass*[]> groups;    // numGroups entries
  char* name = nullptr;                         // owned copy; set with DefineName
  int32_t modelId;                              // unique, from the model counter
  int32_t parentId;                             // enclosing model; modelId until set
  std::unique_ptr<BaseActionClass*[]> actions;  // numActions entries

  static double LastActionTime;  // time of the latest firing seen by the rewards
};

// Base of every generated atomic SAN model: its places, read-only places,
// activities and groups, state size, save and restore, and which actions reach
// into it through shared places. Owns its arrays; the places, activities and
// groups belong to the generated subclass.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "BaseClasses/BaseModelClass.h"
#include "BaseClasses/State.h"

class Activity;
class Place;

class SANModel : public BaseModelClass {
 public:
  // The byte image of the model's unshared places.
  class LocalState : public State {
   public:
    explicit LocalState(SANModel* model);
    ~LocalState() override = default;

    int32_t hash() const override;
    int compare(const State& other) const override;
    void print() const override;
    bool fwriteState(FILE* file) const override;
    bool freadState(FILE* file) override;
    State& operator=(const State& other) override;
    LocalState& operator=(const LocalState& other);
    void SetState(BaseModelClass* model) const override;
    void GetState(BaseModelClass* model) override;
    void* GetStatePtr() override { return data.get(); }
  };

  SANModel() = default;
  SANModel(const char* name, int numPlaces, BaseStateVariableClass** places, int numReadOnly,
           BaseStateVariableClass** readOnlyPlaces, int numActions, Activity** activities,
           int numGroups, BaseGroupClass** groups);
  ~SANModel() override;

  void initializeSANModelNow(const char* name, int numPlaces, BaseStateVariableClass** places,
                             int numReadOnly, BaseStateVariableClass** readOnly, int numActions,
                             Activity** activities, int numGroups, BaseGroupClass** groups);
  // Overwrite the entries of the arrays made by initializeSANModelNow.
  void SetPlaces(BaseStateVariableClass** newPlaces);
  void SetReadOnlyPlaces(BaseStateVariableClass** newReadOnly);
  void SetActions(Activity** activities);
  void SetGroups(BaseGroupClass** newGroups);

  void listModels(const char* name, List<BaseModelClass>* list) override;
  void CurrentState(void* buffer) override;
  void listActions(List<BaseActionClass>* list) override;
  void listGroups(List<BaseGroupClass>* list) override;
  void SetState(void* buffer) override;
  int StateSize() override;
  bool CompareState(void* a, void* b) override;
  void listActions(const char* name, List<BaseActionClass>* list) override;
  void listSVs(const char* modelName, const char* svName, List<BaseStateVariableClass>* svList,
               List<BaseModelClass>* modelList) override;
  using BaseModelClass::printState;
  void printState(std::ostream* out) override;
  BaseStateVariableClass** GetLocalStateVariables(std::ostream* unused) override;
  int GetModelType() override { return 1; }
  int GetNumberOfChildren() override { return 0; }
  BaseModelClass* GetChild(int i) override;
  void GetLocalActions(ActionSList& out) override;
  void GetGlobalActions(ActionSList& out) override;
  bool HasLocalState() override;
  void GetLocalState(State* s) override;
  void SetLocalState(const State* s) override;
  void ConstructLocalState(State*& s) override;
  void DestructLocalState(State* s) override;

  void PrintSANModelInfo();

  // --- state variables (arrays owned, variables not) ---
  std::unique_ptr<BaseStateVariableClass*[]> places;  // numStateVariables - numReadOnlyPlaces
  std::unique_ptr<BaseStateVariableClass*[]> readOnlyPlaces;  // numReadOnlyPlaces entries
  int32_t numReadOnlyPlaces = 0;

  int32_t numPlaces() const { return numStateVariables - numReadOnlyPlaces; }
};

// True when the model's array holds exactly the given pointers in order.
bool checkLocalSVs(SANModel* model, Place** expected);
bool checkReadOnlyPlaces(SANModel* model, BaseStateVariableClass** expected);
bool checkLocalActions(SANModel* model, Activity** expected);

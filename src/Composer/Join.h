// The join composer: places its children side by side and shares the
// variables the generated join names. Its saved state is the children's
// states in child order followed by the values of the shared variables that
// hold their own value. It also counts, per action name, how many composed
// actions bear it. Invariants after Setup(): ChildStateSizes has one entry
// per child; the name table has TableSize = 4 × distinct names slots.
#pragma once

#include <cstdint>
#include <vector>

#include "BaseClasses/State.h"
#include "Composer/BaseComposerClass.h"

class Join : public BaseComposerClass {
 public:
  // The join's own part of a saved state: the shared variables' values.
  class LocalState : public State {
   public:
    explicit LocalState(int32_t bytes);
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

  Join(const char* name, int numChildren, int numShared, const char* const* sharedNames);
  ~Join() override = default;

  // Counts the state variables, records the children's state sizes and
  // builds the action-name table.
  void Setup();

  int StateSize() override;
  void CurrentState(void* buffer) override;
  void SetState(void* buffer) override;
  int GetModelType() override { return 2; }
  int GetNumberOfChildren() override { return NumChildren; }
  BaseModelClass* GetChild(int i) override;
  void GetLocalActions(ActionSList& out) override;
  void GetGlobalActions(ActionSList& out) override;
  bool HasLocalState() override;
  void GetLocalState(State* s) override;
  void SetLocalState(const State* s) override;
  void ConstructLocalState(State*& s) override;
  void DestructLocalState(State* s) override;

  // Writes (reads) the values of the stored shared variables, in order, into
  // (from) at most `capacity` bytes; returns the bytes used.
  int WriteSharedValues(char* to, int capacity);
  int ReadSharedValues(const char* from, int capacity);

  // Number of composed actions named `actionName` (0 if none).
  int32_t CountActionsNamed(const char* actionName) const;

  // --- Action-name table: TableSize slots, names not owned ------------------
  int32_t TableSize = 0;
  std::vector<const char*> ActionNameSlots;
  std::vector<int32_t> ActionNameCounts;

  // --- Child state sizes recorded by Setup(), one per child -----------------
  std::vector<int32_t> ChildStateSizes;

 private:
  int CountDistinctActionNames() const;
  void HashActions();
  // Slot that holds `actionName` or the empty slot where it belongs; -1 only
  // for an empty table.
  int FindNameSlot(const char* actionName) const;
};

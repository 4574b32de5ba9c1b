// One link of the chain that records, for a shared variable of a composed
// model, which child variables (and in which child model) it stands for.
// A chain owns its links; the variables and models are not owned.
#pragma once

class BaseModelClass;
class BaseStateVariableClass;

class SharedStateVarLink {
 public:
  SharedStateVarLink(BaseStateVariableClass* stateVar, BaseModelClass* model);
  SharedStateVarLink(const SharedStateVarLink&) = delete;
  SharedStateVarLink& operator=(const SharedStateVarLink&) = delete;

  // True if any link of the chain from this one holds `sv`.
  bool hasStateVar(const BaseStateVariableClass* sv) const;
  // Appends `link` (and whatever follows it) at the end of the chain.
  void addStateVarLink(SharedStateVarLink* link);
  // Deletes every link of the chain that starts at `head` (null allowed).
  static void clearStateVarList(SharedStateVarLink* head);
  // One line per link of the chain from this one, on standard output.
  void printAllStateVariables() const;

  BaseStateVariableClass* StateVar;  // the child variable this link records
  BaseModelClass* Model;             // the child model holding it; may be null
  SharedStateVarLink* Next = nullptr;
};

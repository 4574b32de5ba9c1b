// BaseStateVariableClass: one named piece of model state and its two
// relations with actions (the actions that change it and the actions that
// read it). The action lists are owned by the variable whose `stored` flag is
// true; every other member of its sharing group points at the same lists.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "BaseClasses/List.h"

class BaseActionClass;

class BaseStateVariableClass {
 public:
  BaseStateVariableClass();
  BaseStateVariableClass(const char* name, const char* prefix);
  BaseStateVariableClass(const BaseStateVariableClass&) = delete;
  BaseStateVariableClass& operator=(const BaseStateVariableClass&) = delete;
  virtual ~BaseStateVariableClass();

  // Saved state of the value.
  virtual int StateSize() = 0;
  virtual void SetState(void* from) = 0;
  virtual void CurrentState(void* to) = 0;
  virtual void printState(std::ostream* out);
  virtual void printState();
  virtual void printStateVal(std::ostream* out);

  // Merges this variable's sharing group with other's.
  virtual void share(BaseStateVariableClass* other) = 0;

  virtual void appendAffectingAction(BaseActionClass* a);
  virtual void removeAffectingAction(BaseActionClass* a);
  virtual void replaceAffectingAction(BaseActionClass* oldAction, BaseActionClass* newAction);
  virtual void addSelfAsEnablingSVToAction(BaseActionClass* a);
  virtual void addSelfAsAffectedSVToAction(BaseActionClass* a);
  virtual void removeSelfFromEnablingSVOfAction(BaseActionClass* a);
  virtual void removeSelfFromAffectedSVOfAction(BaseActionClass* a);
  // A new list, owned by the caller.
  virtual List<BaseStateVariableClass>* getLeafNodes();
  virtual int getNumLeafNodes();
  virtual bool isLeafNode();
  virtual void appendEnabledAction(BaseActionClass* a);
  virtual void removeEnabledAction(BaseActionClass* a);
  virtual void replaceEnabledAction(BaseActionClass* oldAction, BaseActionClass* newAction);

  // A null name or prefix is stored as the empty text.
  void SetName(const char* newName);
  void SetPrefix(const char* newPrefix);

  bool getShared() const { return shared; }
  void setShared(bool value) { shared = value; }
  bool getStored() const { return stored; }
  void setStored(bool value) { stored = value; }
  bool getFunctionallyShared() const { return functionallyShared; }
  void setFunctionallyShared(bool value) { functionallyShared = value; }
  int getSharingCount() const { return sharingCount; }

  List<BaseActionClass>* getAffectingActions() const { return SVAffectingActions; }
  List<BaseActionClass>* getEnabledActions() const { return SVEnabledActions; }
  // Replace the list pointers; nothing is released.
  void setAffectingActions(List<BaseActionClass>* list) { SVAffectingActions = list; }
  void setEnabledActions(List<BaseActionClass>* list) { SVEnabledActions = list; }
  void copyAffectingActions(List<BaseActionClass>* list);
  void copyEnabledActions(List<BaseActionClass>* list);
  int getNumAffectingActions() const;
  int getNumEnabledActions() const;
  // Null (after a report on the error stream) for an index at or beyond the
  // count.
  BaseActionClass* getAffectingAction(int i) const;
  BaseActionClass* getEnabledAction(int i) const;
  void printAffectingActions() const;
  void printEnabledActions() const;

  // Identity.
  char* name;    // owned copy; "default" unless named
  char* prefix;  // owned copy; qualifies the name, empty unless set

  // Sharing state.
  bool shared;              // took part in a sharing
  bool stored;              // holds the cell and action lists of its group
  bool functionallyShared;  // recorded only
  int32_t sharingCount;     // pointer records of the group (on the holder)

  // Action relations; owned while stored, else the group holder's lists.
  List<BaseActionClass>* SVAffectingActions;
  List<BaseActionClass>* SVEnabledActions;

 protected:
  // Merges the action lists of a variable joining this one's group: its
  // actions are added to this variable's lists, its own lists are released
  // when it held them, and it is left pointing at this variable's lists.
  void adoptActionLists(BaseStateVariableClass* joining);

  // Every action listed in this variable's lists refers to `to` instead of
  // `from` (at most once, as List::replaceItem keeps the set property).
  void redirectActionsFrom(BaseStateVariableClass* from, BaseStateVariableClass* to);

 private:
  static char* copyText(const char* text);
};

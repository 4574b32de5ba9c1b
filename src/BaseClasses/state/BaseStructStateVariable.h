// BaseStructStateVariable: an array or record state variable whose elements
// are state variables; it delegates the state-variable interface to them (its
// saved state is their concatenation, actions link to its leaves, sharing
// goes element by element). Owns the field table, not the elements, which
// belong to the generated subclass that creates them in `field`.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "BaseClasses/state/ArrayType.h"
#include "BaseClasses/state/BaseStateVariableClass.h"

class BaseStructStateVariable : public BaseStateVariableClass {
 public:
  // One element and its kind.
  struct fieldType {
    BaseStateVariableClass* sv;
    ArrayType type;
  };

  BaseStructStateVariable();
  BaseStructStateVariable(const char* svName, const char* svPrefix);
  // Entries built by the base `field`: null elements with their codes.
  BaseStructStateVariable(const char* svName, const char* svPrefix, const ArrayType* types, int n);
  ~BaseStructStateVariable() override;

  // Adds one field per code through the most derived `field`.
  void makeArrays(const ArrayType* types, int n);

  int getSize() const { return static_cast<int>(fields.size()); }
  ArrayType getType(int i) const { return fields[i].type; }

  int StateSize() override;
  int calculateStateSize();
  void SetState(void* from) override;
  void CurrentState(void* to) override;
  using BaseStateVariableClass::printState;
  void printState(std::ostream* out) override;

  void share(BaseStateVariableClass* other) override;
  void appendAffectingAction(BaseActionClass* a) override;
  void addSelfAsEnablingSVToAction(BaseActionClass* a) override;
  void addSelfAsAffectedSVToAction(BaseActionClass* a) override;
  void removeSelfFromEnablingSVOfAction(BaseActionClass* a) override;
  void removeSelfFromAffectedSVOfAction(BaseActionClass* a) override;
  List<BaseStateVariableClass>* getLeafNodes() override;
  int getNumLeafNodes() override;
  bool isLeafNode() override;
  void appendEnabledAction(BaseActionClass* a) override;

  // Shares element i with other's element i for every field, then merges
  // other's group of structures into this one's: they all take the action
  // lists of this structure's group.
  virtual void ShareWith(BaseStructStateVariable* other);
  // Builds one field; generated subclasses create the element here.
  virtual fieldType field(ArrayType t, BaseStateVariableClass* v) const;

  // StateSize() once computed; -1 while not yet computed.
  int32_t cachedStateSize;
  // The elements in declaration order.
  std::vector<fieldType> fields;

 private:
  static int fieldSize(const fieldType& f);
  BaseStructStateVariable* groupHolder() { return stored ? this : holder; }

  // Sharing group: the structure holding the group's action lists (this one
  // until merged), and on that holder every structure merged into it, so
  // that all of them follow when the group merges again.
  BaseStructStateVariable* holder;
  std::vector<BaseStructStateVariable*> groupMembers;
};

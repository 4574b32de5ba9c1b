// SharableSV<T>: a state variable of value type T that can be merged with
// others into a sharing group reading and writing one storage cell. The
// group's holder (stored == true, its own mainSV) owns the cell, the action
// lists and the pointer records of every T* field that must follow the cell;
// every other member has mainSV == the holder and an empty record list.
#pragma once

#include <cstring>
#include <iostream>
#include <new>

#include "BaseClasses/ErrorHandling.h"
#include "BaseClasses/state/BaseStateVariableClass.h"

template <class T>
class SharableSV;

// One T* field that follows its group's storage cell: the field's address,
// the variable that owns the field (null for fields of other objects, such
// as a place's Mark or an activity's link to a place), and the next record.
template <class T>
class PointerRecord {
 public:
  PointerRecord(T** slotAddress, SharableSV<T>* ownerSV, PointerRecord* nextRecord)
      : slot(slotAddress), owner(ownerSV), next(nextRecord) {}

  T** getSlot() const { return slot; }
  SharableSV<T>* getOwner() const { return owner; }
  PointerRecord* getNext() const { return next; }

  T** slot;
  SharableSV<T>* owner;
  PointerRecord* next;
};

template <class T>
class SharableSV : public BaseStateVariableClass {
 public:
  SharableSV() : BaseStateVariableClass() { initialiseCell(); }
  explicit SharableSV(const char* svName) : BaseStateVariableClass(svName, "") { initialiseCell(); }

  ~SharableSV() override {
    if (stored) delete valuePtr;
    releaseRecords();
  }

  int StateSize() override { return static_cast<int>(sizeof(T)); }
  // Saved states pack values without padding, so the buffer side may be
  // unaligned.
  void SetState(void* from) override { std::memcpy(valuePtr, from, sizeof(T)); }
  void CurrentState(void* to) override { std::memcpy(to, valuePtr, sizeof(T)); }

  using BaseStateVariableClass::printState;
  void printState(std::ostream* out) override {
    *out << name << " = " << +*valuePtr << std::endl;
  }
  void printStateVal(std::ostream* out) override { *out << +*valuePtr; }

  // Lets another object keep its own pointer to the value: the field is set
  // to the group's cell and follows every later merge. The record goes to
  // the group's holder, which is the one that redirects on merges.
  void registerPointer(T** field) {
    SharableSV* holder = groupHolder();
    *field = holder->valuePtr;
    holder->pointerList = new PointerRecord<T>(field, nullptr, holder->pointerList);
    holder->sharingCount++;
  }

  // Only the holder records actions; every owner in its group shares one
  // list, so the action ends up in it once.
  void appendAffectingAction(BaseActionClass* a) override {
    if (mainSV != this || pointerList == nullptr) return;
    for (PointerRecord<T>* r = pointerList; r != nullptr; r = r->next)
      if (r->owner != nullptr) r->owner->SVAffectingActions->append(a);
  }

  void share(BaseStateVariableClass* other) override {
    SharableSV* otherSV = dynamic_cast<SharableSV*>(other);
    SAN_ASSERT(otherSV, "otherSV", "state/SharableSV");
    ShareWith(otherSV);
  }

  // Merges other's sharing group with this one's. The surviving value is
  // other's when both were unshared, else the surviving holder's. Afterwards
  // every action that listed other lists this variable's holder instead.
  void ShareWith(SharableSV* other) {
    SharableSV* holderA = groupHolder();
    SharableSV* holderB = other->groupHolder();
    shared = true;
    other->shared = true;
    if (holderA != holderB) {
      if (stored && other->stored) {
        holderB->joinGroupOf(this, true);
      } else if (!stored && other->stored) {
        other->joinGroupOf(holderA, false);
      } else if (stored && !other->stored) {
        joinGroupOf(holderB, false);
      } else if (sharingCount > holderB->sharingCount) {
        // The larger count decides which value survives, as it always has;
        // the records go to A's real holder so its later merges reach them.
        holderB->joinGroupOf(holderA, false);
      } else {
        holderA->joinGroupOf(holderB, false);
      }
    }
    other->redirectActionsFrom(other, mainSV);
  }

  PointerRecord<T>* getHead() const { return pointerList; }
  BaseStateVariableClass* getMainSV() const { return mainSV; }
  T* getValuePtr() const { return valuePtr; }

  // Storage: the group's cell (owned while stored).
  T* valuePtr;
  // Records of every T* field following the cell; owned, empty unless
  // holder.
  PointerRecord<T>* pointerList;
  // The group's holder; this variable until it is merged into another.
  BaseStateVariableClass* mainSV;

 private:
  void initialiseCell() {
    mainSV = this;
    pointerList = nullptr;
    valuePtr = new (std::nothrow) T(0);
    if (valuePtr == nullptr) MemoryAllocationError();
    pushOwnedRecord(&valuePtr, this);
  }

  // Records a variable's own cell pointer; only these records carry an
  // owner, whose action lists and mainSV follow every merge.
  void pushOwnedRecord(T** field, SharableSV* owner) {
    SAN_ASSERT(owner, "NextElement->getOwner()", "state/SharableSV");
    pointerList = new PointerRecord<T>(field, owner, pointerList);
    sharingCount++;
  }

  SharableSV* groupHolder() {
    return stored ? this : static_cast<SharableSV*>(mainSV);
  }

  // This variable, the holder of its group, hands the whole group to
  // `holder`: every recorded field is redirected to holder's cell, every
  // member takes holder's lists and refers to holder as its mainSV, and the
  // records move to the front of holder's record list.
  void joinGroupOf(SharableSV* holder, bool keepOwnValue) {
    SAN_ASSERT(pointerList, "TheOtherPointer->getHead()", "state/SharableSV");
    SAN_ASSERT(holder->SVAffectingActions, "SVAffectingActions", "state/SharableSV");
    SAN_ASSERT(holder->SVEnabledActions, "SVEnabledActions", "state/SharableSV");
    if (keepOwnValue) *holder->valuePtr = *valuePtr;
    delete valuePtr;
    holder->adoptActionLists(this);
    PointerRecord<T>* last = nullptr;
    for (PointerRecord<T>* r = pointerList; r != nullptr; r = r->next) {
      *r->slot = holder->valuePtr;
      if (r->owner != nullptr) {
        r->owner->SVAffectingActions = holder->SVAffectingActions;
        r->owner->SVEnabledActions = holder->SVEnabledActions;
        r->owner->mainSV = holder;
      }
      last = r;
    }
    last->next = holder->pointerList;
    holder->pointerList = pointerList;
    holder->sharingCount += sharingCount;
    pointerList = nullptr;
    shared = true;
    stored = false;
  }

  void releaseRecords() {
    while (pointerList != nullptr) {
      PointerRecord<T>* next = pointerList->next;
      delete pointerList;
      pointerList = next;
    }
  }
};

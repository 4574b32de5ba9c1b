// List<T>: an array-backed set of pointers to T (no pointer held twice),
// used for every list of actions, groups, state variables and submodels.
// It owns its slot array, never the objects pointed to. Invariants:
// 0 <= numItems <= arraySize; held pointers occupy slots [0, numItems).
#pragma once

#include <cstdint>
#include <iostream>
#include <new>

#include "BaseClasses/ErrorHandling.h"

template <class T>
class List {
 public:
  // Storage: arraySize slots, the first numItems of which are held; the
  // slots beyond numItems are null after every growth.
  T** items;
  int32_t numItems;
  int32_t arraySize;

  List() : List(10) {}

  explicit List(int n) : items(nullptr), numItems(0), arraySize(0) {
    int32_t capacity = n < 1 ? 1 : n;
    items = allocateSlots(capacity);
    if (items == nullptr) MemoryAllocationError();
    arraySize = capacity;
  }

  // Copies hold the same pointers in their own storage.
  List(const List& other) : List(other.arraySize) {
    for (int32_t i = 0; i < other.numItems; i++) items[i] = other.items[i];
    numItems = other.numItems;
  }

  List& operator=(const List& other) {
    if (this != &other) {
      clearList();
      if (arraySize < other.numItems) resize(other.numItems);
      for (int32_t i = 0; i < other.numItems; i++) items[i] = other.items[i];
      numItems = other.numItems;
    }
    return *this;
  }

  ~List() {
    delete[] items;
    items = nullptr;
  }

  void append(T* item) {
    if (numItems >= arraySize) resize(doubled(arraySize));
    if (!contains(item)) items[numItems++] = item;
  }

  void append(T** array, int n) {
    for (int i = 0; i < n; i++) append(array[i]);
  }

  // One growth for the combined size, then each of other's items in order.
  void append(List* other) {
    int32_t combined = numItems + other->numItems;
    if (arraySize < combined) resize(2 * combined);
    int32_t count = other->numItems;
    for (int32_t i = 0; i < count; i++) {
      T* item = other->items[i];
      if (!contains(item)) items[numItems++] = item;
    }
  }

  // Adds without the usual growth check; the caller keeps numItems below
  // arraySize. A full list still grows rather than overrun its storage.
  void insertItem(T* item) {
    if (contains(item)) return;
    if (numItems >= arraySize) resize(doubled(arraySize));
    items[numItems++] = item;
  }

  // The last item moves into the freed slot.
  void remove(T* item) {
    int32_t index = indexOf(item);
    if (index < 0) return;
    items[index] = items[numItems - 1];
    numItems--;
  }

  // Puts newItem where oldItem was; if newItem is already held, oldItem's
  // slot takes the last item instead, so no pointer is held twice.
  void replaceItem(T* oldItem, T* newItem) {
    int32_t oldIndex = -1;
    bool newHeld = false;
    for (int32_t i = 0; i < numItems && (oldIndex < 0 || !newHeld); i++) {
      if (oldIndex < 0 && items[i] == oldItem) oldIndex = i;
      if (!newHeld && items[i] == newItem) newHeld = true;
    }
    if (oldIndex < 0) return;
    if (!newHeld) {
      items[oldIndex] = newItem;
    } else if (oldItem != newItem) {
      items[oldIndex] = items[numItems - 1];
      numItems--;
    }
  }

  // Removes every item that set holds; the others keep their order.
  void removeSetOfItems(const List& set) {
    int32_t pending = set.numItems;
    if (pending == 0 || numItems == 0) return;
    T** work = new (std::nothrow) T*[pending];
    if (work == nullptr) MemoryAllocationError();
    for (int32_t j = 0; j < pending; j++) work[j] = set.items[j];
    int32_t removed = 0;
    for (int32_t i = 0; i < numItems && removed < pending; i++) {
      for (int32_t j = 0; j < pending; j++) {
        if (work[j] != nullptr && work[j] == items[i]) {
          items[i] = nullptr;
          work[j] = nullptr;
          removed++;
          break;
        }
      }
    }
    delete[] work;
    compactHeldItems();
  }

  bool contains(T* item) const { return indexOf(item) >= 0; }

  T* getItem(int i) const { return items[i]; }
  T* operator[](int i) const { return items[i]; }
  int getNumItems() const { return numItems; }
  T** getList() const { return items; }

  // Forgets the items; storage, capacity and the old slot contents stay.
  void clearList() { numItems = 0; }

  void printList() const {
    if (numItems == 0) std::cout << "No items in the list" << std::endl;
    for (int32_t i = 0; i < numItems; i++)
      std::cout << "[" << i << "] " << static_cast<const void*>(items[i]) << std::endl;
  }

  // Capacity becomes exactly n; it never drops below the held items.
  void increaseArraySize(int n) { resize(n < numItems ? numItems : n); }

 private:
  static T** allocateSlots(int32_t capacity) {
    T** slots = new (std::nothrow) T*[capacity];
    if (slots != nullptr)
      for (int32_t i = 0; i < capacity; i++) slots[i] = nullptr;
    return slots;
  }

  // A capacity of 0 would never grow by doubling.
  static int32_t doubled(int32_t capacity) { return capacity < 1 ? 1 : 2 * capacity; }

  void resize(int32_t capacity) {
    if (capacity < 1) capacity = 1;
    T** slots = allocateSlots(capacity);
    if (slots == nullptr) {
      std::cerr << "!! Crtical error in " << "List<C>::append(List*)"
                << " do to insufficient memory...exiting" << std::endl;
      MemoryAllocationError();
    }
    for (int32_t i = 0; i < numItems; i++) slots[i] = items[i];
    delete[] items;
    items = slots;
    arraySize = capacity;
  }

  int32_t indexOf(T* item) const {
    for (int32_t i = 0; i < numItems; i++)
      if (items[i] == item) return i;
    return -1;
  }

  void compactHeldItems() {
    int32_t kept = 0;
    for (int32_t i = 0; i < numItems; i++)
      if (items[i] != nullptr) items[kept++] = items[i];
    for (int32_t i = kept; i < numItems; i++) items[i] = nullptr;
    numItems = kept;
  }
};

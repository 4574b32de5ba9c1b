// Indexed binary min-heap of keys, one per small non-negative element id; the
// id-to-position map lets a caller change an element's key in place.
// Invariants: keys[0 .. size-1] form a min-heap; positions[ids[p]] == p for
// every p < size.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "BaseClasses/ErrorHandling.h"

template <class T>
class Heap {
 public:
  explicit Heap(int capacity)
      : capacity(capacity < 1 ? 1 : capacity),
        keys(new T[this->capacity]()),
        positions(new int32_t[this->capacity]()),
        ids(new int32_t[this->capacity]()),
        positionsCapacity(this->capacity) {}
  ~Heap() {
    delete[] keys;
    delete[] positions;
    delete[] ids;
  }
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;

  void Insert(const T& key, int id) {
    if (size == capacity) GrowSlots();
    if (id >= positionsCapacity) GrowPositions(id);
    keys[size] = key;
    positions[id] = size;
    ids[size] = id;
    ++size;
    BubbleUp(size - 1);
  }

  // The minimum is at position 0; only valid on a non-empty heap.
  const T& MinKey() const {
    SAN_ASSERT(size > 0, "size > 0", "Heap");
    return keys[0];
  }
  int MinId() const {
    SAN_ASSERT(size > 0, "size > 0", "Heap");
    return ids[0];
  }

  // Gives element `id` a new key and restores the order (up, else down).
  void ChangeKey(int id, const T& key) {
    int position = positions[id];
    keys[position] = key;
    if (BubbleUp(position) == position) BubbleDown(position);
  }
  const T& KeyOf(int id) const { return keys[positions[id]]; }

  int BubbleUp(int position) {
    while (position > 0) {
      int parent = (position - 1) / 2;
      if (!(keys[parent] > keys[position])) break;
      SwapPositions(parent, position);
      position = parent;
    }
    return position;
  }

  int BubbleDown(int position) {
    for (;;) {
      int child = 2 * position + 1;
      if (child >= size) break;
      if (child + 1 < size && keys[child] > keys[child + 1]) ++child;
      if (!(keys[child] < keys[position])) break;
      SwapPositions(child, position);
      position = child;
    }
    return position;
  }

  // --- Storage (the arrays grow by doubling, never shrink) ---
  int32_t capacity;           // slots in keys and ids
  T* keys;                    // key at each heap position
  int32_t* positions;         // heap position of each element id
  int32_t* ids;               // element id at each heap position
  int32_t positionsCapacity;  // entries in positions
  int32_t size = 0;           // elements in the heap

 private:
  void SwapPositions(int a, int b) {
    std::swap(keys[a], keys[b]);
    std::swap(ids[a], ids[b]);
    positions[ids[a]] = a;
    positions[ids[b]] = b;
  }

  void GrowSlots() {
    int32_t grown = capacity * 2;
    T* newKeys = new T[grown]();
    int32_t* newIds = new int32_t[grown]();
    for (int32_t i = 0; i < capacity; ++i) {
      newKeys[i] = keys[i];
      newIds[i] = ids[i];
    }
    delete[] keys;
    delete[] ids;
    keys = newKeys;
    ids = newIds;
    capacity = grown;
  }

  void GrowPositions(int id) {
    int32_t grown = positionsCapacity;
    while (grown <= id) grown *= 2;
    int32_t* newPositions = new int32_t[grown]();
    std::memcpy(newPositions, positions, sizeof(int32_t) * positionsCapacity);
    delete[] positions;
    positions = newPositions;
    positionsCapacity = grown;
  }
};

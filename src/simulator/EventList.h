// The future event list: a binary min-heap of scheduled group completions,
// ordered by time and then by higher Rank(), with ties in time and rank
// broken at random by Weight(). It owns all `capacity` event records, made
// once; every record is either in the heap or in the free pool, never both.
// A handle is the address of a heap slot; the group of every event in the
// heap keeps the handle of its slot in its GroupRecord.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

class Event;

class EventList {
 public:
  explicit EventList(int capacity);
  ~EventList();
  EventList(const EventList&) = delete;
  EventList& operator=(const EventList&) = delete;

  void ClearEventList();
  void Insert(Event* prototype);
  void Remove(Event** handle);
  void Remove(void* handle);
  void ModifyKey(Event** handle);
  Event** Earliest();
  void FindEquals(int position);
  int BubbleUp(int position);
  int BubbleDown(int position);
  int IsValid();
  void PrintList(std::ostream& out);

  int32_t Size() const { return size; }
  int32_t PoolSize() const { return static_cast<int32_t>(pool.size()); }
  int PositionOf(Event** handle) const { return static_cast<int>(handle - heap); }

  // --- Records ---
  std::vector<Event*> pool;  // records not in the heap; the back is the front
  int32_t capacity;          // records and heap slots, fixed
  Event** heap;              // slots 0 .. size-1 hold the heap, the rest null
  int32_t size = 0;
  // --- Tie resolution scratch, used only inside Earliest ---
  int32_t* ties;             // heap positions tied with the root, pre-order
  int32_t tieCount = 0;      // 0 between calls
  double* tieWeights;        // Weight() of each tie, in ties order

 private:
  void PlaceAt(int position, Event* event);
  // Strict precedence: earlier time, or same time and higher rank of `first`.
  // Asks `first`'s Rank() before `second`'s, only when the times are equal.
  static bool Precedes(const Event* first, const Event* second);
};

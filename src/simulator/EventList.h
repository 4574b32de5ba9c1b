// The future event list: a binary min-heap of scheduled group completions,
// ordered by time and then by higher Rank(), with ties in time and rank
// broken at random by Weight(). It owns all `capacity` event records, made
// once; between operations every record is either in the heap or in the
// free pool, never both (a record RemoveParking hands out is back in one of
// them before the next operation). The records, slots and tie scratch are
// reached only through the operations below, which keep that so.
// A handle is the address of a heap slot; the group of every event in the
// heap keeps the handle of its slot in its GroupRecord. Beside each occupied
// slot the list keeps that event's time and its group's record, so that the
// sifts compare and re-point handles without following the event's pointers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <limits>
#include <vector>

#include "BaseClasses/BaseActionClass.h"
#include "simulator/Event.h"
#include "simulator/GroupRecord.h"

// The firing step inserts, removes and asks for the earliest event several
// times per firing, so those operations and the sifts are defined inline
// here; the tie break and the diagnostics stay out of line.
class EventList {
 public:
  explicit EventList(int capacity);
  ~EventList();
  EventList(const EventList&) = delete;
  EventList& operator=(const EventList&) = delete;

  void ClearEventList();
  void Insert(Event* prototype);
  // Insert of an event with these fields, written straight into its record.
  void Insert(double time, double scheduledAt, BaseActionClass* action);
  [[gnu::always_inline]] void Remove(Event** handle);
  // Remove(handle), except that the record is handed back instead of going
  // to the pool; the caller gives it to InsertParked or Unpark before any
  // other operation, which leaves the pool as Remove would.
  [[gnu::always_inline]] Event* RemoveParking(Event** handle);
  // Insert(time, scheduledAt, action) with the parked record in place of
  // the pool's front, which Remove would have made it; the record already
  // names `action`, its own group.
  [[gnu::always_inline]] void InsertParked(Event* record, double time, double scheduledAt,
                                           BaseActionClass* action);
  void Unpark(Event* record) { pool.push_back(record); }
  void Remove(void* handle);
  void ModifyKey(Event** handle);
  Event** Earliest();
  int BubbleUp(int position);
  int BubbleDown(int position);
  // Consistency check: 0 when consistent, otherwise the first violation's
  // code: a heap position out of time order; 100000 + j for a wrong handle
  // at slot j; a non-empty slot at or above size; -a for a pool record at
  // heap position a > 0, and kPoolRecordAtRoot for one at the root, where
  // -a would read as consistent.
  int IsValid();
  static constexpr int kPoolRecordAtRoot = std::numeric_limits<int>::min();
  void PrintList(std::ostream& out);

  int32_t Size() const { return size; }
  int32_t PoolSize() const { return static_cast<int32_t>(pool.size()); }

 private:
  // --- Records ---
  std::vector<Event*> pool;  // records not in the heap; the back is the front
  int32_t capacity;          // records and heap slots, fixed
  Event** heap;              // slots 0 .. size-1 hold the heap, the rest null
  int32_t size = 0;
  // --- Slot cache: for every p < size, slotTime[p] == heap[p]->time and
  // slotRecord[p] == heap[p]->action->eventSlot; ModifyKey refreshes the
  // time of the slot whose event the caller changed.
  double* slotTime;
  GroupRecord** slotRecord;
  // --- Tie resolution scratch, used only inside Earliest ---
  int32_t* ties;             // heap positions tied with the root, pre-order
  int32_t tieCount = 0;      // 0 between calls
  double* tieWeights;        // Weight() of each tie, in ties order

  int PositionOf(Event** handle) const { return static_cast<int>(handle - heap); }

  // Puts an event, with its time and record, into a slot and gives its group
  // the slot's handle.
  [[gnu::always_inline]] void PlaceAt(std::size_t position, Event* event, double time, GroupRecord* record) {
    heap[position] = event;
    slotTime[position] = time;
    slotRecord[position] = record;
    record->handle = &heap[position];
  }
  // Moves the event of slot `from` (time and record included) into slot `to`
  // and re-points its group's handle; slot `from` is left as it was.
  [[gnu::always_inline]] void MoveSlot(std::size_t from, std::size_t to) {
    PlaceAt(to, heap[from], slotTime[from], slotRecord[from]);
  }
  // Strict precedence: earlier time, or same time and higher rank of the
  // first event. Asks the first's Rank() before the second's, only when the
  // times are equal.
  static bool Precedes(double firstTime, const Event* first, double secondTime,
                       const Event* second) {
    if (firstTime < secondTime) return true;
    if (firstTime != secondTime) [[likely]] return false;
    return HigherRank(first, second);
  }
  // The child of a slot that the event in hand is compared with: the right
  // one (left + 1) when it exists and precedes the left one. Which child is
  // earlier is a coin flip, so the choice is made without a branch; only an
  // equal time, which asks the ranks as Precedes does, takes one.
  [[gnu::always_inline]] int PrecedingChild(int left) const {
    const int right = left + 1;
    if (right >= size) return left;
    const double rightTime = slotTime[right];
    const double leftTime = slotTime[left];
    if (rightTime == leftTime) [[unlikely]]
      return HigherRank(heap[right], heap[left]) ? right : left;
    return left + static_cast<int>(rightTime < leftTime);
  }
  // Sift a hole from `hole` toward the root (HoleUp) or the leaves
  // (HoleDown) for an event held in hand at `time`, shifting the events it
  // passes into the hole; the slot where it stops is returned, left for the
  // caller to fill. The comparisons are those of Precedes with the held
  // event in its place, so the Rank() calls are those of the sifts above.
  // Inlined wherever it is used, so that more users of the list (the
  // biased run's scheduling) do not push it out of the firing step.
  [[gnu::always_inline]] int HoleUp(int hole, const Event* moving, double time);
  [[gnu::always_inline]] int HoleDown(int hole, const Event* moving, double time);
  // Sifts the event of `position` with one of the two above and writes it
  // where it stops; the slot where it stops is returned.
  template <int (EventList::*Sift)(int, const Event*, double)> int SiftInPlace(int position);
  // RemoveParking of the event at `position`.
  [[gnu::always_inline]] Event* RemoveSlotParking(int position);
  // The root's handle. The slots are made with the list and kept for its
  // life, so the handle is never null, which the caller then need not test.
  Event** RootHandle() const {
    if (heap == nullptr) __builtin_unreachable();
    return &heap[0];
  }
  // Equal times are rare (instantaneous and deterministic delays); the rank
  // comparison is kept out of the sifts so that their loops stay call-free.
  [[gnu::noinline]] static bool HigherRank(const Event* first, const Event* second);
  // Appends `position` and, in pre-order, every event below it equal to it
  // in time and rank to the ties.
  void FindEquals(int position);
  // The tie search and weighted draw of Earliest, for a root that shares
  // its time with a child.
  Event** EarliestAmongTies();
};

inline void EventList::Insert(Event* prototype) {
  Insert(prototype->time, prototype->scheduledAt, prototype->action);
}

inline void EventList::Insert(double time, double scheduledAt, BaseActionClass* action) {
  Event* record = pool.back();
  pool.pop_back();
  record->action = action;
  InsertParked(record, time, scheduledAt, action);
}

inline void EventList::InsertParked(Event* record, double time, double scheduledAt,
                                    BaseActionClass* action) {
  record->time = time;
  record->scheduledAt = scheduledAt;
  // The new event enters at the first free slot, as a hole it is sifted
  // up from, and is written once where it stops.
  const int position = HoleUp(size++, record, time);
  PlaceAt(position, record, time, action->eventSlot);
}

inline void EventList::Remove(Event** handle) { pool.push_back(RemoveParking(handle)); }

inline Event* EventList::RemoveParking(Event** handle) {
  // The fired event is nearly always the root; at a position known to be
  // 0 the removal has no position to work out and no upward sift to try.
  if (handle == heap) [[likely]] return RemoveSlotParking(0);
  return RemoveSlotParking(PositionOf(handle));
}

inline Event* EventList::RemoveSlotParking(int position) {
  Event* const removed = heap[position];
  slotRecord[position]->handle = nullptr;
  const int last = --size;
  if (position == last) [[unlikely]] {
    heap[last] = nullptr;
    return removed;
  }
  // The last event fills the hole: up if it precedes the hole's parent,
  // otherwise down, exactly as moving it in and sifting it would.
  Event* const moving = heap[last];
  const double time = slotTime[last];
  GroupRecord* const record = slotRecord[last];
  heap[last] = nullptr;
  int stop = 0;
  if (position != 0) stop = HoleUp(position, moving, time);
  if (stop == position) stop = HoleDown(position, moving, time);
  PlaceAt(stop, moving, time, record);
  return removed;
}

inline void EventList::Remove(void* handle) { Remove(static_cast<Event**>(handle)); }

inline Event** EventList::Earliest() {
  // Nearly always the root is alone at its time; the tie search would then
  // record only the root and ask no Rank(), so it is skipped. A list of
  // three or more, the usual one, has both children of the root to check.
  if (size >= 3) {
    const double rootTime = slotTime[0];
    if (slotTime[1] != rootTime && slotTime[2] != rootTime) [[likely]] return RootHandle();
    return EarliestAmongTies();
  }
  if (size == 0) return nullptr;
  if (size == 1 || slotTime[1] != slotTime[0]) return RootHandle();
  return EarliestAmongTies();
}

// Both sifts carry the moving event in hand and shift the events it passes
// by one slot, writing each handle once; the comparisons, and so the Rank()
// calls, are those of swapping slot by slot.
inline int EventList::BubbleUp(int position) { return SiftInPlace<&EventList::HoleUp>(position); }

inline int EventList::BubbleDown(int position) { return SiftInPlace<&EventList::HoleDown>(position); }

template <int (EventList::*Sift)(int, const Event*, double)>
inline int EventList::SiftInPlace(int position) {
  Event* const moving = heap[position];
  const double time = slotTime[position];
  GroupRecord* const record = slotRecord[position];
  const int stop = (this->*Sift)(position, moving, time);
  if (stop != position) PlaceAt(stop, moving, time, record);
  return stop;
}

inline int EventList::HoleUp(int start, const Event* moving, double time) {
  // Walked as an unsigned index of pointer width, which indexes the slot
  // arrays without widening at each step; start >= 0.
  std::size_t hole = static_cast<std::size_t>(start);
  while (hole > 0) {
    const std::size_t parent = (hole - 1) / 2;
    if (!Precedes(time, moving, slotTime[parent], heap[parent])) break;
    MoveSlot(parent, hole);
    hole = parent;
  }
  return static_cast<int>(hole);
}

inline int EventList::HoleDown(int hole, const Event* moving, double time) {
  for (;;) {
    const int left = 2 * hole + 1;
    if (left >= size) break;
    const int candidate = PrecedingChild(left);
    if (!Precedes(slotTime[candidate], heap[candidate], time, moving)) break;
    MoveSlot(candidate, hole);
    hole = candidate;
  }
  return hole;
}

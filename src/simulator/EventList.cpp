#include "simulator/EventList.h"

#include <ostream>

#include "BaseClasses/BaseActionClass.h"
#include "random/Distributions.h"
#include "random/RandomNumberGenerator.h"
#include "simulator/Event.h"
#include "simulator/GroupRecord.h"

namespace {
inline GroupRecord* RecordOf(const Event* event) { return event->action->eventSlot; }
}  // namespace

EventList::EventList(int capacity)
    : capacity(capacity < 1 ? 1 : capacity),
      heap(new Event*[this->capacity]()),
      slotTime(new double[this->capacity]()),
      slotRecord(new GroupRecord*[this->capacity]()),
      ties(new int32_t[this->capacity]()),
      tieWeights(new double[this->capacity]()) {
  pool.reserve(this->capacity);
  for (int32_t i = 0; i < this->capacity; ++i) pool.push_back(new Event());
}

EventList::~EventList() {
  ClearEventList();
  for (Event* record : pool) delete record;
  delete[] heap;
  delete[] slotTime;
  delete[] slotRecord;
  delete[] ties;
  delete[] tieWeights;
}

void EventList::ClearEventList() {
  for (int32_t i = 0; i < size; ++i) {
    GroupRecord* record = slotRecord[i];
    record->handle = nullptr;
    record->notInReactivationList = true;
    pool.push_back(heap[i]);
    heap[i] = nullptr;
  }
  size = 0;
}

bool EventList::HigherRank(const Event* first, const Event* second) {
  int firstRank = first->action->Rank();
  int secondRank = second->action->Rank();
  return firstRank > secondRank;
}

void EventList::ModifyKey(Event** handle) {
  int position = PositionOf(handle);
  slotTime[position] = heap[position]->time;
  if (BubbleUp(position) == position) BubbleDown(position);
}

void EventList::FindEquals(int position) {
  ties[tieCount++] = position;
  const Event* event = heap[position];
  for (int child = 2 * position + 1; child <= 2 * position + 2 && child < size; ++child) {
    const Event* other = heap[child];
    if (slotTime[child] != slotTime[position]) continue;
    int childRank = other->action->Rank();
    int rank = event->action->Rank();
    if (childRank == rank) FindEquals(child);
  }
}

Event** EventList::EarliestAmongTies() {
  FindEquals(0);
  if (tieCount == 1) {
    tieCount = 0;
    return &heap[0];
  }
  double sum = 0.0;
  for (int32_t i = 0; i < tieCount; ++i) {
    tieWeights[i] = heap[ties[i]]->action->Weight();
    sum += tieWeights[i];
  }
  double threshold = sum * TheDistribution->NextUniform();
  // When the running total never passes the threshold (all weights zero, or
  // a uniform of exactly 1), the last tie is taken so that an event is
  // always returned.
  int chosen = ties[tieCount - 1];
  double running = 0.0;
  for (int32_t i = 0; i < tieCount; ++i) {
    running += tieWeights[i];
    if (running > threshold) {
      chosen = ties[i];
      break;
    }
  }
  tieCount = 0;
  return &heap[chosen];
}

int EventList::IsValid() {
  for (int32_t i = 0; i < size / 2; ++i) {
    int left = 2 * i + 1;
    if (heap[i]->time > heap[left]->time) return left;
    if (left + 1 < size && heap[i]->time > heap[left + 1]->time) return left + 1;
  }
  if (size > 0 && RecordOf(heap[0])->handle != &heap[0]) return 100000;
  for (int32_t j = 1; j < size; ++j)
    if (RecordOf(heap[j])->handle != &heap[j]) return 100000 + j;
  for (int32_t j = size; j < capacity; ++j)
    if (heap[j] != nullptr) return j;
  for (const Event* record : pool)
    for (int32_t a = 0; a < size; ++a)
      if (heap[a] == record) return a == 0 ? kPoolRecordAtRoot : -a;
  return 0;
}

void EventList::PrintList(std::ostream& out) {
  out << "------------------Event List-----------------" << std::endl;
  for (int32_t i = 0; i < size; ++i)
    out << "(" << heap[i]->action->name << ") " << heap[i]->scheduledAt << " --> "
        << heap[i]->time << std::endl;
  out << "---------------------------------------------" << std::endl << std::endl;
}

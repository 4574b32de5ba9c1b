#include "io/PacketQueue.h"

#include <algorithm>

namespace {
// Holds a queue's mutex for one operation.
class QueueLock {
 public:
  explicit QueueLock(TarvekMutex& mutex) : mutex_(mutex) { mutex_.Get(); }
  ~QueueLock() { mutex_.Release(); }
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;

 private:
  TarvekMutex& mutex_;
};
}  // namespace

PacketQueue::PacketQueue(int capacity)
    : slots(static_cast<size_t>(std::max(capacity, 1)), nullptr), capacity(std::max(capacity, 1)) {}

bool PacketQueue::Push(DataPacket* packet) {
  QueueLock hold(mutex);
  if (readIndex == writeIndex && wrapped) return false;
  slots[static_cast<size_t>(writeIndex)] = packet;
  if (++writeIndex == capacity) {
    writeIndex = 0;
    wrapped = true;
  }
  return true;
}

DataPacket* PacketQueue::Pop() {
  QueueLock hold(mutex);
  if (readIndex == writeIndex && !wrapped) return nullptr;
  DataPacket* packet = slots[static_cast<size_t>(readIndex)];
  slots[static_cast<size_t>(readIndex)] = nullptr;
  if (++readIndex == capacity) {
    readIndex = 0;
    wrapped = false;
  }
  return packet;
}

int PacketQueue::Count() {
  QueueLock hold(mutex);
  int count = writeIndex - readIndex;
  if (writeIndex < readIndex || wrapped) count += capacity;
  return count;
}

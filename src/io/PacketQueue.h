// A fixed ring of packet pointers (the simulator's free and full queues).
// Empty: read == write and not wrapped; full: read == write and wrapped.
// The queue does not own the packets it holds. Every operation holds the
// queue's own mutex for its whole duration.
#pragma once

#include <cstdint>
#include <vector>

#include "io/TarvekMutex.h"

class DataPacket;

class PacketQueue {
 public:
  explicit PacketQueue(int capacity = 50);
  PacketQueue(const PacketQueue&) = delete;
  PacketQueue& operator=(const PacketQueue&) = delete;

  // Stores the packet at the write position; on a full queue nothing is
  // stored and the result is false, so the caller can keep the packet.
  bool Push(DataPacket* packet);
  // The oldest packet, or null when the queue is empty.
  DataPacket* Pop();
  int Count();

  // --- Ring ---
  std::vector<DataPacket*> slots;  // capacity entries
  int32_t capacity;                // at least 1
  int32_t readIndex = 0;           // 0 … capacity − 1
  int32_t writeIndex = 0;          // 0 … capacity − 1
  bool wrapped = false;            // the write index has passed the end once more than the read index
  // --- Lock ---
  TarvekMutex mutex;
};

// A condition variable built from a counting semaphore, a waiter count and
// an auto-reset event, for use with TarvekMutex. A Signal wakes one waiter
// and is not lost between a waiter's release of the mutex and its wait; a
// Signal with no waiter does nothing.
#pragma once

#include <condition_variable>
#include <mutex>

class TarvekMutex;

class TarvekCond {
 public:
  TarvekCond() = default;
  ~TarvekCond() = default;
  TarvekCond(const TarvekCond&) = delete;
  TarvekCond& operator=(const TarvekCond&) = delete;

  // Called with m held; returns with m held again after a Signal.
  void Wait(TarvekMutex& m);
  void Signal();

  // --- Waiters, guarded by waitersLock ---
  int waiters = 0;
  int broadcast = 0;  // set by no operation; kept for the last-waiter hand-off

 private:
  // Semaphore (count 0 … 0x7FFFFFFF) on which the waiters block.
  void AcquireSemaphore();
  void ReleaseSemaphore();
  // Auto-reset event: a Set wakes one WaitEvent and is then cleared.
  void SetEvent();

  std::mutex waitersLock;
  std::mutex semaphoreLock;
  std::condition_variable semaphoreReady;
  int semaphoreCount = 0;  // guarded by semaphoreLock
  std::mutex eventLock;
  std::condition_variable eventReady;
  bool eventSignalled = false;  // guarded by eventLock
};

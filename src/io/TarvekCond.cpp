#include "io/TarvekCond.h"

#include "io/TarvekMutex.h"

void TarvekCond::Wait(TarvekMutex& m) {
  {
    std::lock_guard<std::mutex> hold(waitersLock);
    ++waiters;
  }
  // The semaphore keeps its count, so a Signal made between the release
  // and the wait still wakes this waiter.
  m.Release();
  AcquireSemaphore();
  bool lastWaiter;
  {
    std::lock_guard<std::mutex> hold(waitersLock);
    --waiters;
    lastWaiter = broadcast != 0 && waiters == 0;
  }
  if (lastWaiter) SetEvent();
  m.Get();
}

void TarvekCond::Signal() {
  bool haveWaiters;
  {
    std::lock_guard<std::mutex> hold(waitersLock);
    haveWaiters = waiters > 0;
  }
  if (haveWaiters) ReleaseSemaphore();
}

void TarvekCond::AcquireSemaphore() {
  std::unique_lock<std::mutex> hold(semaphoreLock);
  semaphoreReady.wait(hold, [this] { return semaphoreCount > 0; });
  --semaphoreCount;
}

void TarvekCond::ReleaseSemaphore() {
  {
    std::lock_guard<std::mutex> hold(semaphoreLock);
    if (semaphoreCount < 0x7FFFFFFF) ++semaphoreCount;
  }
  semaphoreReady.notify_one();
}

void TarvekCond::SetEvent() {
  {
    std::lock_guard<std::mutex> hold(eventLock);
    eventSignalled = true;
  }
  eventReady.notify_one();
}

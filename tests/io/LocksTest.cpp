#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "io/TarvekCond.h"
#include "io/TarvekMutex.h"
#include "io/TarvekThread.h"

namespace {

// Exits with 0 when the first two mutexes made are named mutex1 and mutex2.
[[noreturn]] void ExitWithMutexNames() {
  TarvekMutex first, second;
  const bool named = std::strcmp(first.name, "mutex1") == 0 && std::strcmp(second.name, "mutex2") == 0;
  std::exit(named ? 0 : 1);
}

TEST(TarvekMutexDeathTest, FirstMutexesOfAProcessAreMutex1AndMutex2) {
  // A fresh process, so that no mutex made by another test counts.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ExitWithMutexNames(), testing::ExitedWithCode(0), "");
}

// A waiter handing a value over to the main thread through a mutex and a
// condition variable.
struct HandOver {
  TarvekMutex mutex;
  TarvekCond ready;
  bool posted = false;
  int value = 0;
  std::atomic<bool> waiting{false};
};

unsigned long WaitForValue(void* argument) {
  auto* handOver = static_cast<HandOver*>(argument);
  handOver->mutex.Get();
  handOver->waiting = true;
  while (!handOver->posted) handOver->ready.Wait(handOver->mutex);
  handOver->value *= 2;
  handOver->mutex.Release();
  return 0;
}

TEST(TarvekCondTest, SignalWakesAWaiterHoldingTheMutexAgain) {
  HandOver handOver;
  TarvekThread thread(WaitForValue, &handOver);
  thread.Start();
  while (!handOver.waiting) TarvekThread::Sleep(1);
  // The waiter may be between its release of the mutex and its wait; the
  // signal must not be lost either way.
  handOver.mutex.Get();
  handOver.value = 21;
  handOver.posted = true;
  handOver.ready.Signal();
  handOver.mutex.Release();
  thread.WaitUntilDone();
  EXPECT_EQ(handOver.value, 42);
  EXPECT_EQ(handOver.ready.waiters, 0);
}

TEST(TarvekCondTest, SignalWithoutWaiterIsNotKept) {
  HandOver handOver;
  handOver.ready.Signal();  // nobody waits: nothing is stored
  TarvekThread thread(WaitForValue, &handOver);
  thread.Start();
  while (!handOver.waiting) TarvekThread::Sleep(1);
  TarvekThread::Sleep(20);
  handOver.mutex.Get();
  EXPECT_EQ(handOver.value, 0);  // the waiter has not run past its wait
  handOver.value = 1;
  handOver.posted = true;
  handOver.ready.Signal();
  handOver.mutex.Release();
  thread.WaitUntilDone();
  EXPECT_EQ(handOver.value, 2);
}

unsigned long CountCall(void* argument) {
  ++*static_cast<std::atomic<int>*>(argument);
  return 0;
}

TEST(TarvekThreadTest, RunsEntryOnceAndIsJoinedByItsDestructor) {
  std::atomic<int> calls{0};
  {
    TarvekThread thread(CountCall, &calls);
    thread.WaitUntilDone();  // never started: returns at once
    thread.Start();
  }
  EXPECT_EQ(calls, 1);
}

}  // namespace

// One thread running entry(argument), started by Start and joined by
// WaitUntilDone (or by the destructor, so a thread never outlives its
// object).
#pragma once

#include <thread>

class TarvekThread {
 public:
  using EntryFunction = unsigned long (*)(void*);

  TarvekThread(EntryFunction entry, void* argument);
  ~TarvekThread();
  TarvekThread(const TarvekThread&) = delete;
  TarvekThread& operator=(const TarvekThread&) = delete;

  // Starts the thread at once; a second Start while it runs does nothing.
  void Start();
  // Pauses the calling thread.
  static void Sleep(int ms);
  // Waits without a time limit; returns at once if never started.
  void WaitUntilDone();

  EntryFunction entry;
  void* argument;
  unsigned long* threadId = nullptr;  // not kept

 private:
  std::thread handle_;  // joinable from Start until WaitUntilDone
};

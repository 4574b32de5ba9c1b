// A lock for the packet queues. Each mutex carries a program-wide unique
// name, "mutex1" for the first one created, "mutex2" for the next, and so
// on; the name is for diagnostics only (the lock is private to the process).
#pragma once

#include <mutex>

class TarvekMutex {
 public:
  TarvekMutex();
  ~TarvekMutex() = default;
  TarvekMutex(const TarvekMutex&) = delete;
  TarvekMutex& operator=(const TarvekMutex&) = delete;

  // Waits for the lock without a time limit.
  void Get();
  void Release();
  const char* GetName() const { return name; }

  char name[64];  // "mutex<n>", n from the program-wide counter

 private:
  std::mutex lock_;
};

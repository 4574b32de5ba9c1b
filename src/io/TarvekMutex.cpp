#include "io/TarvekMutex.h"

#include <atomic>
#include <cstdio>

namespace {
// Number of the next mutex; the first one created is mutex1.
std::atomic<int> nextMutexNumber{1};
}  // namespace

TarvekMutex::TarvekMutex() {
  std::snprintf(name, sizeof name, "mutex%d", nextMutexNumber.fetch_add(1));
}

void TarvekMutex::Get() { lock_.lock(); }

void TarvekMutex::Release() { lock_.unlock(); }

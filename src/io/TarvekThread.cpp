#include "io/TarvekThread.h"

#include <chrono>

TarvekThread::TarvekThread(EntryFunction entry, void* argument)
    : entry(entry), argument(argument) {}

TarvekThread::~TarvekThread() { WaitUntilDone(); }

void TarvekThread::Start() {
  if (handle_.joinable()) return;
  handle_ = std::thread([this] { entry(argument); });
}

void TarvekThread::Sleep(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TarvekThread::WaitUntilDone() {
  if (handle_.joinable()) handle_.join();
}

#include "RunSupport.h"

#include <thread>

namespace hardening {

bool WaitForFileLargerThan(const std::filesystem::path& path, uintmax_t size, ChildProcess& child,
                           std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code ignored;
    if (std::filesystem::exists(path, ignored) && std::filesystem::file_size(path, ignored) > size)
      return true;
    if (child.WaitForExit(0ms)) return false;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

std::string Console(const ChildProcess& child) {
  return "--- stdout ---\n" + child.Stdout() + "--- stderr ---\n" + child.Stderr();
}

bool StartsWith(const std::string& whole, const std::string& prefix) {
  return whole.size() >= prefix.size() && whole.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace hardening

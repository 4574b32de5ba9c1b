// Shared steps of the end-to-end fault tests: generous deadlines (the
// sanitizer build is several times slower) and waits on the files a running
// simulator writes.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "ChildProcess.h"

namespace hardening {

using namespace std::chrono_literals;

// Start-up and the registration line.
inline constexpr auto kStartTimeout = 20s;
// From a fault (signal, closed manager, failed write) to the process's end.
inline constexpr auto kStopTimeout = 20s;

// Waits until `path` holds more than `size` bytes; false when the child
// ended first or the deadline passed.
bool WaitForFileLargerThan(const std::filesystem::path& path, uintmax_t size, ChildProcess& child,
                           std::chrono::milliseconds timeout = kStartTimeout);

// The captured console output, for failure messages.
std::string Console(const ChildProcess& child);

// True when `whole` begins with `prefix` byte for byte.
bool StartsWith(const std::string& whole, const std::string& prefix);

}  // namespace hardening

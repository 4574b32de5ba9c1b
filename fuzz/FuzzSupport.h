// Helpers shared by the fuzz targets: silencing the program's console output
// (the code under test prints on every call, which would swamp the fuzzer's
// own report and slow it down) and a property check that aborts, so that a
// broken invariant is reported like any crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>

namespace fuzzing {

// A stream buffer that accepts and drops every character, so formatting
// code still runs but nothing reaches the terminal.
class DiscardingBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Points std::cout and std::cerr at a discarding buffer, unless
// FUZZ_VERBOSE is set in the environment (useful when replaying a crash).
inline void SilenceConsole() {
  if (std::getenv("FUZZ_VERBOSE") != nullptr) return;
  static DiscardingBuffer sink;
  std::cout.rdbuf(&sink);
  std::cerr.rdbuf(&sink);
}

[[noreturn]] inline void PropertyFailed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "FUZZ PROPERTY FAILED: %s (%s:%d)\n", what, file, line);
  std::abort();
}

}  // namespace fuzzing

#define FUZZ_CHECK(cond, what) \
  do {                         \
    if (!(cond)) fuzzing::PropertyFailed(what, __FILE__, __LINE__); \
  } while (0)

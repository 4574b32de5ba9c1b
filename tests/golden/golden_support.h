// Runs the simulator executable of this build in a scratch directory and
// collects what it wrote, so the suites can compare whole outputs byte for
// byte with recorded ones.
#pragma once

#include <string>
#include <vector>

namespace golden {

// One fixed run of the simulator: its options and the SIMTEST value to run
// it with (empty: SIMTEST unset).
struct Configuration {
  std::string name;               // base name of the recorded files
  std::vector<std::string> args;  // options, without -a and -b
  std::string simtest;
};

// What one run produced.
struct RunOutput {
  int status = -1;     // exit status, -1 when it did not exit normally
  std::string ascii;   // the -a file
  std::string binary;  // the -b file
  std::string stdoutText;  // standard output without its timing lines
};

// Runs `config` in a fresh directory under the system temporary directory
// and removes that directory afterwards.
RunOutput RunSimulator(const Configuration& config);

// Standard output with the lines that carry processor times removed: they
// differ from run to run while everything else must not.
std::string WithoutTimingLines(const std::string& text);

std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// Directory of the recorded outputs in the source tree.
std::string DataDirectory();

}  // namespace golden

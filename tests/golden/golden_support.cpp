#include "golden_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace golden {

namespace fs = std::filesystem;

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string DataDirectory() { return std::string(SAN_SOURCE_DIR) + "/tests/golden/data"; }

std::string WithoutTimingLines(const std::string& text) {
  std::istringstream in(text);
  std::string kept;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("CPU time (s): ", 0) == 0) continue;
    if (line.rfind("GenerateConnectivityList() Time=", 0) == 0) continue;
    kept += line;
    kept += '\n';
  }
  return kept;
}

namespace {

// A directory of its own for every run, also when runs of one process follow
// each other.
fs::path FreshDirectory(const std::string& name) {
  static std::atomic<int> counter{0};
  fs::path dir = fs::temp_directory_path() /
                 ("san_golden_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) +
                  "_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// In the child: enter the directory, fix the environment, send standard
// output to a file and become the simulator. Never returns.
[[noreturn]] void ExecSimulator(const fs::path& dir, const Configuration& config,
                                const std::string& program) {
  if (::chdir(dir.c_str()) != 0) ::_exit(126);
  if (config.simtest.empty())
    ::unsetenv("SIMTEST");
  else
    ::setenv("SIMTEST", config.simtest.c_str(), 1);
  int out = ::open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int err = ::open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || err < 0) ::_exit(126);
  ::dup2(out, 1);
  ::dup2(err, 2);
  std::vector<std::string> words{program};
  words.insert(words.end(), config.args.begin(), config.args.end());
  words.insert(words.end(), {"-a", "out.txt", "-b", "out.bin"});
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

}  // namespace

RunOutput RunSimulator(const Configuration& config) {
  const std::string program = std::string(SAN_TEST_BIN_DIR) + "/basic_model_sim";
  const fs::path dir = FreshDirectory(config.name);
  RunOutput result;
  pid_t child = ::fork();
  if (child == 0) ExecSimulator(dir, config, program);
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  result.ascii = ReadWholeFile((dir / "out.txt").string());
  result.binary = ReadWholeFile((dir / "out.bin").string());
  result.stdoutText = WithoutTimingLines(ReadWholeFile((dir / "stdout.txt").string()));
  fs::remove_all(dir);
  return result;
}

}  // namespace golden

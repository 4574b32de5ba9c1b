#include "ChildProcess.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kPollInterval(20);

// Runs in the forked child: redirect, limit, exec. Only async-signal-safe
// calls until exec.
[[noreturn]] void ExecChild(const char* program, char* const* argv, const char* directory,
                            const char* outPath, const char* errPath, long fileSizeLimit) {
  if (::chdir(directory) != 0) ::_exit(127);
  int out = ::open(outPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int err = ::open(errPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  int in = ::open("/dev/null", O_RDONLY);
  if (out < 0 || err < 0 || in < 0) ::_exit(127);
  ::dup2(in, STDIN_FILENO);
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  if (fileSizeLimit > 0) {
    // The captured output files were opened before the limit; later writes
    // to them are still capped, so keep the limit well above what the
    // console output needs.
    struct rlimit limit = {static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, SIG_IGN);
  }
  // The test runner may have changed these; the simulator starts as a
  // manager would start it.
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGPIPE, SIG_DFL);
  ::execv(program, argv);
  ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const fs::path& directory, long fileSizeLimit)
    : stdoutPath_(directory / "child.stdout"), stderrPath_(directory / "child.stderr") {
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string dir = directory.string();
  const std::string out = stdoutPath_.string();
  const std::string err = stderrPath_.string();
  // Output of an earlier child in the same directory must not be read as
  // this one's before the child has truncated it.
  std::error_code ignored;
  fs::remove(stdoutPath_, ignored);
  fs::remove(stderrPath_, ignored);
  pid_ = ::fork();
  if (pid_ == 0)
    ExecChild(program.c_str(), argv.data(), dir.c_str(), out.c_str(), err.c_str(), fileSizeLimit);
}

ChildProcess::~ChildProcess() { KillAndReap(); }

void ChildProcess::KillAndReap() {
  if (pid_ <= 0 || ending_) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  ending_ = Ending{};
}

std::optional<ChildProcess::Ending> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (ending_ || pid_ <= 0) return ending_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t result = ::waitpid(pid_, &status, WNOHANG);
    if (result == pid_) {
      Ending ending;
      ending.exited = WIFEXITED(status);
      ending.status = ending.exited ? WEXITSTATUS(status) : WTERMSIG(status);
      ending_ = ending;
      return ending_;
    }
    if (result < 0 || std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(kPollInterval);
  }
}

int ChildProcess::WaitForRegisteredPort(std::chrono::milliseconds timeout) {
  static const std::regex registration(R"(REGISTER:  Port: \[(\d+)\])");
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::smatch match;
    const std::string out = Stdout();
    if (std::regex_search(out, match, registration)) return std::stoi(match[1].str());
    if (ending_ || std::chrono::steady_clock::now() >= deadline) return 0;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      ending_ = Ending{WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status)};
      continue;  // read the output once more: the line may have come last
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

void ChildProcess::Signal(int signalNumber) {
  if (pid_ > 0 && !ending_) ::kill(pid_, signalNumber);
}

std::string ChildProcess::Stdout() const { return ReadWholeFile(stdoutPath_); }
std::string ChildProcess::Stderr() const { return ReadWholeFile(stderrPath_); }

std::string ChildProcess::SimulatorPath() {
  // Appended in place: the operator+ form trips a spurious overread warning
  // of g++ 12 under link-time optimisation.
  std::string path(SAN_TEST_BIN_DIR);
  path.append("/basic_model_sim");
  return path;
}

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (fs::temp_directory_path() / "san_hardening_XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

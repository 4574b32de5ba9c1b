// One simulator process started by a test: its own working directory, its
// standard output and error captured in files there, and a guaranteed end:
// a child still running when the object goes away is killed and reaped.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class ChildProcess {
 public:
  // How the child ended: exited with a status or killed by a signal.
  struct Ending {
    bool exited = false;
    int status = -1;  // exit status when exited, else the signal number
  };

  // Starts `program` with `args` in `directory`. A positive `fileSizeLimit`
  // caps the size of files the child writes (writes past it fail instead of
  // raising a signal), which stands in for a full disk.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::filesystem::path& directory, long fileSizeLimit = 0);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Started() const { return pid_ > 0; }

  // Waits for the child to end; nothing when it is still running at the
  // deadline.
  std::optional<Ending> WaitForExit(std::chrono::milliseconds timeout);
  // Polls the captured output for the port in the registration line; 0 when
  // none appeared in time or the child ended first.
  int WaitForRegisteredPort(std::chrono::milliseconds timeout);
  void Signal(int signalNumber);

  std::string Stdout() const;
  std::string Stderr() const;

  // The simulator executable of this build.
  static std::string SimulatorPath();

 private:
  void KillAndReap();

  pid_t pid_ = -1;
  std::optional<Ending> ending_;  // set once the child has been reaped
  std::filesystem::path stdoutPath_, stderrPath_;
};

// Reads a whole file as bytes; empty when it does not exist.
std::string ReadWholeFile(const std::filesystem::path& path);

// A fresh directory under the temporary directory, removed on destruction.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

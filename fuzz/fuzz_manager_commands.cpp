// Fuzz target: the simulator's handling of the manager's commands. The
// input is the whole byte stream a manager sends: it is written into one end
// of a connected socket pair, whose sending side is then shut, and the
// simulator polls the other end once per report, as it does in a run, until
// it stops, drops the manager, or has had one poll per byte (each poll
// consumes at least one byte, so the stream is then used up). The replies
// the simulator sends back are collected and checked.
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "io/TarvekSocket.h"
#include "simulator/SimulatorClass.h"

namespace {

// Larger streams add nothing the fuzzer cannot reach with smaller ones, and
// they must fit the socket buffer since they are written before the
// simulator reads.
constexpr size_t kMaxStream = 8192;
constexpr size_t kReplyLength = 10;
constexpr off_t kBinHeaderSize = 256;

std::string workDirectory;

void RemoveWorkDirectory() {
  if (!workDirectory.empty()) ::rmdir(workDirectory.c_str());
}

// The hand-over command names a file the simulator creates: work in a
// private directory, so that whatever name arrives stays inside it.
void EnterWorkDirectory() {
  char pattern[] = "/tmp/fuzz_manager_commands.XXXXXX";
  if (::mkdtemp(pattern) == nullptr || ::chdir(pattern) != 0) {
    std::perror("fuzz_manager_commands: private work directory");
    std::abort();
  }
  workDirectory = pattern;
  std::atexit(RemoveWorkDirectory);
}

void WriteAll(int fd, const std::vector<char>& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    FUZZ_CHECK(n > 0, "the command stream fits the socket buffer");
    written += static_cast<size_t>(n);
  }
}

void DrainReplies(int fd, std::vector<uint8_t>& replies) {
  uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return;
    replies.insert(replies.end(), buffer, buffer + n);
  }
}

// Every reply is length 10 followed by FF 01, FE 02 or FF 03 and the
// simulator's process id, back to back.
void CheckReplies(const std::vector<uint8_t>& replies, size_t polls) {
  FUZZ_CHECK(replies.size() % kReplyLength == 0, "replies are whole 10-byte messages");
  FUZZ_CHECK(replies.size() / kReplyLength <= polls, "at most one reply per poll");
  const uint32_t pid = static_cast<uint32_t>(::getpid());
  for (size_t at = 0; at < replies.size(); at += kReplyLength) {
    const uint8_t* r = replies.data() + at;
    FUZZ_CHECK(r[0] == 0 && r[1] == 0 && r[2] == 0 && r[3] == kReplyLength,
               "a reply's length field is 10");
    const bool known = (r[4] == 0xFF && (r[5] == 1 || r[5] == 3)) || (r[4] == 0xFE && r[5] == 2);
    FUZZ_CHECK(known, "a reply carries FF 01, FE 02 or FF 03");
    const uint32_t sent = (uint32_t{r[6]} << 24) | (uint32_t{r[7]} << 16) |
                          (uint32_t{r[8]} << 8) | uint32_t{r[9]};
    FUZZ_CHECK(sent == pid, "a reply carries the process id");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::SilenceConsole();
  EnterWorkDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxStream) size = kMaxStream;
  // No directory separators, so no file name can leave the work directory.
  std::vector<char> stream(data, data + size);
  for (char& c : stream) {
    if (c == '/') c = '_';
  }

  int ends[2];
  FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0, "a socket pair can be made");
  const int manager = ends[1];
  WriteAll(manager, stream);
  ::shutdown(manager, SHUT_WR);

  std::vector<uint8_t> replies;
  size_t polls = 0;
  std::string createdFile;
  {
    SimulatorClass sim(SimulatorClass::FieldsOnly{});
    sim.simMgrSocket = new TarvekSocket(false);
    sim.simMgrSocket->descriptor = ends[0];
    while (sim.runState == 0 && sim.simMgrSocket != nullptr && polls <= size) {
      sim.ListenToSimMgr(sim.simMgrSocket);
      ++polls;
      DrainReplies(manager, replies);
    }
    FUZZ_CHECK(sim.runState != 0 || sim.simMgrSocket == nullptr,
               "a used-up command stream stops the run or drops the manager");
    if (sim.binFilename != nullptr) {
      createdFile = sim.binFilename;
      if (sim.binFile != nullptr) {
        sim.binFile->flush();
        struct stat info {};
        FUZZ_CHECK(::stat(createdFile.c_str(), &info) == 0 && info.st_size == kBinHeaderSize,
                   "the hand-over file holds exactly its header");
      }
    }
  }
  DrainReplies(manager, replies);
  ::close(manager);
  CheckReplies(replies, polls);
  if (!createdFile.empty()) ::unlink(createdFile.c_str());
  return 0;
}

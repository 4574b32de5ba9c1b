// Fuzz target: the simulator's handling of the manager's commands. The
// input is the whole byte stream a manager sends: it is written into one end
// of a connected socket pair, whose sending side is then shut. The simulator
// then makes reports as a run does, each polling for one command before its
// observations go out, until it stops, drops the manager, or has polled once
// per byte (each poll consumes at least one byte, so the stream is then used
// up); after a hand-over it makes a few more reports into the file.
//
// Checked: everything the simulator sent the manager decodes as whole,
// well-formed messages (replies with its process id, and per report a
// CPU-time message and the report's own observations); the binary file
// holds exactly the reports made while it was open. Each input runs twice:
// without a binary file, and with one given from the start (a hand-over must
// then leave that file in place and the file must hold every report).
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "io/DataPacket.h"
#include "io/TarvekSocket.h"
#include "simmgr/wire/Wire.h"
#include "simulator/SimulatorClass.h"

namespace {

// Every byte costs a report; longer streams only repeat what shorter ones
// reach (a hand-over text is at most 512 bytes). The stream must also fit
// the socket buffer, since it is written before the simulator reads.
constexpr size_t kMaxStream = 1024;
// The simulator's identification, as it appears in every message.
constexpr int32_t kClientId = 5;
constexpr int32_t kExperiment = 2;
// Reports made after the manager handed the output over to a file.
constexpr int kReportsAfterHandOver = 3;

std::string workDirectory;
int workDirectoryFd = -1;
int startDirectoryFd = -1;

void RemoveWorkDirectory() {
  if (!workDirectory.empty()) ::rmdir(workDirectory.c_str());
}

// The hand-over command names a file the simulator creates: each input runs
// in a private directory, so that whatever name arrives stays inside it.
// The fuzzer's own files (corpus, artifacts) are handled between inputs,
// from the directory it was started in.
void MakeWorkDirectory() {
  char pattern[] = "/tmp/fuzz_manager_commands.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    std::perror("fuzz_manager_commands: private work directory");
    std::abort();
  }
  workDirectory = pattern;
  std::atexit(RemoveWorkDirectory);
  workDirectoryFd = ::open(pattern, O_RDONLY | O_DIRECTORY);
  startDirectoryFd = ::open(".", O_RDONLY | O_DIRECTORY);
  if (workDirectoryFd < 0 || startDirectoryFd < 0) {
    std::perror("fuzz_manager_commands: open directory");
    std::abort();
  }
}

// Runs in the work directory for the lifetime of the object.
class InWorkDirectory {
 public:
  InWorkDirectory() { FUZZ_CHECK(::fchdir(workDirectoryFd) == 0, "enter the work directory"); }
  ~InWorkDirectory() { FUZZ_CHECK(::fchdir(startDirectoryFd) == 0, "leave the work directory"); }
  InWorkDirectory(const InWorkDirectory&) = delete;
  InWorkDirectory& operator=(const InWorkDirectory&) = delete;
};

void WriteAll(int fd, const std::vector<char>& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    FUZZ_CHECK(n > 0, "the command stream fits the socket buffer");
    written += static_cast<size_t>(n);
  }
}

void DrainSent(int fd, std::vector<uint8_t>& sent) {
  uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return;
    sent.insert(sent.end(), buffer, buffer + n);
  }
}

// The observations of report k: variable v holds (k + v) % 3 values, so
// some reports leave variables empty and some leave all of them empty.
DataMessage FillReport(DataPacket& packet, int k) {
  DataMessage expected;
  expected.clientId = static_cast<uint8_t>(kClientId);
  expected.experiment = static_cast<uint16_t>(kExperiment);
  for (int v = 0; v < packet.numPVs; ++v) {
    const int count = (k + v) % 3 < packet.reportSize ? (k + v) % 3 : packet.reportSize;
    packet.counts[static_cast<size_t>(v)] = count;
    ObservationBlock block;
    block.variable = static_cast<uint16_t>(v);
    for (int j = 0; j < count; ++j) {
      const double value = ((k + j) % 2) + 0.25 * v;
      packet.values[static_cast<size_t>(v)][static_cast<size_t>(j)] = value;
      block.values.push_back(value);
    }
    if (count > 0) expected.blocks.push_back(std::move(block));
  }
  return expected;
}

// What one session sent and what it should have sent.
struct Session {
  std::vector<uint8_t> sent;                // everything the manager received
  std::vector<DataMessage> toManager;       // reports that went to the manager
  std::vector<double> cpuTimes;             // the CPU time sent with each
  std::vector<DataMessage> toFile;          // reports made while the file was open
  size_t polls = 0;
  std::string binFilename;                  // the file the simulator ended with
  bool binFileOpen = false;
};

// One report: poll the manager, queue the pair and write it out.
void Report(SimulatorClass& sim, int k, Session& session) {
  const DataMessage expected = FillReport(*sim.valuePacket, k);
  for (int32_t& count : sim.squaredPacket->counts) count = 0;
  sim.cpuTime = 0.5 * k;
  const bool polled = sim.simMgrSocket != nullptr;
  // A long processor time per report: every report is written at once.
  sim.CheckReportSize(1.0e6 * (k + 1));
  if (polled) ++session.polls;
  if (sim.simMgrSocket != nullptr) {
    session.toManager.push_back(expected);
    session.cpuTimes.push_back(sim.cpuTime);
  }
  if (sim.binFile != nullptr) session.toFile.push_back(expected);
}

Session RunSession(const std::vector<char>& stream, bool binaryFileGiven) {
  int ends[2];
  FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0, "a socket pair can be made");
  const int manager = ends[1];
  WriteAll(manager, stream);
  ::shutdown(manager, SHUT_WR);

  Session session;
  {
    SimulatorClass sim(SimulatorClass::FieldsOnly{});
    sim.clientID = kClientId;
    sim.experiment = kExperiment;
    sim.numPVs = 3;
    sim.reportSize = 2;
    sim.valuePacket = sim.CreateDataPacket(sim.numPVs);
    sim.squaredPacket = sim.CreateDataPacket(sim.numPVs);
    if (binaryFileGiven) {
      static const char kGiven[] = "given.bin";
      sim.binFilename = new char[sizeof kGiven];
      std::memcpy(sim.binFilename, kGiven, sizeof kGiven);
      sim.binFile = sim.CreateBinFile(sim.binFilename);
      FUZZ_CHECK(sim.binFile != nullptr, "the given binary file can be made");
    }
    sim.simMgrSocket = new TarvekSocket(false);
    sim.simMgrSocket->descriptor = ends[0];

    int k = 0;
    while (sim.runState == 0 && sim.simMgrSocket != nullptr && session.polls <= stream.size()) {
      Report(sim, k++, session);
      DrainSent(manager, session.sent);
    }
    FUZZ_CHECK(sim.runState != 0 || sim.simMgrSocket == nullptr,
               "a used-up command stream stops the run or drops the manager");
    for (int more = 0; more < kReportsAfterHandOver && sim.runState == 0; ++more) Report(sim, k++, session);
    if (sim.binFilename != nullptr) session.binFilename = sim.binFilename;
    session.binFileOpen = sim.binFile != nullptr;
    if (binaryFileGiven)
      FUZZ_CHECK(session.binFilename == "given.bin" && session.binFileOpen,
                 "a hand-over keeps the binary file given from the start");
  }
  DrainSent(manager, session.sent);
  ::close(manager);
  return session;
}

bool SameData(const DataMessage& a, const DataMessage& b) { return EncodeData(a) == EncodeData(b); }

// The manager's side: replies, then per report a CPU-time message followed
// by the report's data, all whole and well-formed.
void CheckSentToManager(const Session& session) {
  MessageDecoder decoder;
  decoder.Feed(session.sent.data(), session.sent.size());
  const int32_t pid = static_cast<int32_t>(::getpid());
  size_t replies = 0;
  size_t report = 0;
  bool cpuTimeSeen = false;
  SimMessage message;
  MessageDecoder::Status status;
  while ((status = decoder.Next(message)) == MessageDecoder::Status::Message) {
    switch (message.kind) {
      case MessageKind::Reply:
        FUZZ_CHECK(message.reply.pid == pid, "a reply carries the process id");
        FUZZ_CHECK(!cpuTimeSeen, "nothing comes between a CPU-time message and its data");
        ++replies;
        break;
      case MessageKind::CpuTime:
        FUZZ_CHECK(!cpuTimeSeen, "a CPU-time message is followed by its data");
        FUZZ_CHECK(report < session.cpuTimes.size(), "no CPU-time message beyond the reports");
        FUZZ_CHECK(message.cpu.seconds == session.cpuTimes[report] &&
                       message.cpu.clientId == kClientId && message.cpu.experiment == kExperiment,
                   "a CPU-time message carries the simulator's time and identification");
        cpuTimeSeen = true;
        break;
      case MessageKind::Data:
        FUZZ_CHECK(cpuTimeSeen, "a data message follows its CPU-time message");
        FUZZ_CHECK(report < session.toManager.size() && SameData(message.data, session.toManager[report]),
                   "the manager receives each report's own observations, in order");
        cpuTimeSeen = false;
        ++report;
        break;
    }
  }
  FUZZ_CHECK(status == MessageDecoder::Status::NeedMore && decoder.Pending() == 0,
             "the manager receives only whole, well-formed messages");
  FUZZ_CHECK(report == session.toManager.size(), "every report sent reaches the manager");
  FUZZ_CHECK(replies <= session.polls, "at most one reply per poll");
}

// The binary file, once closed: its header, then exactly the reports made
// while it was open.
void CheckBinaryFile(const Session& session) {
  if (session.binFilename.empty() || !session.binFileOpen) {
    FUZZ_CHECK(session.toFile.empty(), "no report counts as filed without a file");
    return;
  }
  std::ifstream in(session.binFilename, std::ios::binary);
  FUZZ_CHECK(in.is_open(), "the binary file exists");
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  int experiment = -1;
  std::string error;
  FUZZ_CHECK(ParseBinHeader(bytes.data(), bytes.size(), experiment, error) && experiment == kExperiment,
             "the binary file opens with its header");
  MessageDecoder decoder(true, wire::kBinHeaderSize);
  decoder.Feed(bytes.data() + wire::kBinHeaderSize, bytes.size() - wire::kBinHeaderSize);
  SimMessage message;
  size_t report = 0;
  MessageDecoder::Status status;
  while ((status = decoder.Next(message)) == MessageDecoder::Status::Message) {
    FUZZ_CHECK(report < session.toFile.size() && SameData(message.data, session.toFile[report]),
               "the binary file holds each report's own observations, in order");
    ++report;
  }
  FUZZ_CHECK(status == MessageDecoder::Status::NeedMore && decoder.Pending() == 0,
             "the binary file holds only whole messages");
  FUZZ_CHECK(report == session.toFile.size(), "every report made while the file was open is in it");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::SilenceConsole();
  MakeWorkDirectory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxStream) size = kMaxStream;
  // No directory separators, so no file name can leave the work directory.
  std::vector<char> stream(data, data + size);
  for (char& c : stream) {
    if (c == '/') c = '_';
  }
  InWorkDirectory inWorkDirectory;
  for (const bool binaryFileGiven : {false, true}) {
    const Session session = RunSession(stream, binaryFileGiven);
    CheckSentToManager(session);
    CheckBinaryFile(session);
    if (!session.binFilename.empty()) ::unlink(session.binFilename.c_str());
  }
  return 0;
}

// Runs the simulator executable and checks what it prints and writes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "simulator/simulator_process.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using simulator_process::ReadFile;
using simulator_process::RunResult;

int CountOccurrences(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
    ++count;
  return count;
}

uint32_t BigEndian32(const std::string& bytes, size_t at) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

// The ASCII file without its two header lines.
std::string Body(const std::string& ascii) {
  size_t first = ascii.find('\n');
  if (first == std::string::npos) return "";
  size_t second = ascii.find('\n', first + 1);
  return second == std::string::npos ? "" : ascii.substr(second + 1);
}

// Lengths of the data messages that follow the 256-byte header.
std::vector<uint32_t> MessageLengths(const std::string& binary) {
  std::vector<uint32_t> lengths;
  for (size_t at = 256; at + 4 <= binary.size();) {
    uint32_t length = BigEndian32(binary, at);
    lengths.push_back(length);
    if (length == 0) break;
    at += length;
  }
  return lengths;
}

class EndToEndTest : public simulator_process::SimulatorProcessTest {};

TEST_F(EndToEndTest, NoArgumentsPrintsUsageAndFails) {
  RunResult result = Run("");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err.rfind("ERROR: No command line options specified\nValid Options\n", 0), 0u)
      << result.err;
  EXPECT_NE(result.err.find("connection is established.\n\nERROR: Parsing command line options\n"),
            std::string::npos);
}

TEST_F(EndToEndTest, OptionErrorsExitWithStatusOne) {
  for (const char* arguments : {"-s -5", "-m on", "-q", "-n 0", "-e"}) {
    RunResult result = Run(arguments);
    EXPECT_EQ(result.status, 1) << arguments;
    EXPECT_NE(result.err.find("ERROR: Parsing command line options\n"), std::string::npos)
        << arguments;
  }
}

TEST_F(EndToEndTest, ThreeReplicationsGiveOneReportOfThreeObservations) {
  RunResult result = Run("-a out.ascii -b out.bin -N 3");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.rfind("ASCIIFilename: out.ascii\nBinFilename: out.bin\n"
                             "Max Number of Batches: 3\nGenerateConnectivityList()\n"
                             "GenerateConnectivityList() Time=",
                             0),
            0u)
      << result.out;
  EXPECT_NE(result.out.find("SIMULATOR::Preparing to run()\nActions fired: "), std::string::npos);
  EXPECT_NE(result.out.find("\nCPU time (s): "), std::string::npos);
  EXPECT_NE(result.out.find("SIMULATOR::MAIN()-GOOD EXIT\n"), std::string::npos);
  EXPECT_EQ(result.err, "SIMULATOR::MAIN()-GOOD EXIT\n");

  std::string ascii = ReadFile(dir / "out.ascii");
  std::istringstream lines(ascii);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "#TARVEK_SIM_ASCII_FILE,TARVEK_VER=Version 2.4,FILE_VER=1,EXPERIMENTS=0");
  std::getline(lines, line);
  EXPECT_EQ(line, "#FORMAT: (PV ID Number),(PV Value)");
  std::vector<std::string> observations;
  while (std::getline(lines, line)) observations.push_back(line);
  ASSERT_EQ(observations.size(), 9u);  // three variables (30, 180, 365) x three replications
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(observations[i].substr(0, 2), std::to_string(i / 3) + ",");
    std::string value = observations[i].substr(2);
    EXPECT_TRUE(value == "0.0" || value == "1.0") << value;
  }

  std::string binary = ReadFile(dir / "out.bin");
  ASSERT_GE(binary.size(), 256u);
  EXPECT_EQ(binary.rfind("TARVEK_SIM_BIN_FILE,256,TARVEK_VER=Version 2.4,FILE_VER=1,EXPERIMENTS=0,",
                         0),
            0u);
  EXPECT_EQ(MessageLengths(binary), std::vector<uint32_t>{9 + 7 * 3 + 8 * 9});
  EXPECT_EQ(binary.size(), 256u + 102u);
}

TEST_F(EndToEndTest, ReportSizeTwoReportsEverySecondReplication) {
  RunResult result = Run("-n 2 -N 5 -b out.bin");
  ASSERT_EQ(result.status, 0) << result.err;
  // Reports after replications 2 and 4, then the partial one at the limit.
  EXPECT_EQ(MessageLengths(ReadFile(dir / "out.bin")),
            (std::vector<uint32_t>{9 + 21 + 48, 9 + 21 + 48, 9 + 21 + 24}));
}

TEST_F(EndToEndTest, RunsAreReproducibleAndSeedZeroMeansTheDefault) {
  ASSERT_EQ(Run("-N 200 -e 8 -a a1 -b b1").status, 0);
  ASSERT_EQ(Run("-N 200 -e 8 -a a2 -b b2").status, 0);
  ASSERT_EQ(Run("-N 200 -e 8 -s 0 -a a3 -b b3").status, 0);
  ASSERT_EQ(Run("-N 200 -e 8 -s 31415 -a a4 -b b4").status, 0);
  ASSERT_EQ(Run("-N 200 -e 8 -s 271828 -a a5").status, 0);
  std::string a1 = ReadFile(dir / "a1");
  EXPECT_EQ(a1, ReadFile(dir / "a2"));
  EXPECT_EQ(ReadFile(dir / "b1"), ReadFile(dir / "b2"));
  EXPECT_EQ(a1, ReadFile(dir / "a3"));
  EXPECT_EQ(ReadFile(dir / "b3"), ReadFile(dir / "b4"));
  EXPECT_NE(a1, ReadFile(dir / "a5"));
  // Other generators run too, and differ from the default stream.
  ASSERT_EQ(Run("-N 200 -e 8 -r 1 -a t1").status, 0);
  ASSERT_EQ(Run("-N 200 -e 8 -r 2 -a m1").status, 0);
  ASSERT_EQ(Run("-N 200 -e 8 -r 7 -a k1").status, 0);
  EXPECT_NE(a1, ReadFile(dir / "t1"));
  EXPECT_NE(a1, ReadFile(dir / "m1"));
  EXPECT_EQ(a1, ReadFile(dir / "k1"));  // an unknown type keeps the default generator
}

TEST_F(EndToEndTest, SimulationTypeTwoIsTerminating) {
  RunResult two = Run("-N 50 -t 2 -a two");
  ASSERT_EQ(two.status, 0) << two.err;
  ASSERT_EQ(Run("-N 50 -a one").status, 0);
  EXPECT_EQ(ReadFile(dir / "two"), ReadFile(dir / "one"));
}

TEST_F(EndToEndTest, StartUpRefusals) {
  RunResult experiment = Run("-e 9 -N 1");
  EXPECT_EQ(experiment.status, 1);
  EXPECT_NE(experiment.err.find("Experiment 9 does not exist"), std::string::npos);
  EXPECT_EQ(Run("-e-1 -N 1").status, 1);

  RunResult steady = Run("-t 0 -N 1");
  EXPECT_EQ(steady.status, 1);
  EXPECT_NE(steady.err.find("needs at least one steady-state performance variable"),
            std::string::npos);
  EXPECT_EQ(steady.out.find("Actions fired"), std::string::npos);

  RunResult seed = Run("-s-5 -N 1");
  EXPECT_EQ(seed.status, 1);
  EXPECT_NE(seed.out.find("Random Number Seed: 4294967291\n"), std::string::npos);
  EXPECT_NE(seed.err.find("out of range for the lagged Fibonacci generator"), std::string::npos);
  EXPECT_EQ(Run("-s 2147483646 -N 1").status, 1);
  EXPECT_EQ(Run("-s 2147483645 -N 1").status, 0);
  EXPECT_EQ(Run("-s-5 -r 1 -N 1").status, 0);  // only the lagged Fibonacci seed is bounded

  EXPECT_EQ(Run("-N 1 -a no/such/dir/out.txt").status, 1);
  EXPECT_EQ(Run("-N 1 -b no/such/dir/out.bin").status, 1);
  RunResult trace = Run("-N 1 -f no/such/dir/trace");
  EXPECT_EQ(trace.status, 1);
  EXPECT_NE(trace.err.find("no/such/dir/trace.txt"), std::string::npos);
}

TEST_F(EndToEndTest, OverrideStringChangesTheExperiment) {
  RunResult result = Run("-N 100 -O f:power_cycle_rate:8 -a over");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("OverrideString is f:power_cycle_rate:8\n"), std::string::npos);
  EXPECT_NE(result.out.find("\nOverriding global variables in simulator\n"), std::string::npos);
  ASSERT_EQ(Run("-N 100 -e 8 -a nine").status, 0);
  // The headers name different experiments; the observations agree.
  EXPECT_EQ(Body(ReadFile(dir / "over")), Body(ReadFile(dir / "nine")));
  EXPECT_NE(Body(ReadFile(dir / "over")), "");
}

TEST_F(EndToEndTest, TraceDestinations) {
  RunResult toConsole = Run("-N 2 -m");
  ASSERT_EQ(toConsole.status, 0) << toConsole.err;
  EXPECT_NE(toConsole.out.find("Adding cout: \n**************************************\n\t\tTRACE\n"),
            std::string::npos);
  EXPECT_EQ(CountOccurrences(toConsole.out, "##### NEW BATCH #####\n"), 3);

  ASSERT_EQ(Run("-N 2 -f plain").status, 0);
  EXPECT_TRUE(fs::exists(dir / "plain.txt"));
  EXPECT_EQ(CountOccurrences(ReadFile(dir / "plain.txt"), "##### NEW BATCH #####"), 3);
  EXPECT_FALSE(fs::exists(dir / "plain.xml"));

  ASSERT_EQ(Run("-N 2 -f xmlonly -x").status, 0);
  EXPECT_TRUE(fs::exists(dir / "xmlonly.xml"));
  EXPECT_FALSE(fs::exists(dir / "xmlonly.txt"));
}

TEST_F(EndToEndTest, AlternativeAffectsListBuilders) {
  RunResult old0 = Run("-N 20 -a old0", "SIMTEST=0");
  ASSERT_EQ(old0.status, 0) << old0.err;
  EXPECT_NE(old0.out.find("GenerateConnectivityListOld()\nGenerateConnectivityList() Time="),
            std::string::npos);
  RunResult old1 = Run("-N 20 -a old1", "SIMTEST=1");
  ASSERT_EQ(old1.status, 0);
  EXPECT_NE(old1.out.find("GenerateConnectivityListOld()\n"), std::string::npos);
  RunResult standard = Run("-N 20", "SIMTEST=2");
  EXPECT_NE(standard.out.find("\nGenerateConnectivityList()\n"), std::string::npos);
}

int ActionsFired(const std::string& out) {
  size_t at = out.find("Actions fired: ");
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 15);
}

TEST_F(EndToEndTest, WithoutAffectsListsEachGroupFiresAtMostOncePerReplication) {
  RunResult none = Run("-N 10", "SIMTEST=3");
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.out.find("GenerateConnectivityList()\n"), std::string::npos);
  int fired = ActionsFired(none.out);
  EXPECT_GT(fired, 0);
  EXPECT_LE(fired, 8 * 10);  // eight groups in the model
  EXPECT_GT(ActionsFired(Run("-N 10").out), fired);
}

// A minimal manager: connects to the port the simulator registers and talks
// the one-byte protocol.
class ManagerClient {
 public:
  // Starts the simulator with -w and connects once it has registered.
  bool Start(const fs::path& dir, const std::string& arguments) {
    std::string command = "cd '" + dir.string() + "' && exec '" + std::string(SAN_TEST_BIN_DIR) +
                          "/basic_model_sim' -w -p 23000 " + arguments + " 2>err.txt";
    pipe_ = ::popen(command.c_str(), "r");
    if (pipe_ == nullptr) return false;
    char line[512];
    int port = -1;
    while (std::fgets(line, sizeof line, pipe_) != nullptr) {
      output_ += line;
      if (std::sscanf(line, "REGISTER:  Port: [%d]", &port) == 1) break;
    }
    if (port < 0) {
      std::fprintf(stderr, "no registration line in: %s\n", output_.c_str());
      return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The port is announced just before the simulator starts listening.
    for (int attempt = 0; attempt < 100; ++attempt) {
      socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
      if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return true;
      ::close(socket_);
      socket_ = -1;
      ::usleep(50000);
    }
    std::perror("connect to the simulator");
    return false;
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // Everything the simulator sends until it closes the connection.
  std::string ReceiveAll() {
    std::string received;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(socket_, buffer, sizeof buffer, 0)) > 0) received.append(buffer, n);
    return received;
  }
  // Waits for the simulator to end; returns its exit status and its output.
  int Finish(std::string* output) {
    char line[512];
    while (std::fgets(line, sizeof line, pipe_) != nullptr) output_ += line;
    int raw = ::pclose(pipe_);
    pipe_ = nullptr;
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    *output = output_;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  ~ManagerClient() {
    if (socket_ >= 0) ::close(socket_);
    if (pipe_ != nullptr) ::pclose(pipe_);
  }

 private:
  FILE* pipe_ = nullptr;
  int socket_ = -1;
  std::string output_;
};

// One message of the simulator's stream, split by its length field (the
// CPU-time message's length counts 12 of its 16 bytes).
struct StreamMessage {
  std::string bytes;
  bool IsReply(char marker, char command) const {
    return bytes.size() == 10 && bytes[4] == marker && bytes[5] == command;
  }
  bool IsCpuTime() const { return bytes.size() == 16 && bytes[4] == '\xfe'; }
};

std::vector<StreamMessage> SplitStream(const std::string& stream) {
  std::vector<StreamMessage> messages;
  for (size_t at = 0; at + 6 <= stream.size();) {
    uint32_t length = BigEndian32(stream, at);
    if (length == 12 && stream[at + 4] == '\xfe') length = 16;
    if (length < 6 || at + length > stream.size()) break;
    messages.push_back({stream.substr(at, length)});
    at += length;
  }
  return messages;
}

// The command reaches the simulator at its first report or, on a loaded
// machine, a few reports later; the tests accept any number of reports
// before the one that handles it.
TEST_F(EndToEndTest, ManagerQuitStopsTheRunAfterTheCurrentReport) {
  ManagerClient manager;
  ASSERT_TRUE(manager.Start(dir, "-n 1"));  // no limit: only the quit ends it
  manager.Send(std::string(1, '\x02'));
  std::string received = manager.ReceiveAll();
  std::string output;
  EXPECT_EQ(manager.Finish(&output), 0);
  EXPECT_NE(output.find("SOCKET::Quit\n"), std::string::npos);
  EXPECT_NE(output.find("Actions fired: "), std::string::npos);
  std::vector<StreamMessage> messages = SplitStream(received);
  ASSERT_GE(messages.size(), 4u);
  EXPECT_TRUE(messages[0].IsReply('\xff', '\x01'));  // greeting
  size_t quit = 1;
  while (quit < messages.size() && !messages[quit].IsReply('\xfe', '\x02')) ++quit;
  ASSERT_LT(quit, messages.size()) << "no reply to quit";
  // Before the reply, whole reports (CPU time, then one data message each).
  EXPECT_EQ((quit - 1) % 2, 0u);
  // After it, exactly the report in which the quit arrived, then nothing.
  ASSERT_EQ(messages.size(), quit + 3);
  EXPECT_TRUE(messages[quit + 1].IsCpuTime());
  EXPECT_EQ(messages[quit + 2].bytes.size(), 9u + 21u + 24u);
}

TEST_F(EndToEndTest, ManagerHandsOverToABinaryFileWithANewLimit) {
  ManagerClient manager;
  ASSERT_TRUE(manager.Start(dir, "-n 1"));
  manager.Send(std::string("\x03") + "handed.bin;4;;");
  std::string received = manager.ReceiveAll();  // ends when the simulator disconnects
  std::string output;
  EXPECT_EQ(manager.Finish(&output), 0);
  std::vector<StreamMessage> messages = SplitStream(received);
  size_t reply = 1;
  while (reply < messages.size() && !messages[reply].IsReply('\xff', '\x03')) ++reply;
  ASSERT_LT(reply, messages.size()) << "no reply to the hand-over";
  EXPECT_EQ(messages.size(), reply + 1) << "nothing is sent after the hand-over";
  size_t reportsOnTheLink = (reply - 1) / 2;
  // From the report that handled the command on, every report goes to the
  // file, until the new limit of 4 replications is reached; the limit is
  // tested before the report that sets it, so at least that report and the
  // next one are in the file.
  std::vector<uint32_t> inFile = MessageLengths(ReadFile(dir / "handed.bin"));
  size_t expectedInFile = reportsOnTheLink >= 2 ? 2 : 4 - reportsOnTheLink;
  EXPECT_EQ(inFile, std::vector<uint32_t>(expectedInFile, 9 + 21 + 24));
  EXPECT_NE(output.find("Actions fired: "), std::string::npos);
}

}  // namespace

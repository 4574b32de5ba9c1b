#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "ByteHelpers.h"
#include "SimulatorFixture.h"
#include "SocketPair.h"
#include "io/TarvekSocket.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;

// The 10 bytes of a greeting or reply with the two code bytes.
std::vector<uint8_t> Reply(uint8_t first, uint8_t second) {
  const auto pid = static_cast<uint32_t>(::getpid());
  return {0, 0, 0, 10, first, second, static_cast<uint8_t>(pid >> 24),
          static_cast<uint8_t>(pid >> 16), static_cast<uint8_t>(pid >> 8),
          static_cast<uint8_t>(pid)};
}

std::vector<uint8_t> Receive(TarvekSocket& socket, int length) {
  std::string bytes(static_cast<size_t>(length), '\0');
  bytes.resize(static_cast<size_t>(socket.RecvBlock(bytes.data(), length)));
  return Bytes(bytes);
}

// A port nobody listens on at the moment of asking, whose successor is
// free as well. It is drawn below the kernel's range of ephemeral ports, so
// that the outgoing connections of tests running beside this one never take
// it between two runs of a test, and away from the ports the manager's
// tests start their simulators at.
int FreePortPair() {
  std::minstd_rand pick(static_cast<unsigned>(::getpid()));
  std::uniform_int_distribution<int> inRange(24000, 31998);
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int port = inRange(pick);
    TarvekSocket probe(true), next(true);
    if (probe.Bind(port) && next.Bind(port + 1)) return port;
  }
  return 0;
}

// The manager's side: connects to the port from its own thread, retrying
// quietly until the simulator listens.
class Manager {
 public:
  explicit Manager(int port)
      : thread_([this, port] {
          for (int attempt = 0; attempt < 400 && !connected_; ++attempt) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
              socket.descriptor = fd;
              connected_ = true;
            } else {
              ::close(fd);
              std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
          }
        }) {}
  ~Manager() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  bool connected() const { return connected_; }

  TarvekSocket socket{false};

 private:
  std::atomic<bool> connected_{false};
  std::thread thread_;
};

using WaitForManagerTest = SimulatorFixture;

TEST_F(WaitForManagerTest, AnnouncesThePortAndGreetsTheManager) {
  const int port = FreePortPair();
  ASSERT_GT(port, 0);
  sim->port = static_cast<int16_t>(port);
  testing::internal::CaptureStdout();
  Manager manager(port);
  std::unique_ptr<TarvekSocket> connection(sim->WaitForSimMgrConnection(5000));
  const std::string out = testing::internal::GetCapturedStdout();
  manager.Join();
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(manager.connected());
  EXPECT_EQ(out, "REGISTER:  Port: [" + std::to_string(port) + "]\n");
  EXPECT_EQ(Receive(manager.socket, 10), Reply(0xFF, 0x01));
  EXPECT_EQ(sim->runState, 0);
}

TEST_F(WaitForManagerTest, ATakenPortIsSkippedAndTheNewOneKept) {
  const int port = FreePortPair();
  ASSERT_GT(port, 0);
  TarvekSocket holder(true);
  ASSERT_TRUE(holder.Bind(port));
  ASSERT_TRUE(holder.Listen(1));
  sim->port = static_cast<int16_t>(port);
  testing::internal::CaptureStdout();
  Manager manager(port + 1);
  std::unique_ptr<TarvekSocket> connection(sim->WaitForSimMgrConnection(5000));
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(static_cast<uint16_t>(sim->port), port + 1);
  EXPECT_EQ(out, "REGISTER:  Port: [" + std::to_string(port + 1) + "]\n");
}

// The simulator closes its end first, so the connection it served waits out
// TIME_WAIT on its port; the next simulator takes that port all the same.
TEST_F(WaitForManagerTest, APortJustServedIsTakenAgain) {
  const int port = FreePortPair();
  ASSERT_GT(port, 0);
  for (int run = 0; run < 2; ++run) {
    sim->port = static_cast<int16_t>(port);
    Manager manager(port);
    testing::internal::CaptureStdout();
    std::unique_ptr<TarvekSocket> connection(sim->WaitForSimMgrConnection(3000));
    const std::string out = testing::internal::GetCapturedStdout();
    manager.Join();
    ASSERT_NE(connection, nullptr) << "run " << run << ": " << out;
    EXPECT_EQ(out, "REGISTER:  Port: [" + std::to_string(port) + "]\n") << "run " << run;
    connection.reset();
    manager.socket.Close();
  }
}

TEST_F(WaitForManagerTest, GivesUpWhenNoManagerComes) {
  const int port = FreePortPair();
  ASSERT_GT(port, 0);
  sim->port = static_cast<int16_t>(port);
  testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(sim->WaitForSimMgrConnection(100), nullptr);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(90));  // five polls of 20 ms
  EXPECT_LT(waited, std::chrono::seconds(3));
  EXPECT_EQ(sim->WaitForSimMgrConnection(0), nullptr);  // no time at all
  testing::internal::GetCapturedStdout();
}

TEST_F(WaitForManagerTest, PortSearchStopsAtTheLastPort) {
  // Hold the last port, unless someone else already does.
  TarvekSocket holder(true);
  if (holder.Bind(65535)) {
    ASSERT_TRUE(holder.Listen(1));
  }
  sim->port = static_cast<int16_t>(65535);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  EXPECT_EQ(sim->WaitForSimMgrConnection(100), nullptr);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              HasSubstr("ERROR: No free port for the simulation manager between 65535 and 65535"));
  EXPECT_EQ(out, "");
  EXPECT_EQ(sim->runState, 2);
}

// A simulator already connected to a manager (the pair's client end).
class ManagerCommandTest : public SimulatorFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pair.Open());
    sim->simMgrSocket = pair.server.release();
  }
  void Command(const std::string& bytes) {
    ASSERT_EQ(pair.client->Send(bytes.data(), static_cast<int>(bytes.size())),
              static_cast<int>(bytes.size()));
    ASSERT_TRUE(sim->simMgrSocket->Select(1000));
  }
  // True when the manager's end sees the simulator close the connection.
  bool ManagerSeesClose() {
    char byte;
    return pair.client->Select(1000) && pair.client->Recv(&byte, 1) == 0;
  }
  SocketPair pair;
};

TEST_F(ManagerCommandTest, NothingPendingChangesNothing) {
  sim->ListenToSimMgr(sim->simMgrSocket);
  EXPECT_EQ(sim->runState, 0);
  EXPECT_FALSE(pair.client->Select(0));
}

TEST_F(ManagerCommandTest, QueryIsAnswered) {
  Command("\x01");
  sim->ListenToSimMgr(sim->simMgrSocket);
  EXPECT_EQ(Receive(*pair.client, 10), Reply(0xFF, 0x01));
  EXPECT_EQ(sim->runState, 0);
}

TEST_F(ManagerCommandTest, QuitIsAnsweredAndStopsTheRun) {
  Command("\x02");
  testing::internal::CaptureStdout();
  sim->ListenToSimMgr(sim->simMgrSocket);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "SOCKET::Quit\n");
  EXPECT_EQ(Receive(*pair.client, 10), Reply(0xFE, 0x02));
  EXPECT_EQ(sim->runState, 2);
}

TEST_F(ManagerCommandTest, UnknownCommandIsReportedAndIgnored) {
  Command("\x07");
  testing::internal::CaptureStderr();
  sim->ListenToSimMgr(sim->simMgrSocket);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "!! Invalid Response Received by Client \n!! Simulation\n");
  EXPECT_EQ(sim->runState, 0);
  EXPECT_NE(sim->simMgrSocket, nullptr);
  EXPECT_FALSE(pair.client->Select(50));  // no reply
}

TEST_F(ManagerCommandTest, TwoCommandsAreHandledAtTwoReports) {
  Command(std::string("\x01\x02", 2));
  sim->ListenToSimMgr(sim->simMgrSocket);
  EXPECT_EQ(sim->runState, 0);
  EXPECT_EQ(Receive(*pair.client, 10), Reply(0xFF, 0x01));
  testing::internal::CaptureStdout();
  sim->ListenToSimMgr(sim->simMgrSocket);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(sim->runState, 2);
  EXPECT_EQ(Receive(*pair.client, 10), Reply(0xFE, 0x02));
}

TEST_F(ManagerCommandTest, HandOverCreatesTheBinaryFileAndDisconnects) {
  const std::string path = ScratchPath("out.bin");
  Command("\x03" + path + ";500;;");
  sim->ListenToSimMgr(sim->simMgrSocket);
  EXPECT_EQ(Receive(*pair.client, 10), Reply(0xFF, 0x03));
  EXPECT_TRUE(ManagerSeesClose());
  EXPECT_EQ(sim->simMgrSocket, nullptr);
  EXPECT_STREQ(sim->binFilename, path.c_str());
  ASSERT_NE(sim->binFile, nullptr);
  EXPECT_EQ(ReadFile(path).size(), 256u);
  EXPECT_EQ(sim->maxBatches, 500);
  EXPECT_EQ(sim->runState, 0);
}

TEST_F(ManagerCommandTest, HandOverKeepsABinaryFileAlreadyGiven) {
  sim->binFilename = CopyName("given.bin");
  sim->binFile = new std::ofstream();  // stands for the open -b file
  sim->maxBatches = 7;
  const std::string path = ScratchPath("other.bin");
  Command("\x03" + path + ";500;;");
  sim->ListenToSimMgr(sim->simMgrSocket);
  EXPECT_EQ(Receive(*pair.client, 10), Reply(0xFF, 0x03));
  EXPECT_TRUE(ManagerSeesClose());
  EXPECT_EQ(sim->simMgrSocket, nullptr);
  EXPECT_STREQ(sim->binFilename, "given.bin");
  EXPECT_EQ(sim->maxBatches, 7);
  EXPECT_EQ(access(path.c_str(), F_OK), -1);
  EXPECT_EQ(sim->runState, 0);
}

TEST_F(ManagerCommandTest, HandOverWithoutFileNameCreatesNoFile) {
  sim->maxBatches = 9;
  Command("\x03;500;;");
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  sim->ListenToSimMgr(sim->simMgrSocket);
  testing::internal::GetCapturedStdout();
  EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("No binary output file name"));
  EXPECT_EQ(Receive(*pair.client, 10), Reply(0xFF, 0x03));
  EXPECT_TRUE(ManagerSeesClose());
  EXPECT_EQ(sim->binFilename, nullptr);
  EXPECT_EQ(sim->binFile, nullptr);
  EXPECT_EQ(sim->maxBatches, 9);
  // Nothing would record the observations any more.
  EXPECT_EQ(sim->runState, 2);
}

TEST_F(ManagerCommandTest, HandOverToAnUnwritableFileStopsTheRun) {
  const std::string path = ScratchPath("no-such-dir/out.bin");
  Command("\x03" + path + ";5;;");
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  sim->ListenToSimMgr(sim->simMgrSocket);
  testing::internal::GetCapturedStdout();
  EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr(path));
  EXPECT_EQ(sim->binFile, nullptr);
  EXPECT_EQ(sim->runState, 2);
}

TEST_F(ManagerCommandTest, ManagerClosingItsEndStopsTheRun) {
  pair.client->Close();
  ASSERT_TRUE(sim->simMgrSocket->Select(1000));
  testing::internal::CaptureStdout();
  sim->ListenToSimMgr(sim->simMgrSocket);
  EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("Exiting."));
  EXPECT_EQ(sim->runState, 2);
  EXPECT_EQ(sim->simMgrSocket, nullptr);
}

TEST_F(ManagerCommandTest, ReportsGoToTheManagerAfterTheCommandPoll) {
  sim->cpuTime = 1.5;
  FillPair(2, 0.5);
  Command("\x01");
  EXPECT_EQ(sim->CheckReportSize(0.0), 1);
  EXPECT_EQ(Receive(*pair.client, 10), Reply(0xFF, 0x01));
  EXPECT_THAT(Receive(*pair.client, 16),
              ElementsAre(0, 0, 0, 12, 0xFE, 5, 0, 1, 0x3F, 0xF8, 0, 0, 0, 0, 0, 0));
  const auto data = Receive(*pair.client, 9 + 7 + 16);
  ASSERT_EQ(data.size(), 32u);
  EXPECT_EQ(ReadBigEndian32(data, 0), 32u);
  EXPECT_EQ(data[4], 5);
  EXPECT_EQ(ReadBigEndianDouble(data, 16), 0.5);
  EXPECT_EQ(ReadBigEndianDouble(data, 24), 1.5);
  EXPECT_FALSE(pair.client->Select(50));  // the squares are not sent
}

}  // namespace

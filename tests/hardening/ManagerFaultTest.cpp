// A manager that misbehaves: goes away mid-run (closing or reset like a
// killed process), sends garbage, or stops reading. The simulator must end
// on its own within seconds, with status 0 and a binary file that reads back
// whole and holds everything the manager was sent.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "ChildProcess.h"
#include "ManagerClient.h"
#include "OutputFiles.h"
#include "RunSupport.h"

namespace {

using namespace hardening;
namespace fs = std::filesystem;

class ManagerFaultTest : public ::testing::Test {
 protected:
  // Starts a simulator under -w with a binary file and connects to it.
  void StartAndConnect(const std::vector<std::string>& extra, int receiveBuffer = 0) {
    std::vector<std::string> args{"-w", "-p", "0", "-b", "run.bin"};
    args.insert(args.end(), extra.begin(), extra.end());
    sim = std::make_unique<ChildProcess>(ChildProcess::SimulatorPath(), args, dir.Path());
    const int port = sim->WaitForRegisteredPort(kStartTimeout);
    ASSERT_GT(port, 0) << Console(*sim);
    ASSERT_TRUE(manager.Connect(port, receiveBuffer));
  }

  // The simulator ended by itself with status 0 and left a whole file.
  ObservationLog ExpectCleanStopWithWholeFile(std::chrono::milliseconds timeout = kStopTimeout) {
    const auto ending = sim->WaitForExit(timeout);
    EXPECT_TRUE(ending) << "simulator still running\n" << Console(*sim);
    if (ending) {
      EXPECT_TRUE(ending->exited) << "killed by signal " << ending->status << "\n" << Console(*sim);
      EXPECT_EQ(ending->status, 0) << Console(*sim);
    }
    ObservationLog file = ReadBinaryFile(dir / "run.bin");
    EXPECT_TRUE(file.Whole()) << file.error;
    return file;
  }

  ScratchDirectory dir;
  std::unique_ptr<ChildProcess> sim;
  ManagerClient manager;
};

class ManagerGoneTest : public ManagerFaultTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ManagerGoneTest, SimulatorStopsWithEverythingSentAlsoInTheFile) {
  const bool abortive = GetParam();
  ASSERT_NO_FATAL_FAILURE(StartAndConnect({"-n", "2"}));
  std::string received;
  int dataMessages = 0;
  while (dataMessages < 3) {
    auto message = manager.ReadMessage(kStartTimeout);
    ASSERT_TRUE(message) << Console(*sim);
    received += *message;
    if (ManagerClient::IsDataMessage(*message)) ++dataMessages;
  }
  manager.Close(abortive);

  const ObservationLog file = ExpectCleanStopWithWholeFile();
  const ObservationLog sent = DecodeDataMessages(received, true);
  ASSERT_TRUE(sent.Whole()) << sent.error;
  EXPECT_TRUE(file.Extends(sent));
  EXPECT_GE(file.messages, 3);
}

INSTANTIATE_TEST_SUITE_P(ClosedOrReset, ManagerGoneTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Reset" : "Closed"; });

TEST_F(ManagerFaultTest, RandomBytesThenCloseNeitherCrashNorHang) {
  for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
    SCOPED_TRACE("byte stream seed " + std::to_string(seed));
    manager.Close();
    // A hand-over (command 3) lets the run go on without the manager: the
    // replication limit ends it then.
    ASSERT_NO_FATAL_FAILURE(StartAndConnect({"-n", "2", "-N", "200"}));
    std::mt19937 bytes(seed);
    std::string noise(200, '\0');
    for (char& c : noise) c = static_cast<char>(bytes() & 0xFF);
    // The first byte decides the first command; make every kind come first
    // in one of the streams (2 quits at once, 3 reads the rest as a file name).
    noise[0] = static_cast<char>(seed);
    manager.Send(noise);
    manager.Close();
    ExpectCleanStopWithWholeFile();
    // Command 3 never creates a file while -b names one already.
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
      files.insert(entry.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"child.stderr", "child.stdout", "run.bin"}));
    fs::remove(dir / "run.bin");
  }
}

TEST_F(ManagerFaultTest, ManagerThatNeverReadsCannotHangTheSimulator) {
  // One report per replication into a connection nobody reads.
  ASSERT_NO_FATAL_FAILURE(StartAndConnect({"-n", "1"}, 4096));
  const ObservationLog file = ExpectCleanStopWithWholeFile(90s);
  EXPECT_GT(file.messages, 0);
  EXPECT_NE(sim->Stdout().find("simulation manager"), std::string::npos) << Console(*sim);
}

}  // namespace

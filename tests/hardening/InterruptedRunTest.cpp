// SIGINT and SIGTERM sent to the simulator executable: the run ends after the
// current replication with everything it reported in its files and on its
// manager link, and a second signal ends it at once.
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "ChildProcess.h"
#include "ManagerClient.h"
#include "OutputFiles.h"
#include "RunSupport.h"

namespace {

using namespace hardening;

class InterruptedRunTest : public ::testing::Test {
 protected:
  ScratchDirectory dir;
};

void ExpectTotalsAndGoodExit(const ChildProcess& child) {
  const std::string out = child.Stdout();
  EXPECT_NE(out.find("Actions fired: "), std::string::npos) << Console(child);
  EXPECT_NE(out.find("CPU time (s): "), std::string::npos);
  EXPECT_NE(out.find("SIMULATOR::MAIN()-GOOD EXIT"), std::string::npos);
}

TEST_F(InterruptedRunTest, SigintKeepsEveryReportedObservationInBothFilesAndTheyAgree) {
  const std::vector<std::string> common{"-n", "3", "-s", "4242"};
  std::vector<std::string> args = common;
  args.insert(args.end(), {"-a", "run.txt", "-b", "run.bin"});
  ChildProcess sim(ChildProcess::SimulatorPath(), args, dir.Path());
  // Two reports of three replications are out before the signal.
  ASSERT_TRUE(WaitForFileLargerThan(dir / "run.bin", 256 + 2 * 102, sim)) << Console(sim);
  const std::string binaryBefore = ReadWholeFile(dir / "run.bin");
  const std::string asciiBefore = ReadWholeFile(dir / "run.txt");
  sim.Signal(SIGINT);

  const auto ending = sim.WaitForExit(kStopTimeout);
  ASSERT_TRUE(ending) << "still running after SIGINT\n" << Console(sim);
  ASSERT_TRUE(ending->exited) << "killed by signal " << ending->status;
  EXPECT_EQ(ending->status, 0) << Console(sim);
  ExpectTotalsAndGoodExit(sim);

  const std::string binaryAfter = ReadWholeFile(dir / "run.bin");
  EXPECT_TRUE(StartsWith(binaryAfter, binaryBefore));
  EXPECT_TRUE(StartsWith(ReadWholeFile(dir / "run.txt"), asciiBefore));
  const ObservationLog binary = ReadBinaryFile(dir / "run.bin");
  ASSERT_TRUE(binary.Whole()) << binary.error;
  const AsciiLog ascii = ReadAsciiFile(dir / "run.txt");
  ASSERT_TRUE(ascii.error.empty()) << ascii.error;
  EXPECT_EQ(CompareFiles(binary, ascii), "");

  // One observation of every variable per replication, none held back: the
  // files hold exactly the first M replications of this seed's run.
  ASSERT_EQ(binary.byVariable.size(), 3u);
  const size_t replications = binary.byVariable[0].size();
  for (const auto& row : binary.byVariable) EXPECT_EQ(row.size(), replications);
  ASSERT_GE(replications, 6u);
  ASSERT_LE(replications, 5000u) << "the signal took too long to act";
  ScratchDirectory referenceDir;
  std::vector<std::string> reference = common;
  reference.insert(reference.end(), {"-N", std::to_string(replications), "-b", "ref.bin"});
  ChildProcess limited(ChildProcess::SimulatorPath(), reference, referenceDir.Path());
  const auto limitedEnding = limited.WaitForExit(60s);
  ASSERT_TRUE(limitedEnding && limitedEnding->exited && limitedEnding->status == 0);
  EXPECT_EQ(ReadBinaryFile(referenceDir / "ref.bin").byVariable, binary.byVariable);
}

TEST_F(InterruptedRunTest, SigtermUnderAManagerSendsTheLastReportOnTheLinkAndToTheFile) {
  ChildProcess sim(ChildProcess::SimulatorPath(), {"-w", "-p", "0", "-n", "3", "-b", "run.bin"},
                   dir.Path());
  const int port = sim.WaitForRegisteredPort(kStartTimeout);
  ASSERT_GT(port, 0) << Console(sim);
  ManagerClient manager;
  ASSERT_TRUE(manager.Connect(port));
  std::string received;
  int dataMessages = 0;
  while (dataMessages < 2) {
    auto message = manager.ReadMessage(kStartTimeout);
    ASSERT_TRUE(message) << Console(sim);
    received += *message;
    if (ManagerClient::IsDataMessage(*message)) ++dataMessages;
  }
  sim.Signal(SIGTERM);
  std::string rest;
  ASSERT_TRUE(manager.ReadUntilClosed(rest, kStopTimeout)) << Console(sim);
  received += rest;
  const auto ending = sim.WaitForExit(kStopTimeout);
  ASSERT_TRUE(ending && ending->exited) << Console(sim);
  EXPECT_EQ(ending->status, 0);
  ExpectTotalsAndGoodExit(sim);

  const ObservationLog onTheLink = DecodeDataMessages(received, true);
  ASSERT_TRUE(onTheLink.Whole()) << onTheLink.error;
  const ObservationLog inTheFile = ReadBinaryFile(dir / "run.bin");
  ASSERT_TRUE(inTheFile.Whole()) << inTheFile.error;
  EXPECT_EQ(onTheLink.byVariable, inTheFile.byVariable);
  EXPECT_GE(inTheFile.messages, 2);
}

TEST_F(InterruptedRunTest, SecondSignalEndsTheRunAtOnce) {
  // Reports only every 1000 replications: the run is far from a report when
  // the signals come.
  ChildProcess sim(ChildProcess::SimulatorPath(), {"-n", "1000", "-b", "run.bin"}, dir.Path());
  ASSERT_TRUE(WaitForFileLargerThan(dir / "child.stdout", 0, sim));
  std::this_thread::sleep_for(300ms);
  sim.Signal(SIGINT);
  sim.Signal(SIGTERM);
  const auto ending = sim.WaitForExit(5s);
  ASSERT_TRUE(ending) << Console(sim);
  EXPECT_FALSE(ending->exited) << Console(sim);
  EXPECT_TRUE(ending->status == SIGTERM || ending->status == SIGINT) << ending->status;
  EXPECT_EQ(sim.Stdout().find("Actions fired: "), std::string::npos);
}

TEST_F(InterruptedRunTest, SignalWhileWaitingForTheManagerEndsTheWaitWithoutSimulating) {
  ChildProcess sim(ChildProcess::SimulatorPath(), {"-w", "-p", "0", "-b", "run.bin"}, dir.Path());
  ASSERT_GT(sim.WaitForRegisteredPort(kStartTimeout), 0) << Console(sim);
  sim.Signal(SIGINT);
  // Well before the 60 s the wait would otherwise take.
  const auto ending = sim.WaitForExit(10s);
  ASSERT_TRUE(ending && ending->exited) << Console(sim);
  EXPECT_EQ(ending->status, 0);
  EXPECT_NE(sim.Stdout().find("Actions fired: 0"), std::string::npos) << Console(sim);
  EXPECT_EQ(ReadWholeFile(dir / "run.bin").size(), 256u);
}

}  // namespace

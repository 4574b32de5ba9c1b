// The signal handler on its own, and its effect on a steady-state run of a
// hand-built model (the generated model of this build has no steady-state
// variable, so the executable cannot show it).
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include "ChildProcess.h"
#include "OutputFiles.h"
#include "simulator/Interruption.h"
#include "simulator/step_harness.h"

namespace {

class InterruptionTest : public ::testing::Test {
 protected:
  void TearDown() override { Interruption::Uninstall(); }
};

TEST_F(InterruptionTest, FirstSignalOfEitherKindOnlyRaisesTheFlag) {
  for (int signalNumber : {SIGINT, SIGTERM}) {
    Interruption::Install();
    EXPECT_FALSE(Interruption::Requested());
    ::testing::internal::CaptureStderr();
    std::raise(signalNumber);
    const std::string note = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Interruption::Requested()) << signalNumber;
    EXPECT_NE(note.find("the run ends after the current replication"), std::string::npos);
  }
}

TEST_F(InterruptionTest, InstallAndResetStartFromAClearFlag) {
  Interruption::Install();
  Interruption::Request();
  Interruption::Reset();
  EXPECT_FALSE(Interruption::Requested());
  Interruption::Request();
  Interruption::Install();
  EXPECT_FALSE(Interruption::Requested());
}

using InterruptionDeathTest = InterruptionTest;

TEST_F(InterruptionDeathTest, SecondSignalEndsTheProcessWithThatSignal) {
  EXPECT_EXIT(
      {
        Interruption::Install();
        std::raise(SIGINT);
        std::raise(SIGINT);
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGINT), "Interrupted again");
  // A first SIGINT and then a SIGTERM: the second one decides.
  EXPECT_EXIT(
      {
        Interruption::Install();
        std::raise(SIGINT);
        std::raise(SIGTERM);
        std::exit(0);
      },
      ::testing::KilledBySignal(SIGTERM), "Interrupted again");
}

// A ticker firing once per time unit, one variable with windows of one time
// unit, no batch limit: only the interruption can end the run.
TEST_F(InterruptionTest, SteadyStateRunEndsAtTheStepAfterTheSignalAndReportsEverything) {
  ScratchDirectory dir;
  StepHarness h(1000);
  ScriptedGroup& tick = h.AddGroup("tick", [] { return true; }, 1.0);
  tick.effect = [&tick] {
    if (tick.fires == 7) std::raise(SIGTERM);
  };
  h.Affects(tick, {&tick});
  RecordingNode& node = h.AddNode("v", 0.0, 1.0);
  h.Build();
  h.sim.asciiFile = h.sim.CreateASCIIFile((dir / "ss.txt").c_str());
  h.sim.binFile = h.sim.CreateBinFile((dir / "ss.bin").c_str());
  Interruption::Install();
  ::testing::internal::CaptureStderr();
  h.sim.SteadyStateSimulation();
  ::testing::internal::GetCapturedStderr();

  // The step that was under way when the signal came is completed and one
  // more is made, as when the batch limit is reached.
  EXPECT_EQ(tick.fires, 8);
  EXPECT_EQ(h.sim.runState, 2);  // finished, then the last report drained
  h.sim.asciiFile->flush();
  h.sim.binFile->flush();
  const ObservationLog binary = ReadBinaryFile(dir / "ss.bin");
  ASSERT_TRUE(binary.Whole()) << binary.error;
  ASSERT_EQ(binary.byVariable.size(), 1u);
  // Every window closed before the last step is in the files.
  EXPECT_EQ(binary.byVariable[0].size(), node.harvestTimes.size());
  EXPECT_GE(binary.byVariable[0].size(), 7u);
  EXPECT_EQ(CompareFiles(binary, ReadAsciiFile(dir / "ss.txt")), "");
}

}  // namespace

// Output files that cannot be written: at start-up (/dev/full) and when the
// disk fills during the run. Either is reported naming the file and ends the
// process with a non-zero status; what was written before stays readable.
#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "OutputFiles.h"
#include "RunSupport.h"

namespace {

using namespace hardening;

class OutputFaultTest : public ::testing::Test {
 protected:
  ScratchDirectory dir;
};

TEST_F(OutputFaultTest, FullDeviceIsRefusedAtStartUp) {
  for (const char* option : {"-a", "-b"}) {
    SCOPED_TRACE(option);
    ChildProcess sim(ChildProcess::SimulatorPath(), {"-N", "5", option, "/dev/full"}, dir.Path());
    const auto ending = sim.WaitForExit(kStopTimeout);
    ASSERT_TRUE(ending && ending->exited) << Console(sim);
    EXPECT_NE(ending->status, 0);
    EXPECT_NE(sim.Stderr().find("/dev/full"), std::string::npos) << Console(sim);
    EXPECT_EQ(sim.Stdout().find("Actions fired: "), std::string::npos);
  }
}

// The file-size limit makes writes past 4000 bytes fail, as a full disk
// would, after some reports have been written.
TEST_F(OutputFaultTest, DiskFullDuringTheRunIsReportedAndTheFileEndsOnAWholeRecord) {
  for (const char* option : {"-a", "-b"}) {
    SCOPED_TRACE(option);
    ChildProcess sim(ChildProcess::SimulatorPath(), {"-n", "2", option, "out"}, dir.Path(), 4000);
    const auto ending = sim.WaitForExit(60s);
    ASSERT_TRUE(ending) << "still running with its output file full\n" << Console(sim);
    ASSERT_TRUE(ending->exited) << "killed by signal " << ending->status;
    EXPECT_NE(ending->status, 0) << Console(sim);
    EXPECT_NE(sim.Stderr().find("'out'"), std::string::npos) << Console(sim);
    if (option[1] == 'b') {
      const ObservationLog binary = ReadBinaryFile(dir / "out");
      EXPECT_TRUE(binary.Whole()) << binary.error;
      EXPECT_GT(binary.messages, 0);
    } else {
      const AsciiLog ascii = ReadAsciiFile(dir / "out");
      EXPECT_TRUE(ascii.error.empty()) << ascii.error;
      EXPECT_GT(ascii.Count(), 0u);
    }
  }
}

}  // namespace

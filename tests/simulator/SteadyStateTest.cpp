#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "io/DataPacket.h"
#include "step_harness.h"

namespace {

namespace fs = std::filesystem;

class SteadyStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("sim_ss_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Observation lines per variable index in an ASCII file.
  std::map<int, int> CountsPerVariable(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::map<int, int> counts;
    while (std::getline(in, line))
      if (!line.empty() && line[0] != '#') ++counts[std::stoi(line)];
    return counts;
  }
  fs::path dir;
};

// A clock of one event per time unit.
ScriptedGroup& AddTicker(StepHarness& h) {
  ScriptedGroup& tick = h.AddGroup("tick", [] { return true; }, 1.0);
  h.Affects(tick, {&tick});
  return tick;
}

TEST_F(SteadyStateTest, BatchLimitWaitsForTheSlowestVariable) {
  StepHarness h;
  AddTicker(h);
  RecordingNode& fast = h.AddNode("fast", 0.0, 1.0);
  RecordingNode& slow = h.AddNode("slow", 0.0, 3.0);
  h.Build();
  h.sim.maxBatches = 4;
  h.sim.asciiFile = h.sim.CreateASCIIFile((dir / "ss.txt").c_str());
  ::testing::internal::CaptureStdout();
  h.sim.SteadyStateSimulation();
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(slow.harvestTimes, (std::vector<double>{3, 6, 9, 12}));
  EXPECT_EQ(fast.harvestTimes.size(), 12u);
  h.sim.asciiFile->flush();
  EXPECT_EQ(CountsPerVariable(dir / "ss.txt"), (std::map<int, int>{{0, 12}, {1, 4}}));
  EXPECT_EQ(h.sim.runState, 2);  // finished, then the last report drained
}

TEST_F(SteadyStateTest, WarmUpRecordsNothingBeforeTheFirstWindow) {
  StepHarness h;
  AddTicker(h);
  RecordingNode& late = h.AddNode("late", 10.0, 15.0);
  h.Build();
  h.sim.maxBatches = 2;
  ::testing::internal::CaptureStdout();
  h.sim.SteadyStateSimulation();
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(late.windowStarts, (std::vector<double>{10.0, 15.0}));
  EXPECT_EQ(late.harvestTimes, (std::vector<double>{15.0, 20.0}));
}

TEST_F(SteadyStateTest, AFullVariableSendsEveryVariablesPartialCounts) {
  StepHarness h(3);
  AddTicker(h);
  h.AddNode("fast", 0.0, 1.0);
  h.AddNode("slow", 0.0, 3.0);
  h.Build();
  h.sim.maxBatches = 3;
  h.sim.binFile = h.sim.CreateBinFile((dir / "ss.bin").c_str());
  ::testing::internal::CaptureStdout();
  h.sim.SteadyStateSimulation();
  ::testing::internal::GetCapturedStdout();
  h.sim.binFile->flush();
  std::ifstream in(dir / "ss.bin", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int> lengths;
  for (size_t at = 256; at + 4 <= bytes.size();) {
    int length = (static_cast<unsigned char>(bytes[at]) << 24) |
                 (static_cast<unsigned char>(bytes[at + 1]) << 16) |
                 (static_cast<unsigned char>(bytes[at + 2]) << 8) |
                 static_cast<unsigned char>(bytes[at + 3]);
    lengths.push_back(length);
    at += static_cast<size_t>(length);
  }
  // fast reaches 3 at t=3 while slow has 1; the 4th fast window sends them.
  // Reports: {3 fast, 1 slow}, {3, 1}, then at t=9 the limit: {3 fast, 1 slow}.
  ASSERT_GE(lengths.size(), 2u);
  EXPECT_EQ(lengths[0], 9 + 14 + 8 * 4);
  int total = 0;
  for (int length : lengths) total += length;
  EXPECT_EQ(total, static_cast<int>(bytes.size()) - 256);
}

TEST_F(SteadyStateTest, AbsorbingStateEndsTheRunWithAMessage) {
  StepHarness h;
  int marking = 0;
  ScriptedGroup& once = h.AddGroup("once", [&] { return marking == 0; }, 1.0);
  once.effect = [&] { marking = 1; };
  h.Affects(once, {&once});
  h.AddNode("v", 0.0, 5.0);
  h.Build();
  ::testing::internal::CaptureStdout();
  h.sim.SteadyStateSimulation();
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "Simulator encountered an absorbing state and is unable to proceed.  Terminating "
            "run.\n");
  EXPECT_EQ(h.sim.actionsFired, 1);
}

TEST_F(SteadyStateTest, NothingEnabledEndsAtOnceWithAnEmptyReport) {
  StepHarness h;
  h.AddGroup("never", [] { return false; }, 1.0);
  h.AddNode("v", 0.0, 5.0);
  h.Build();
  h.sim.binFile = h.sim.CreateBinFile((dir / "empty.bin").c_str());
  h.sim.SteadyStateSimulation();
  h.sim.binFile->flush();
  EXPECT_EQ(h.sim.actionsFired, 0);
  EXPECT_EQ(fs::file_size(dir / "empty.bin"), 256u + 9u);
}

}  // namespace

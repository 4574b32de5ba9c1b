// Whole-run outputs of fixed configurations, compared byte for byte with the
// outputs recorded in tests/golden/data. Any change to the random stream, to
// the order of the draws or enabling evaluations, or to the file layouts
// shows up here. Set SAN_GOLDEN_RECORD=1 to write the files instead of
// comparing (only when a change of the outputs is intended).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "golden_support.h"

namespace {

using golden::Configuration;
using golden::RunOutput;

constexpr const char* kTies = "f:power_cycle_rate:0:f:random_failure_rate:100:f:ram_size:512";

// Each generator, an override, both alternative affects-list builders,
// several experiments and seeds, a small report size (many reports and the
// deferred flushing) and a steady-state run.
const std::vector<Configuration>& Configurations() {
  static const std::vector<Configuration> all = {
      {"lf_e0_default", {"-N", "300"}, ""},
      {"lf_e8_s4711", {"-e", "8", "-s", "4711", "-N", "300"}, ""},
      {"taus_e3_s7", {"-r", "1", "-e", "3", "-s", "7", "-N", "300"}, ""},
      {"mt_e5_s123", {"-r", "2", "-e", "5", "-s", "123", "-N", "300"}, ""},
      {"override_e1", {"-e", "1", "-O", "f:power_cycle_rate:0.5", "-N", "300"}, ""},
      {"simtest0_e6", {"-e", "6", "-s", "99", "-N", "300"}, "0"},
      {"simtest1_taus_e7", {"-r", "1", "-e", "7", "-N", "300"}, "1"},
      {"reports7_mt_e4", {"-r", "2", "-e", "4", "-n", "7", "-N", "150"}, ""},
      {"client300_seed0_e2", {"-c", "300", "-s", "0", "-e", "2", "-N", "300"}, ""},
      // Zero-delay power cycles and certain corruption: instantaneous and
      // deterministic events tie at one instant, so the tie break draws, under
      // every generator and affects-list builder.
      {"ties_lf_n3", {"-O", kTies, "-n", "3", "-N", "100"}, ""},
      {"ties_taus_simtest1", {"-r", "1", "-O", kTies, "-s", "8", "-N", "20"}, "1"},
      {"ties_mt_simtest0", {"-r", "2", "-O", kTies, "-s", "5", "-N", "20"}, "0"},
      {"ties_lf_simtest3", {"-O", kTies, "-s", "11", "-n", "7", "-N", "20"}, "3"},
      // A case of weight zero in both joined models.
      {"zero_weights_taus", {"-r", "1", "-O", "f:ram_size:0:f:flash_size:512", "-N", "100"}, ""},
      // The busiest experiment under each generator, with one and three
      // observations per report.
      {"e8_taus_n3", {"-r", "1", "-e", "8", "-s", "3", "-n", "3", "-N", "100"}, ""},
      {"e8_mt_n1_simtest3", {"-r", "2", "-e", "8", "-n", "1", "-N", "50"}, "3"},
      {"e8_lf_n1_simtest0", {"-e", "8", "-s", "77", "-n", "1", "-N", "50"}, "0"},
  };
  return all;
}

bool Recording() {
  const char* flag = std::getenv("SAN_GOLDEN_RECORD");
  return flag != nullptr && std::string(flag) == "1";
}

std::string DataPath(const Configuration& config, const char* suffix) {
  return golden::DataDirectory() + "/" + config.name + suffix;
}

class GoldenOutputTest : public ::testing::TestWithParam<Configuration> {};

TEST_P(GoldenOutputTest, OutputsMatchRecording) {
  const Configuration& config = GetParam();
  RunOutput run = golden::RunSimulator(config);
  ASSERT_EQ(run.status, 0);
  ASSERT_FALSE(run.ascii.empty());
  ASSERT_GT(run.binary.size(), 256u);
  if (Recording()) {
    ASSERT_TRUE(golden::WriteWholeFile(DataPath(config, ".txt"), run.ascii));
    ASSERT_TRUE(golden::WriteWholeFile(DataPath(config, ".bin"), run.binary));
    ASSERT_TRUE(golden::WriteWholeFile(DataPath(config, ".out"), run.stdoutText));
    GTEST_SKIP() << "recorded " << config.name;
  }
  const std::string ascii = golden::ReadWholeFile(DataPath(config, ".txt"));
  const std::string binary = golden::ReadWholeFile(DataPath(config, ".bin"));
  const std::string console = golden::ReadWholeFile(DataPath(config, ".out"));
  ASSERT_FALSE(ascii.empty()) << "no recording for " << config.name;
  // The ASCII file is compared as text first so that a difference shows the
  // observations that moved; the binary file holds the same values exactly.
  EXPECT_EQ(run.ascii, ascii);
  EXPECT_TRUE(run.binary == binary) << "binary output of " << config.name << " differs ("
                                    << run.binary.size() << " bytes, recorded "
                                    << binary.size() << ")";
  // Includes the firing count and the echoed settings.
  EXPECT_EQ(run.stdoutText, console);
}

INSTANTIATE_TEST_SUITE_P(Configurations, GoldenOutputTest, ::testing::ValuesIn(Configurations()),
                         [](const ::testing::TestParamInfo<Configuration>& info) {
                           return info.param.name;
                         });

// Two runs of one configuration give the same bytes: nothing in the outputs
// depends on timing, addresses or the environment beyond SIMTEST.
TEST(GoldenDeterminismTest, RepeatedRunsAreIdentical) {
  for (const Configuration& config :
       {Configuration{"repeat_lf", {"-e", "4", "-s", "2024", "-N", "120"}, ""},
        Configuration{"repeat_taus", {"-r", "1", "-e", "7", "-n", "3", "-N", "60"}, "1"}}) {
    RunOutput first = golden::RunSimulator(config);
    RunOutput second = golden::RunSimulator(config);
    ASSERT_EQ(first.status, 0) << config.name;
    EXPECT_FALSE(first.ascii.empty()) << config.name;
    EXPECT_EQ(first.ascii, second.ascii) << config.name;
    EXPECT_TRUE(first.binary == second.binary) << config.name;
    EXPECT_EQ(first.stdoutText, second.stdoutText) << config.name;
  }
}

}  // namespace

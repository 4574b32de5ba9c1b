// The simulator's description of itself (-D FILE): it starts up as a run
// does, refuses what a run refuses, writes the description and simulates
// nothing.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iterator>
#include <string>

#include "common/ContentHash.h"
#include "simulator_process.h"

namespace {

using simulator_process::ReadFile;
using simulator_process::RunResult;

class DescribeTest : public simulator_process::SimulatorProcessTest {
 protected:
  nlohmann::json Description(const std::string& name = "description.json") {
    return nlohmann::json::parse(ReadFile(dir / name));
  }
  // The files of the test's directory other than the captured output.
  std::vector<std::string> WrittenFiles() {
    std::vector<std::string> names;
    for (const auto& entry : simulator_process::fs::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (name != "out.txt" && name != "err.txt") names.push_back(name);
    }
    return names;
  }
};

std::string ModelFileHash(const std::string& file) {
  const std::string bytes = ReadFile(std::string(SAN_SOURCE_DIR) + "/" + file);
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx",
                static_cast<unsigned long long>(HashBytes(
                    kContentHashStart, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
  return hex;
}

TEST_F(DescribeTest, BasicModelDescribesItsStudyAndRewardModel) {
  const RunResult run = Run("-D description.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("DescriptionFile: description.json\n"), std::string::npos);
  // Nothing was simulated.
  EXPECT_EQ(run.out.find("Actions fired"), std::string::npos);
  EXPECT_EQ(run.out.find("Preparing to run"), std::string::npos);

  const nlohmann::json d = Description();
  EXPECT_EQ(d["format"], 1);
  EXPECT_EQ(d["model"], "basic_model");
  const std::string identity = d["identity"];
  EXPECT_EQ(identity, "basic_model-" + ModelFileHash("models/basic_model.san"));
  EXPECT_EQ(identity.size(), std::string("basic_model-").size() + 16);
  EXPECT_EQ(d["study"], "basic_model_study");
  EXPECT_EQ(d["globals"], nlohmann::json::parse(R"([
      {"name": "flash_size", "type": "float"}, {"name": "power_cycle_rate", "type": "float"},
      {"name": "ram_size", "type": "float"}, {"name": "random_failure_rate", "type": "float"}])"));
  ASSERT_EQ(d["experiments"].size(), 9u);
  double powerCycleRate = 0.03125;
  for (int e = 0; e < 9; ++e, powerCycleRate *= 2) {
    const nlohmann::json& experiment = d["experiments"][e];
    EXPECT_EQ(experiment["name"], "Experiment " + std::to_string(e + 1));
    // The float 0.005f is written as the shortest text that reads back to it.
    EXPECT_EQ(experiment["values"], nlohmann::json::array({64, powerCycleRate, 128, 0.005})) << e;
  }
  EXPECT_EQ(d["variables"], nlohmann::json::parse(R"([{"name": "reliability", "time": 30},
      {"name": "reliability", "time": 180}, {"name": "reliability", "time": 365}])"));
  EXPECT_EQ(WrittenFiles(), std::vector<std::string>{"description.json"});
}

// The experiment chosen and -O change what the run would simulate, not the
// study's experiments; -a opens no output file.
TEST_F(DescribeTest, RunOptionsLeaveTheDescriptionAsItIs) {
  ASSERT_EQ(Run("-D plain.json").status, 0);
  const RunResult run = Run("-e 4 -Of:ram_size:7 -a obs.txt -D description.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Description(), Description("plain.json"));
  EXPECT_FALSE(simulator_process::fs::exists(dir / "obs.txt"));
}

TEST_F(DescribeTest, ABadChangeOfMeasureIsRefusedAtItsColumnAndNothingIsWritten) {
  Write("b.bias", "let x = 2\nrate sefi = x * bogus\n");
  const RunResult run = Run("-B b.bias -D description.json");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("ERROR: b.bias:2:17: unknown name 'bogus'"), std::string::npos) << run.err;
  EXPECT_EQ(WrittenFiles(), std::vector<std::string>{"b.bias"});

  Write("syntax.bias", "sefi 2\n");
  const RunResult syntax = Run("-B syntax.bias -D description.json");
  EXPECT_EQ(syntax.status, 1);
  EXPECT_NE(syntax.err.find("ERROR: syntax.bias:1:1: syntax error: expected 'let', 'rate' or 'weight', found 'sefi'"),
            std::string::npos)
      << syntax.err;
  EXPECT_FALSE(simulator_process::fs::exists(dir / "description.json"));
}

TEST_F(DescribeTest, WhatARunRefusesIsRefused) {
  for (const std::string options : {"-e 9", "-s 2147483646", "-t 0 -B b.bias", "-B missing.bias"}) {
    Write("b.bias", "rate sefi = 2\n");
    const RunResult run = Run(options + " -D description.json");
    EXPECT_EQ(run.status, 1) << options;
    EXPECT_FALSE(simulator_process::fs::exists(dir / "description.json")) << options;
  }
  // A good change of measure is bound, and the model described.
  EXPECT_EQ(Run("-B b.bias -D description.json").status, 0);
  EXPECT_EQ(Description()["model"], "basic_model");
}

TEST_F(DescribeTest, AnUnwritableFileIsAnError) {
  const RunResult run = Run("-D no/such/dir/description.json");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("ERROR: cannot write the model description to 'no/such/dir/description.json'"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(WrittenFiles().empty());
}

}  // namespace

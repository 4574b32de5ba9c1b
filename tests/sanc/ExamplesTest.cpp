// The worked examples of models/, run as their users run them. The
// repairable pair's estimates are compared with the exact transient
// probabilities of its Markov chain.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "BaseClasses/ModelChecks.h"
#include "common/ContentHash.h"
#include "sanc/ExampleRuns.h"

namespace {

using examples::RunSimulator;
using examples::SimulatorRun;

// The repairable pair's chain: 0 = both units up, 1 = one in repair,
// 2 = failed (absorbing). P(failed at t) from state 0.
double ExactFailureProbability(double lambda, double mu, double coverage, double t) {
  const examples::Generator q = {{-2 * lambda, 2 * lambda * coverage, 2 * lambda * (1 - coverage)},
                                 {mu, -(mu + lambda), lambda},
                                 {0, 0, 0}};
  return examples::ProbabilityInLastState(q, t);
}

}  // namespace

TEST(RepairableExample, UniformisationAgreesWithAClosedForm) {
  // Without repair and with full coverage the pair fails when both of two
  // exponential units have: (1 - e^{-lambda t})^2.
  const double lambda = 0.01;
  for (double t : {10.0, 100.0, 1000.0})
    EXPECT_NEAR(ExactFailureProbability(lambda, 0.0, 1.0, t), std::pow(1 - std::exp(-lambda * t), 2), 1e-12);
}

// Every experiment, every instant: within 4 standard errors of the exact
// value (20 000 replications, fixed seed).
TEST(RepairableExample, SimulatorAgreesWithTheExactChain) {
  struct Experiment {
    double lambda, mu, coverage;
  };
  const Experiment experiments[] = {{0.01, 0.5, 0.95}, {0.01, 0.05, 0.95}, {0.01, 0.5, 0.5}};
  const double instants[] = {10, 100, 1000};
  const int replications = 20000;
  for (int e = 0; e < 3; ++e) {
    const SimulatorRun run = RunSimulator("repairable_sim", "-e " + std::to_string(e) + " -s 4711 -N " + std::to_string(replications));
    ASSERT_EQ(run.status, 0) << run.err;
    for (int i = 0; i < 3; ++i) {
      const std::vector<double>& values = run.observations.at(i);
      ASSERT_EQ(values.size(), static_cast<size_t>(replications));
      double sum = 0;
      for (double v : values) sum += v;
      const double estimate = sum / replications;
      const Experiment& x = experiments[e];
      const double exact = ExactFailureProbability(x.lambda, x.mu, x.coverage, instants[i]);
      const double standardError = std::sqrt(exact * (1 - exact) / replications);
      EXPECT_LE(std::abs(estimate - exact), 4 * standardError)
          << "experiment " << e << ", t = " << instants[i] << ": estimate " << estimate << ", exact " << exact;
    }
  }
}

TEST(RepairableExample, NegativeRateStopsTheRunNamingActivityAndLine) {
  const SimulatorRun run = RunSimulator("repairable_sim", "-N 10 -Od:lambda:-1");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("repairable.san:21: activity 'first_unit_fails': rate is -1; it must be a number of 0 or more"),
            std::string::npos)
      << run.err;
  // A rate of 0 is legal: the units never fail.
  const SimulatorRun never = RunSimulator("repairable_sim", "-N 10 -Od:lambda:0");
  EXPECT_EQ(never.status, 0) << never.err;
  EXPECT_EQ(never.observations.at(2), std::vector<double>(10, 0.0));
}

TEST(StorageExample, AccumulatesHoursAndImpulsesAndRefusesAMarkingOutOfRange) {
  const SimulatorRun run = RunSimulator("storage_sim", "-e 1 -s 99 -N 500");
  ASSERT_EQ(run.status, 0) << run.err;
  double degraded = 0;
  for (double v : run.observations.at(0)) {
    EXPECT_GE(v, 0.0);
    EXPECT_LE(v, 6 * 8760.0);
    degraded += v;
  }
  EXPECT_GT(degraded, 0.0);  // early wear-out degrades the array within the year
  for (double v : run.observations.at(1)) EXPECT_TRUE(v == 0.0 || v == 1.0);
  // Rebuilds are counted by an impulse per firing, and each one that ends in
  // the year kept a failed disk for at least its 4 hours.
  const std::vector<double>& hours = run.observations.at(0);
  const std::vector<double>& rebuilds = run.observations.at(2);
  ASSERT_EQ(rebuilds.size(), hours.size());
  double total = 0;
  for (size_t r = 0; r < rebuilds.size(); ++r) {
    EXPECT_EQ(rebuilds[r], std::floor(rebuilds[r]));
    EXPECT_GE(hours[r], 4 * rebuilds[r] - 1e-9);
    total += rebuilds[r];
  }
  EXPECT_GT(total, 0.0);
  const SimulatorRun huge = RunSimulator("storage_sim", "-N 1 -Oi:disks:40000");
  EXPECT_EQ(huge.status, 1);
  EXPECT_NE(huge.err.find("san 'array': initial marking of healthy is 40000; a marking must lie in -32768 ... 32767"),
            std::string::npos)
      << huge.err;
}

TEST(RunTimeChecks, ZeroIsLegalNegativeAndNaNAreNot) {
  const ModelSite site{"activity 'a'", "m.san", 3};
  EXPECT_EQ(CheckedParameter(0.0, site, "rate"), 0.0);
  EXPECT_EXIT(CheckedParameter(std::nan(""), site, "weight"), testing::ExitedWithCode(1),
              "ERROR: m.san:3: activity 'a': weight is nan; it must be a number of 0 or more");
  EXPECT_EQ(CheckedMarking(32767, site, "marking of p"), 32767);
  EXPECT_EQ(CheckedMarking(-32768, site, "marking of p"), -32768);
  EXPECT_EXIT(CheckedMarking(32768, site, "marking of p"), testing::ExitedWithCode(1),
              "ERROR: m.san:3: activity 'a': marking of p is 32768; a marking must lie in -32768 ... 32767");
}

namespace {

// The description `simulator -D` writes, and the identity the model file
// `model` should give it.
struct Described {
  int status = -1;
  nlohmann::json description;
  std::string identity;
};

Described Describe(const std::string& simulator, const std::string& modelFile, const std::string& modelName) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("sanc_describe_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string command = "cd '" + dir.string() + "' && '" + SAN_TEST_BIN_DIR + "/" + simulator +
                              "' -D description.json > out.txt 2> err.txt";
  Described result;
  const int status = std::system(command.c_str());
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(dir / "description.json");
  if (in) result.description = nlohmann::json::parse(in);
  fs::remove_all(dir);
  std::ifstream model(std::string(SAN_SOURCE_DIR) + "/" + modelFile, std::ios::binary);
  const std::string bytes(std::istreambuf_iterator<char>(model), {});
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx",
                static_cast<unsigned long long>(HashBytes(
                    kContentHashStart, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
  result.identity = modelName + "-" + hex;
  return result;
}

}  // namespace

// Each example's simulator names its model and the hash of its own model
// file, and writes an int global's values as whole numbers.
TEST(Examples, DescribeThemselvesFromTheirModelFiles) {
  const Described repairable = Describe("repairable_sim", "models/repairable.san", "units");
  ASSERT_EQ(repairable.status, 0);
  EXPECT_EQ(repairable.description["identity"], repairable.identity);
  EXPECT_EQ(repairable.description["study"], "repair_rates");
  EXPECT_EQ(repairable.description["experiments"][1]["values"], nlohmann::json::parse("[0.01, 0.05, 0.95]"));

  const Described storage = Describe("storage_sim", "models/storage.san", "storage");
  ASSERT_EQ(storage.status, 0);
  const nlohmann::json& d = storage.description;
  EXPECT_EQ(d["identity"], storage.identity);
  EXPECT_EQ(d["globals"][0], nlohmann::json::parse(R"({"name": "disks", "type": "int"})"));
  const nlohmann::json& nominal = d["experiments"][0]["values"];
  EXPECT_TRUE(nominal[0].is_number_integer());
  EXPECT_EQ(nominal, nlohmann::json::parse("[6, 2, 1.5, 20000, 0.01]"));
  EXPECT_EQ(d["variables"][1], nlohmann::json::parse(R"({"name": "data_loss", "time": 8760})"));
}

// A change of measure reads a model's global variables of every type at the
// values of the run: multiplying by lambda * 100 (lambda a double, 0.01 in
// the study) biases nothing, so every weight is exactly 1 and each
// observation 0 or 1; with lambda overridden to 0.02 the multiplier is 2
// and the weights are not 1.
TEST(RepairableExample, AChangeOfMeasureReadsGlobalsOfAnyType) {
  namespace fs = std::filesystem;
  const fs::path file = fs::temp_directory_path() / ("repairable_" + std::to_string(::getpid()) + ".bias");
  std::ofstream(file) << "rate first_unit_fails = lambda * 100 when failed == 0\n";
  const SimulatorRun unbiased = RunSimulator("repairable_sim", "-s 7 -N 2000 -B " + file.string());
  const SimulatorRun doubled = RunSimulator("repairable_sim", "-s 7 -N 2000 -Od:lambda:0.02 -B " + file.string());
  fs::remove(file);
  ASSERT_EQ(unbiased.status, 0) << unbiased.err;
  ASSERT_EQ(doubled.status, 0) << doubled.err;
  auto count = [](const std::vector<double>& values, auto which) {
    return std::count_if(values.begin(), values.end(), which);
  };
  auto isOne = [](double v) { return v == 1.0; };
  auto isFraction = [](double v) { return v != 0.0 && v != 1.0; };
  EXPECT_GT(count(unbiased.observations.at(2), isOne), 0);
  EXPECT_EQ(count(unbiased.observations.at(2), isFraction), 0) << "a multiplier of 1 gives weights of 1";
  EXPECT_GT(count(doubled.observations.at(2), isFraction), 0) << "lambda was read as 0.02";
}

// models/pool.san, whose rates read the marking, against the exact
// transient probabilities of its birth-death chain: run plainly, and under
// the change of measure it ships (models/pool_rare.bias) where failure is
// too rare for plain simulation to see.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sanc/ExampleRuns.h"

namespace {

using examples::EstimateOf;
using examples::RunSimulator;
using examples::SimulatorRun;

// The experiments of pool.san's study, in order; lambda and mu are float
// globals, so the chain is solved with their float values.
struct Experiment {
  float lambda, mu;
  int crews;
};
const Experiment kExperiments[] = {
    {0.01f, 0.1f, 1},  // likely
    {0.01f, 0.1f, 2},  // two_crews
    {0.01f, 1.0f, 1},  // fast_repair
    {0.001f, 1.0f, 1},  // nominal
    {0.0001f, 1.0f, 1},  // rare
};
const double kInstants[] = {10, 100, 1000};
constexpr int kReplications = 20000;

// The pool's chain: state i has i units in repair (units - i up) for
// i = 0 ... units - k, and the last state is failed (absorbing).
examples::Generator PoolChain(int units, int k, int crews, double lambda, double mu) {
  const int working = units - k + 1;
  examples::Generator q(static_cast<size_t>(working + 1), std::vector<double>(static_cast<size_t>(working + 1), 0.0));
  for (int i = 0; i < working; ++i) {
    auto& row = q[static_cast<size_t>(i)];
    const double failure = lambda * (units - i);
    const double repair = mu * std::min(i, crews);
    row[static_cast<size_t>(i + 1)] += failure;
    if (i > 0) row[static_cast<size_t>(i - 1)] += repair;
    row[static_cast<size_t>(i)] -= failure + (i > 0 ? repair : 0.0);
  }
  return q;
}

double ExactFailureProbability(const Experiment& x, double t) {
  return examples::ProbabilityInLastState(PoolChain(4, 2, x.crews, x.lambda, x.mu), t);
}

std::string Arguments(int experiment, const std::string& extra = "") {
  return "-e " + std::to_string(experiment) + " -s 4711 -N " + std::to_string(kReplications) + extra;
}

const std::string kShippedMeasure = std::string(SAN_TEST_BIN_DIR) + "/../share/pool_sim/pool_rare.bias";

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(PoolExample, UniformisationAgreesWithClosedForms) {
  // Without repair the units fail independently: fewer than k of n are up
  // at t with probability Σ_{j<k} C(n, j) s^j (1 - s)^{n-j}, s = e^{-λt}.
  const double lambda = 0.01;
  for (double t : kInstants) {
    const double s = std::exp(-lambda * t);
    const double twoOfFour = std::pow(1 - s, 4) + 4 * s * std::pow(1 - s, 3);
    EXPECT_NEAR(examples::ProbabilityInLastState(PoolChain(4, 2, 1, lambda, 0.0), t), twoOfFour, 1e-12) << t;
    EXPECT_NEAR(examples::ProbabilityInLastState(PoolChain(3, 3, 1, lambda, 0.0), t), 1 - std::pow(s, 3), 1e-12) << t;
  }
  // Two units of which one must be up, one crew: the repairable pair with
  // full coverage, whose chain (two up, one in repair, failed) is the same.
  const double mu = 0.5;
  const examples::Generator pair = {{-2 * lambda, 2 * lambda, 0}, {mu, -(mu + lambda), lambda}, {0, 0, 0}};
  for (double t : kInstants)
    EXPECT_NEAR(examples::ProbabilityInLastState(PoolChain(2, 1, 1, lambda, mu), t),
                examples::ProbabilityInLastState(pair, t), 1e-14);
}

// The experiments where plain simulation sees failures, every instant:
// within 4 standard errors of the exact value. The second one has two
// crews, so the repair rate reads the marking too.
TEST(PoolExample, PlainSimulationAgreesWithTheExactChain) {
  for (int e : {0, 1, 2}) {
    const SimulatorRun run = RunSimulator("pool_sim", Arguments(e));
    ASSERT_EQ(run.status, 0) << run.err;
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(run.observations.at(i).size(), static_cast<size_t>(kReplications));
      const double estimate = EstimateOf(run.observations.at(i)).mean;
      const double exact = ExactFailureProbability(kExperiments[e], kInstants[i]);
      EXPECT_LE(std::abs(estimate - exact), 4 * std::sqrt(exact * (1 - exact) / kReplications))
          << "experiment " << e << ", t = " << kInstants[i] << ": estimate " << estimate << ", exact " << exact;
    }
  }
}

TEST(PoolExample, ShipsItsChangeOfMeasureWhereTheManagerLooks) {
  const std::string shipped = Contents(kShippedMeasure);
  EXPECT_FALSE(shipped.empty()) << kShippedMeasure;
  EXPECT_EQ(shipped, Contents(std::string(SAN_SOURCE_DIR) + "/models/pool_rare.bias"));
}

// Where failure is rare, the weighted observations (failed times the
// likelihood ratio at each instant) estimate the exact value within 4 of
// their own standard errors, with a variance per replication at least 100
// times below plain simulation's p(1 - p) (it is thousands to millions of
// times below).
TEST(PoolExample, ChangeOfMeasureEstimatesWhatPlainSimulationCannotSee) {
  const SimulatorRun plain = RunSimulator("pool_sim", Arguments(4));
  ASSERT_EQ(plain.status, 0) << plain.err;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(EstimateOf(plain.observations.at(i)).mean, 0.0);

  for (int e : {3, 4}) {
    const SimulatorRun biased = RunSimulator("pool_sim", Arguments(e, " -B '" + kShippedMeasure + "'"));
    ASSERT_EQ(biased.status, 0) << biased.err;
    for (int i = 0; i < 3; ++i) {
      const examples::Estimate estimate = EstimateOf(biased.observations.at(i));
      const double exact = ExactFailureProbability(kExperiments[e], kInstants[i]);
      ASSERT_GT(estimate.standardError, 0.0);
      EXPECT_LE(std::abs(estimate.mean - exact), 4 * estimate.standardError)
          << "experiment " << e << ", t = " << kInstants[i] << ": estimate " << estimate.mean << " ± "
          << estimate.standardError << ", exact " << exact;
      EXPECT_GT(exact * (1 - exact) / estimate.variance, 100.0) << "experiment " << e << ", t = " << kInstants[i];
    }
  }
}

// Where failure is likely the multipliers fade towards 1, and the weighted
// and plain estimates agree with the exact value and with each other.
TEST(PoolExample, ChangeOfMeasureAgreesWithPlainSimulationWhereFailureIsLikely) {
  const SimulatorRun plain = RunSimulator("pool_sim", Arguments(0));
  const SimulatorRun biased = RunSimulator("pool_sim", Arguments(0, " -B '" + kShippedMeasure + "'"));
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(biased.status, 0) << biased.err;
  for (int i = 0; i < 3; ++i) {
    const examples::Estimate p = EstimateOf(plain.observations.at(i));
    const examples::Estimate b = EstimateOf(biased.observations.at(i));
    const double exact = ExactFailureProbability(kExperiments[0], kInstants[i]);
    EXPECT_LE(std::abs(b.mean - exact), 4 * b.standardError) << "t = " << kInstants[i];
    EXPECT_LE(std::abs(p.mean - b.mean), 4 * std::hypot(p.standardError, b.standardError))
        << "t = " << kInstants[i] << ": plain " << p.mean << ", weighted " << b.mean;
  }
}

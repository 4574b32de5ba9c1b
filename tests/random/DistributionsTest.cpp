#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <numbers>
#include <vector>

#include "ReferenceLaggedFibonacci.h"
#include "random/Distribution.h"
#include "random/Distributions.h"
#include "random/LaggedFibonacci.h"
#include "random/MersenneTwister.h"
#include "random/Tausworthe.h"

namespace {

// Hands out a scripted list of uniforms (then 0.5 for ever) and counts draws.
class ScriptedGenerator : public RandomNumberGenerator {
 public:
  explicit ScriptedGenerator(std::initializer_list<double> values) : script(values) {}
  double rnd() override {
    ++draws;
    if (script.empty()) return 0.5;
    double v = script.front();
    script.pop_front();
    return v;
  }
  std::deque<double> script;
  int64_t draws = 0;
};

// A Distributions object fed from a script; `gen` stays owned by `dist`.
struct Scripted {
  explicit Scripted(std::initializer_list<double> values) : gen(new ScriptedGenerator(values)) {
    dist.SetGenerator(gen);
  }
  Distributions dist;
  ScriptedGenerator* gen;
};

TEST(DistributionsDraws, ClosedFormOperationsUseOneUniformEach) {
  const double u = 0.25;
  struct Case {
    const char* name;
    double (*sample)(Distributions&);
    double expected;
  };
  const Case cases[] = {
      {"Exponential", [](Distributions& d) { return d.Exponential(2.0); }, -std::log(u) / 2.0},
      {"Geometric", [](Distributions& d) { return d.Geometric(0.6); }, 1.0},
      {"Weibull", [](Distributions& d) { return d.Weibull(2.0, 3.0); }, 3.0 * std::sqrt(-std::log(u))},
      {"ConditionalWeibull at age 0",
       [](Distributions& d) { return d.ConditionalWeibull(1.0, 2.0, 0.0); }, -2.0 * std::log(u)},
      {"Uniform", [](Distributions& d) { return d.Uniform(2.0, 6.0); }, 3.0},
      {"Pareto", [](Distributions& d) { return d.Pareto(2.0, 1.0); }, 8.0},
      {"Gamma shape 1", [](Distributions& d) { return d.Gamma(1.0, 3.0); }, -3.0 * std::log(u)},
      {"Triangular lower branch", [](Distributions& d) { return d.Triangular(0.0, 4.0, 2.0); },
       4.0 * std::sqrt(0.125)},
      {"Triangular upper branch", [](Distributions& d) { return d.Triangular(0.0, 4.0, 0.0); },
       4.0 * (1.0 - std::sqrt(0.75))},
  };
  for (const Case& c : cases) {
    Scripted s{u, 0.9};
    EXPECT_NEAR(c.sample(s.dist), c.expected, 1e-12) << c.name;
    EXPECT_EQ(s.gen->draws, 1) << c.name;
  }
}

TEST(DistributionsDraws, OperationsThatDrawNothing) {
  Scripted s{};
  EXPECT_EQ(s.dist.Deterministic(4.5), 4.5);
  EXPECT_EQ(s.dist.Triangular(3.0, 3.0, 7.0), 3.0);
  EXPECT_TRUE(std::isnan(s.dist.Gamma(std::nan(""), 1.0)));
  EXPECT_EQ(s.dist.Erlang(0.5, 10.0), 0.0);
  EXPECT_EQ(s.dist.Binomial(0.0, 0.5), 0.0);
  EXPECT_EQ(s.dist.HypoExponential(0, nullptr), 0.0);
  EXPECT_TRUE(std::isnan(s.dist.HyperExponential(0, nullptr)));
  EXPECT_EQ(s.gen->draws, 0);
}

TEST(DistributionsDraws, StageCountsRoundThroughTheLoopBound) {
  {
    Scripted s{0.5, 0.25};
    EXPECT_NEAR(s.dist.Erlang(2.5, 5.0), -(5.0 / 2.5) * std::log(0.125), 1e-12);
    EXPECT_EQ(s.gen->draws, 2);
  }
  {
    Scripted s{0.1, 0.6, 0.3};
    EXPECT_EQ(s.dist.Binomial(3.0, 0.3), 2.0);  // a draw equal to p counts
    EXPECT_EQ(s.gen->draws, 3);
  }
  {
    Scripted s{0.9, 0.9, 0.9};
    EXPECT_EQ(s.dist.Binomial(2.5, 0.3), 0.0);
    EXPECT_EQ(s.gen->draws, 3);
  }
  {
    Scripted s{0.25, 0.125};
    EXPECT_EQ(s.dist.NegativeBinomial(2.0, 0.6), 1.0 + 2.0);
    EXPECT_EQ(s.gen->draws, 2);
  }
  {
    double rates[] = {1.0, 2.0, 4.0};
    Scripted s{0.5, 0.25, 0.125};
    double expected = -std::log(0.5) / 1.0 - std::log(0.25) / 2.0 - std::log(0.125) / 4.0;
    EXPECT_NEAR(s.dist.HypoExponential(3, rates), expected, 1e-12);
    EXPECT_EQ(s.gen->draws, 3);
  }
}

TEST(DistributionsDraws, BetaDrawsFirstShapeFirst) {
  Scripted s{0.5, 0.25};
  double g1 = -std::log(0.5);
  double g2 = -std::log(0.25);
  EXPECT_DOUBLE_EQ(s.dist.Beta(1.0, 1.0), g1 / (g1 + g2));
  EXPECT_EQ(s.gen->draws, 2);
}

TEST(DistributionsDraws, HyperExponentialPicksPhaseByCumulativeWeight) {
  // Weights 1, 1, 2 of total 4: cumulative fractions 0.25, 0.5, 1.
  double pairs[] = {1.0, 1.0, 10.0, 1.0, 100.0, 2.0};
  struct Case {
    double u;
    double rate;
  };
  for (Case c : {Case{0.1, 1.0}, Case{0.25, 10.0}, Case{0.4, 10.0}, Case{0.5, 100.0},
                 Case{0.99, 100.0}}) {
    Scripted s{c.u, 0.5};
    EXPECT_DOUBLE_EQ(s.dist.HyperExponential(3, pairs), -std::log(0.5) / c.rate) << c.u;
    EXPECT_EQ(s.gen->draws, 2);
  }
}

TEST(DistributionsDraws, HyperExponentialWalkOffTheEndTakesLastPhase) {
  // A uniform of exactly 1 (the Tausworthe generator can give it) reaches
  // past every cumulative fraction; so can rounding of the weights.
  double pairs[] = {1.0, 0.1, 10.0, 0.2, 100.0, 0.7};
  Scripted s{1.0, 0.5};
  EXPECT_DOUBLE_EQ(s.dist.HyperExponential(3, pairs), -std::log(0.5) / 100.0);
  EXPECT_EQ(s.gen->draws, 2);
  double single[] = {4.0, 3.0};
  Scripted t{1.0, 0.5};
  EXPECT_DOUBLE_EQ(t.dist.HyperExponential(1, single), -std::log(0.5) / 4.0);
}

TEST(DistributionsDraws, NormalRejectsOutsideCircleAndNegativeValues) {
  // Pair 1 lies outside the unit circle; pair 2 gives a negative value for
  // mean 0; pair 3 a positive one.
  Scripted s{0.99, 0.99, 0.25, 0.5, 0.75, 0.5};
  double w1 = 0.5;
  double S = 0.25;
  double expected = 2.0 * w1 * std::sqrt(-2.0 * std::log(S) / S);
  EXPECT_DOUBLE_EQ(s.dist.Normal(0.0, 4.0), expected);
  EXPECT_EQ(s.gen->draws, 6);
}

TEST(DistributionsDraws, LognormalHasNoSignTest) {
  Scripted s{0.25, 0.5};
  double w1 = -0.5;
  double S = 0.25;
  EXPECT_DOUBLE_EQ(s.dist.Lognormal(1.0, 1.0), std::exp(1.0 + w1 * std::sqrt(-2.0 * std::log(S) / S)));
  EXPECT_EQ(s.gen->draws, 2);
}

TEST(DistributionsDraws, NormalFarBelowZeroStopsAtTheBound) {
  Distributions d;
  d.SetGenerator(new MersenneTwister());
  d.GetGenerator()->srnd(1);
  EXPECT_EQ(d.Normal(-1e6, 1.0), 0.0);
  // Exactly the bounded number of pairs was consumed.
  MersenneTwister reference;
  reference.srnd(1);
  for (int64_t i = 0; i < 2 * int64_t{Distributions::MaxNormalAttempts}; ++i) reference.rnd();
  EXPECT_EQ(d.GetGenerator()->rnd(), reference.rnd());
}

TEST(DistributionsDraws, PolarDrawGivesUpOnADegenerateGenerator) {
  // A generator stuck at 0 never yields a pair inside the unit circle.
  Distributions d;
  d.SetGenerator(new Tausworthe());
  d.GetGenerator()->srnd(0);
  EXPECT_EQ(d.Normal(1.0, 1.0), 0.0);
  EXPECT_TRUE(std::isnan(d.Lognormal(1.0, 1.0)));
}

// Sample means of the rejection samplers and shape-dependent formulas, from a
// fixed stream; a wrong constant or branch moves them far beyond the margin.
TEST(DistributionsMoments, SampleMeansMatchTheDistributions) {
  Distributions d;
  d.SetGenerator(new MersenneTwister());
  d.GetGenerator()->srnd(2718);
  const int n = 200000;
  auto mean = [&](auto sample) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += sample();
    return sum / n;
  };
  EXPECT_NEAR(mean([&] { return d.Gamma(3.5, 2.0); }), 7.0, 0.05);
  EXPECT_NEAR(mean([&] { return d.Gamma(0.4, 2.0); }), 0.8, 0.02);
  EXPECT_NEAR(mean([&] { return d.Beta(2.0, 6.0); }), 0.25, 0.005);
  EXPECT_NEAR(mean([&] { return d.Beta(0.5, 0.5); }), 0.5, 0.005);
  EXPECT_NEAR(mean([&] { return d.Normal(50.0, 9.0); }), 50.0, 0.05);
  EXPECT_NEAR(mean([&] { return d.Lognormal(0.0, 0.25); }), std::exp(0.125), 0.01);
  EXPECT_NEAR(mean([&] { return d.Erlang(3.0, 6.0); }), 6.0, 0.06);
  EXPECT_NEAR(mean([&] { return d.Triangular(1.0, 4.0, 3.0); }), 8.0 / 3.0, 0.01);
  EXPECT_NEAR(mean([&] { return d.Weibull(2.0, 1.0); }), std::sqrt(std::numbers::pi) / 2.0, 0.01);
  EXPECT_NEAR(mean([&] { return d.Geometric(0.25); }), 3.0, 0.05);
  EXPECT_NEAR(mean([&] { return d.Pareto(1.0, 3.0); }), 1.5, 0.02);
  double pairs[] = {1.0, 1.0, 0.5, 3.0};
  EXPECT_NEAR(mean([&] { return d.HyperExponential(2, pairs); }), 0.25 * 1.0 + 0.75 * 2.0, 0.03);
}

TEST(DistributionsMoments, NormalWithNegativeMeanIsTruncatedAtZero) {
  Distributions d;
  d.SetGenerator(new MersenneTwister());
  d.GetGenerator()->srnd(99);
  for (int i = 0; i < 20000; ++i) ASSERT_GE(d.Normal(-1.0, 1.0), 0.0);
}

TEST(UserDistributions, GeneratorTypeSelectsAndSeeds) {
  UserDistributions tausworthe(1, 1234);
  auto* t = dynamic_cast<Tausworthe*>(tausworthe.GetGenerator());
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->state, 1234u);
  for (int32_t type : {0, 2, 5, -1}) {
    UserDistributions other(type, 31415);
    EXPECT_NE(dynamic_cast<LaggedFibonacci*>(other.GetGenerator()), nullptr) << type;
  }
  UserDistributions plain;
  EXPECT_NE(dynamic_cast<LaggedFibonacci*>(plain.GetGenerator()), nullptr);
}

TEST(UserDistributions, SetGeneratorReplacesAndOwns) {
  Distributions d;
  auto* mt = new MersenneTwister();
  d.SetGenerator(mt);
  EXPECT_EQ(d.GetGenerator(), mt);
  d.SetGenerator(mt);  // setting the same generator again keeps it alive
  mt->srnd(5489);
  EXPECT_EQ(mt->rnd_int32(), 3499211612u);
}

// Drawn during static initialisation, before main: the program-wide object
// must already be built and seeded.
struct StaticDraw {
  StaticDraw() : generatorPresent(TheDistribution && TheDistribution->GetGenerator()) {
    if (generatorPresent) value = TheDistribution->GetGenerator()->rnd();
  }
  bool generatorPresent = false;
  double value = -1.0;
};
const StaticDraw staticDraw;

TEST(TheDistribution, IsBuiltBeforeOtherStaticObjects) {
  ASSERT_TRUE(staticDraw.generatorPresent);
  ASSERT_NE(dynamic_cast<LaggedFibonacci*>(TheDistribution->GetGenerator()), nullptr);
  // The first draw of the process is element 0 of the block left by seeding
  // with 31415.
  ReferenceLaggedFibonacci reference(31415);
  reference.Block();
  EXPECT_EQ(staticDraw.value, reference.Block()[0]);
}

}  // namespace

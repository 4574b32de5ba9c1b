#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "simmgr/stats/Interval.h"
#include "simmgr/stats/RunningStats.h"
#include "simmgr/stats/StoppingRule.h"

namespace {

RunningStats Of(const std::vector<double>& xs) {
    RunningStats s;
    for (double x : xs) s.Add(x);
    return s;
}

RunningStats Bernoulli(int64_t ones, int64_t n) {
    RunningStats s;
    for (int64_t i = 0; i < n; ++i) s.Add(i < ones ? 1.0 : 0.0);
    return s;
}

}  // namespace

TEST(RunningStats, MatchesTextbookValues) {
    const RunningStats s = Of({2, 4, 4, 4, 5, 5, 7, 9});
    EXPECT_EQ(s.Count(), 8);
    EXPECT_DOUBLE_EQ(s.Mean(), 5.0);
    EXPECT_DOUBLE_EQ(s.Variance(), 32.0 / 7.0);
    EXPECT_FALSE(s.AllBinary());
    EXPECT_EQ(Of({}).Variance(), 0.0);
    EXPECT_EQ(Of({3}).Variance(), 0.0);
}

TEST(RunningStats, VarianceOfVarianceMatchesHandSumsAndKurtosis) {
    // Deviations -3 -1 -1 -1 0 0 2 4 (skewed, so a wrong third moment shows
    // in the fourth): sum d^2 = 32, sum d^4 = 356, 356 / 32^2 - 1/8.
    EXPECT_NEAR(Of({2, 4, 4, 4, 5, 5, 7, 9}).VarianceOfVariance(), 356.0 / 1024.0 - 0.125, 1e-12);
    // No spread: nothing to be unsure of; one dominant value: near 1.
    EXPECT_EQ(Of({3, 3, 3}).VarianceOfVariance(), 0.0);
    EXPECT_EQ(Of({}).VarianceOfVariance(), 0.0);
    RunningStats dominated = Bernoulli(0, 99);
    dominated.Add(1000);
    EXPECT_GT(dominated.VarianceOfVariance(), 0.95);
    // Symmetric two-point data: every d^4 equal, so 0 up to rounding.
    EXPECT_NEAR(Bernoulli(500, 1000).VarianceOfVariance(), 0.0, 1e-12);
    // Far from zero, where raw power sums lose every digit.
    RunningStats offset;
    for (int i = 0; i < 1000; ++i) offset.Add(1e9 + (i % 2 ? 1.0 : -1.0));
    EXPECT_NEAR(offset.VarianceOfVariance(), 0.0, 1e-9);
    // Normal data: (kurtosis - 1) / n = 2 / n; n VOV has a spread of about
    // sqrt(24 / n) = 0.015 here.
    std::mt19937_64 rng(5);
    std::normal_distribution<double> normal(4.0, 3.0);
    RunningStats s;
    const int n = 100000;
    for (int i = 0; i < n; ++i) s.Add(normal(rng));
    EXPECT_NEAR(n * s.VarianceOfVariance(), 2.0, 0.1);
}

TEST(RunningStats, StaysAccurateFarFromZero) {
    // The naive sum-of-squares formula loses every digit here.
    RunningStats s;
    for (int i = 0; i < 1000; ++i) s.Add(1e9 + (i % 2 ? 1.0 : -1.0));
    EXPECT_NEAR(s.Mean(), 1e9, 1e-6);
    EXPECT_NEAR(s.Variance(), 1000.0 / 999.0, 1e-6);
}

TEST(RunningStats, MergeEqualsOneLongStream) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-3, 10);
    RunningStats all, a, b, empty;
    for (int i = 0; i < 500; ++i) {
        const double x = u(rng);
        all.Add(x);
        (i < 123 ? a : b).Add(x);
    }
    RunningStats merged = a;
    merged.Merge(b);
    merged.Merge(empty);
    EXPECT_EQ(merged.Count(), all.Count());
    EXPECT_NEAR(merged.Mean(), all.Mean(), 1e-12);
    EXPECT_NEAR(merged.Variance(), all.Variance(), 1e-10);
    RunningStats fromEmpty;
    fromEmpty.Merge(a);
    EXPECT_EQ(fromEmpty.Count(), a.Count());
    EXPECT_DOUBLE_EQ(fromEmpty.Mean(), a.Mean());
}

TEST(RunningStats, TracksZeroOneData) {
    RunningStats s = Bernoulli(3, 10);
    EXPECT_TRUE(s.AllBinary());
    EXPECT_EQ(s.Ones(), 3);
    RunningStats other = Of({0.5});
    s.Merge(other);
    EXPECT_FALSE(s.AllBinary());
}

TEST(Intervals, StudentUsesTheTQuantile) {
    // n = 10, s = 1: half-width t(0.975, 9) / sqrt(10) with t = 2.262157.
    RunningStats s = Of({-1, 1, -1, 1, -1, 1, -1, 1, -1, 1});
    const double sd = s.StdDev();
    const Interval ci = StudentInterval(s, 0.95);
    ASSERT_TRUE(ci.valid);
    EXPECT_NEAR((ci.high - ci.low) / 2, 2.262157 * sd / std::sqrt(10.0), 1e-5);
    EXPECT_NEAR((ci.high + ci.low) / 2, 0.0, 1e-12);
    EXPECT_FALSE(StudentInterval(Of({1}), 0.95).valid);
    // Wider at higher confidence.
    EXPECT_GT(StudentInterval(s, 0.99).high, ci.high);
}

TEST(Intervals, WilsonMatchesPublishedValuesAndStaysInUnitRange) {
    const Interval half = WilsonInterval(Bernoulli(5, 10), 0.95);
    EXPECT_NEAR(half.low, 0.2366, 1e-4);
    EXPECT_NEAR(half.high, 0.7634, 1e-4);
    // All zeros: the t interval collapses to a point, Wilson does not.
    const RunningStats zeros = Bernoulli(0, 10);
    const Interval w = WilsonInterval(zeros, 0.95);
    EXPECT_DOUBLE_EQ(w.low, 0.0);
    EXPECT_NEAR(w.high, 0.2775, 1e-4);
    const Interval t = StudentInterval(zeros, 0.95);
    EXPECT_DOUBLE_EQ(t.high - t.low, 0.0);
    const Interval ones = WilsonInterval(Bernoulli(10, 10), 0.95);
    EXPECT_NEAR(ones.low, 1.0 - 0.2775, 1e-4);
    EXPECT_DOUBLE_EQ(ones.high, 1.0);
    EXPECT_FALSE(WilsonInterval(Of({0.5, 1}), 0.95).valid);
    // A bound that is 0 or 1 is exactly that, at any n.
    EXPECT_EQ(WilsonInterval(Bernoulli(0, 1000), 0.95).low, 0.0);
    EXPECT_EQ(WilsonInterval(Bernoulli(1000, 1000), 0.95).high, 1.0);
}

namespace {

// The probability that the interval of `method` holds p when n trials are
// summed exactly over the binomial outcomes.
template <typename Method>
double FixedCountCoverage(Method method, int64_t n, double p) {
    double covered = 0.0;
    for (int64_t k = 0; k <= n; ++k) {
        const double logMass = std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) +
                               (k > 0 ? k * std::log(p) : 0.0) + (n - k > 0 ? (n - k) * std::log1p(-p) : 0.0);
        const Interval ci = method(k, n);
        if (ci.low <= p && p <= ci.high) covered += std::exp(logMass);
    }
    return covered;
}

}  // namespace

TEST(Intervals, ExactMatchesPublishedValuesAndCoversItsLevelWhereWilsonDoesNot) {
    const Interval half = ClopperPearsonInterval(Bernoulli(5, 10), 0.95);
    EXPECT_NEAR(half.low, 0.18709, 1e-5);
    EXPECT_NEAR(half.high, 0.81291, 1e-5);
    const Interval none = ClopperPearsonInterval(Bernoulli(0, 10), 0.95);
    EXPECT_EQ(none.low, 0.0);
    EXPECT_NEAR(none.high, 1.0 - std::pow(0.025, 0.1), 1e-12);
    const Interval all = ClopperPearsonInterval(Bernoulli(10, 10), 0.95);
    EXPECT_NEAR(all.low, std::pow(0.025, 0.1), 1e-12);
    EXPECT_EQ(all.high, 1.0);
    EXPECT_FALSE(ClopperPearsonInterval(Of({0.5, 1}), 0.95).valid);

    // Summed over every outcome: the exact interval never covers less than
    // 95 %; Wilson does, for instance at p = 0.9 with the 1000 replications
    // that such a cell stops at.
    auto exact = [](int64_t k, int64_t n) { return ClopperPearsonInterval(Bernoulli(k, n), 0.95); };
    auto wilson = [](int64_t k, int64_t n) { return WilsonInterval(Bernoulli(k, n), 0.95); };
    for (double p : {0.001, 0.0123, 0.0613, 0.3, 0.5, 0.9, 0.997})
        EXPECT_GE(FixedCountCoverage(exact, 1000, p), 0.95) << "p = " << p;
    EXPECT_LT(FixedCountCoverage(wilson, 1000, 0.9), 0.95);

    // The bound of n trials without an event: P(no event) is the error there.
    for (int64_t n : {1, 10, 3841, 200000})
        EXPECT_NEAR(std::pow(1.0 - NoEventBound(n, 0.005), static_cast<double>(n)), 0.005, 1e-9) << n;
}

TEST(Intervals, StudentCoversTheMeanAtRoughlyTheNominalRate) {
    std::mt19937 rng(11);
    std::normal_distribution<double> normal(3.0, 2.0);
    int covered = 0;
    const int trials = 2000;
    for (int t = 0; t < trials; ++t) {
        RunningStats s;
        for (int i = 0; i < 8; ++i) s.Add(normal(rng));
        const Interval ci = StudentInterval(s, 0.9);
        covered += ci.low <= 3.0 && 3.0 <= ci.high;
    }
    EXPECT_NEAR(covered / double(trials), 0.9, 0.025);
}

TEST(StoppingRule, NeedsMinimumCountEveryVariableAndPrecision) {
    PrecisionGoal goal;
    goal.relative = 0.1;
    goal.absolute = 0.01;
    goal.minReps = 100;
    StoppingRule rule(goal);
    // p = 0.5, n = 400: exact half-width ~ 0.0503, relative ~ 0.1006;
    // n = 420: relative ~ 0.098.
    EXPECT_TRUE(rule.VariableMet(Bernoulli(210, 420)));
    EXPECT_FALSE(rule.VariableMet(Bernoulli(200, 400)));
    // Precise enough but below the minimum count.
    PrecisionGoal strictMin = goal;
    strictMin.minReps = 1000;
    EXPECT_FALSE(StoppingRule(strictMin).VariableMet(Bernoulli(210, 420)));

    VariableStats r;
    r[0] = Bernoulli(210, 420);
    EXPECT_TRUE(rule.Met(r, 1));
    EXPECT_FALSE(rule.Met(r, 2)) << "a variable that has not reported yet blocks stopping";
    r[1] = Bernoulli(20, 400);   // p = 0.05: far from 10 %
    EXPECT_FALSE(rule.Met(r, 2));
    EXPECT_FALSE(rule.Met(VariableStats{}, 0));
}

TEST(StoppingRule, ZeroMeanUsesAbsolutePrecisionWithATenthOfTheError) {
    PrecisionGoal goal;
    goal.absolute = 0.01;
    goal.minReps = 10;
    StoppingRule rule(goal);
    // No event in n: the bound 1 - 0.005^(1/n) is 0.01 at n = ln 0.005 / ln 0.99 = 527.2.
    EXPECT_FALSE(rule.VariableMet(Bernoulli(0, 527)));
    EXPECT_TRUE(rule.VariableMet(Bernoulli(0, 528)));
    EXPECT_TRUE(rule.NoEvent(Bernoulli(0, 528)));
    EXPECT_FALSE(rule.NoEvent(Bernoulli(1, 528)));
    const Interval bound = rule.JudgedInterval(Bernoulli(0, 528));
    EXPECT_EQ(bound.low, 0.0);
    EXPECT_DOUBLE_EQ(bound.high, NoEventBound(528, 0.005));
    // A t interval would have stopped at once on all-zero data.
    VariableStats r;
    r[0] = Bernoulli(0, 20);
    EXPECT_FALSE(rule.Met(r, 1));

    // The rule of earlier releases, Wilson throughout: z^2 / n, so
    // 3.84 / 300 > 0.01 > 3.84 / 500.
    goal.binary = PrecisionGoal::Binary::Wilson;
    const StoppingRule wilson(goal);
    EXPECT_FALSE(wilson.VariableMet(Bernoulli(0, 300)));
    EXPECT_TRUE(wilson.VariableMet(Bernoulli(0, 500)));
    EXPECT_DOUBLE_EQ(wilson.JudgedInterval(Bernoulli(3, 500)).high, WilsonInterval(Bernoulli(3, 500), 0.95).high);
}

namespace {

// n observations: `nonzero` hits of weight 1e-8 each, one of them replaced
// by `largest`, the rest 0.
RunningStats Weighted(int64_t n, int64_t nonzero, double largest) {
    RunningStats s;
    for (int64_t i = 0; i < n; ++i) s.Add(i == 0 ? largest : i < nonzero ? 1e-8 : 0.0);
    return s;
}

PrecisionGoal WeightedGoal() {
    PrecisionGoal goal;
    goal.weighted = true;
    goal.minReps = 2;
    goal.relative = 10.0;   // wide, so only the weights decide
    return goal;
}

}  // namespace

TEST(WeightedStats, NonZeroSumAndLargestMergeExactly) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> logWeight(std::log(1e-9), std::log(1e-6));
    std::bernoulli_distribution hit(0.05);
    std::vector<double> xs;
    for (int i = 0; i < 3000; ++i) xs.push_back(hit(rng) ? std::exp(logWeight(rng)) : 0.0);
    const RunningStats whole = Of(xs);
    RunningStats merged;
    merged.Merge(RunningStats{});
    for (size_t from = 0; from < xs.size(); from += 700)
        merged.Merge(Of({xs.begin() + static_cast<long>(from), xs.begin() + static_cast<long>(std::min(from + 700, xs.size()))}));
    EXPECT_EQ(merged.NonZero(), whole.NonZero());
    EXPECT_EQ(merged.Largest(), whole.Largest());
    EXPECT_NEAR(merged.VarianceOfVariance(), whole.VarianceOfVariance(), 1e-12 * whole.VarianceOfVariance());
    // Uneven pieces down to single observations, merged either way round.
    RunningStats ragged;
    for (size_t from = 0, size = 1; from < xs.size(); from += size, size = size * 3 % 997 + 1) {
        const RunningStats piece = Of({xs.begin() + static_cast<long>(from),
                                       xs.begin() + static_cast<long>(std::min(from + size, xs.size()))});
        RunningStats next = piece;
        next.Merge(ragged);
        ragged = from % 2 ? next : (ragged.Merge(piece), ragged);
    }
    EXPECT_EQ(ragged.Count(), whole.Count());
    EXPECT_NEAR(ragged.Variance(), whole.Variance(), 1e-12 * whole.Variance());
    EXPECT_NEAR(ragged.VarianceOfVariance(), whole.VarianceOfVariance(), 1e-12 * whole.VarianceOfVariance());
    EXPECT_DOUBLE_EQ(merged.Sum(), whole.Sum());
    EXPECT_DOUBLE_EQ(merged.LargestShare(), whole.LargestShare());
    EXPECT_NEAR(merged.RelativeError(), whole.RelativeError(), 1e-12);
    EXPECT_EQ(whole.Largest(), *std::max_element(xs.begin(), xs.end()));

    const RunningStats none = Of({0, 0, 0});
    EXPECT_EQ(none.LargestShare(), 0.0);
    EXPECT_TRUE(std::isinf(none.RelativeError()));
}

TEST(WeightedStats, SettledNeedsThirtyNonZeroAndNoDominantObservation) {
    const StoppingRule rule(WeightedGoal());   // share threshold 10 / 2 = 5: never reached here
    EXPECT_FALSE(rule.VariableMet(Weighted(1000, 29, 1e-8)));
    EXPECT_EQ(rule.WeightDiagnostic(Weighted(1000, 29, 1e-8)), "unreliable: 29 non-zero");
    EXPECT_TRUE(rule.VariableMet(Weighted(1000, 30, 1e-8)));
    EXPECT_EQ(rule.WeightDiagnostic(Weighted(1000, 30, 1e-8)), "ok");
    EXPECT_EQ(rule.WeightDiagnostic(Weighted(1000, 0, 0.0)), "unreliable: 0 non-zero");
    // The replications expected: until 30 hits, by the rate seen so far.
    EXPECT_EQ(rule.EstimatedReplications({{0, Weighted(1000, 15, 1e-8)}}), 2000);
    EXPECT_EQ(rule.EstimatedReplications({{0, Weighted(1000, 0, 0.0)}}), -1);

    // At the default precision 0.1 one observation may hold at most 5% of
    // the sum: 99 hits of 1e-8 and one of w give a share of w / (w + 99e-8).
    PrecisionGoal goal = WeightedGoal();
    goal.relative = 0.1;
    const StoppingRule strict(goal);
    const double atLimit = 0.05 * 99e-8 / 0.95;
    const RunningStats below = Weighted(100, 100, atLimit * 0.999);
    const RunningStats above = Weighted(100, 100, atLimit * 1.001);
    EXPECT_LT(below.LargestShare(), 0.05);
    EXPECT_GT(above.LargestShare(), 0.05);
    EXPECT_TRUE(strict.WeightsSettled(below));
    EXPECT_FALSE(strict.WeightsSettled(above));
    EXPECT_EQ(strict.WeightDiagnostic(above), "unreliable: one observation holds 5% of the sum");
    EXPECT_EQ(strict.WeightDiagnostic(Weighted(100, 100, 99e-8 * 0.3 / 0.7)),
              "unreliable: one observation holds 30% of the sum");
}

TEST(WeightedStats, JudgedByStudentTEvenForZeroOneData) {
    // 0/1 data under a change of measure is still weighted: Student-t, and
    // all-zero data never meets the rule by the absolute precision.
    PrecisionGoal plainGoal;
    plainGoal.minReps = 10;
    PrecisionGoal weightedGoal = plainGoal;
    weightedGoal.weighted = true;
    const StoppingRule plain(plainGoal), weighted(weightedGoal);
    const RunningStats ones = Bernoulli(300, 1000);
    EXPECT_EQ(weighted.JudgedInterval(ones).low, WeightedInterval(ones, plainGoal.confidence).low);
    // Plain data that is not 0/1 keeps the plain Student-t interval.
    const RunningStats spread = Of({2, 4, 4, 4, 5, 5, 7, 9});
    EXPECT_EQ(plain.JudgedInterval(spread).low, StudentInterval(spread, plainGoal.confidence).low);
    EXPECT_EQ(plain.JudgedInterval(spread).high, StudentInterval(spread, plainGoal.confidence).high);

    const RunningStats zeros = Bernoulli(0, 6000);
    EXPECT_TRUE(plain.VariableMet(zeros));
    EXPECT_FALSE(weighted.VariableMet(zeros));
}

TEST(WeightedStats, ASumThatOverflowsIsUnreliableAndNeverMet) {
    // Equal weights near the largest double: the mean and the spread stay
    // finite, the sum does not.
    RunningStats huge;
    for (int i = 0; i < 100; ++i) huge.Add(1e307);
    ASSERT_TRUE(std::isinf(huge.Sum()));
    EXPECT_TRUE(std::isnan(huge.LargestShare())) << "no share of an infinite sum is known";
    const StoppingRule rule(WeightedGoal());
    EXPECT_FALSE(rule.WeightsSettled(huge));
    EXPECT_FALSE(rule.VariableMet(huge));
    EXPECT_EQ(rule.WeightDiagnostic(huge), "unreliable: the sum is not finite");
    EXPECT_EQ(rule.EstimatedReplications({{0, huge}}), -1);

    PrecisionGoal plainGoal;
    plainGoal.minReps = 2;
    EXPECT_FALSE(StoppingRule(plainGoal).VariableMet(huge)) << "nor does a plain run stop on it";
}

TEST(WeightedStats, IntervalBoundsTheVarianceByHowWellItIsKnown) {
    // Light-tailed weights: the variance is well known, and the interval is
    // the Student-t one widened by under 4 %.
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> light(0.5e-8, 1.5e-8);
    RunningStats settled;
    for (int i = 0; i < 1000; ++i) settled.Add(light(rng));
    const Interval plain = StudentInterval(settled, 0.95);
    const Interval bounded = WeightedInterval(settled, 0.95);
    const double widening = bounded.HalfWidthAround(settled.Mean()) / plain.HalfWidthAround(settled.Mean());
    EXPECT_GT(widening, 1.0);
    EXPECT_LT(widening, 1.04);
    EXPECT_NEAR((bounded.low + bounded.high) / 2, settled.Mean(), 1e-12 * settled.Mean());

    // One huge weight carries nearly all the variance: its variance is as
    // good as unknown (VOV near 1), and the variance is taken at
    // 1 + 1.645 times the estimate, the half-width at about 1.63 times.
    RunningStats lucky = settled;
    lucky.Add(1e-5);
    const double wide = WeightedInterval(lucky, 0.95).HalfWidthAround(lucky.Mean()) /
                        StudentInterval(lucky, 0.95).HalfWidthAround(lucky.Mean());
    EXPECT_GT(lucky.VarianceOfVariance(), 0.99);
    EXPECT_NEAR(wide, std::sqrt(1.0 + 1.6449 * std::sqrt(lucky.VarianceOfVariance())), 1e-3);

    EXPECT_FALSE(WeightedInterval(Of({1e-8}), 0.95).valid);
    // Weights whose fourth powers overflow leave the variance's own spread
    // unknown: no interval, so the rule cannot stop on it.
    RunningStats overflowing = Of({0, 1e100, 0, 3e100});
    EXPECT_FALSE(WeightedInterval(overflowing, 0.95).valid);
    EXPECT_FALSE(StoppingRule(WeightedGoal()).VariableMet(overflowing));
}

// weighted_coverage -- how often the intervals of weighted cells (reward x
// likelihood ratio under a change of measure: Student-t with the variance at
// its upper bound) hold the true mean when simmgr's rule stopped the run, on
// synthetic streams whose mean is known.
//
// Replication i observes B_i * W_i with B_i ~ Bernoulli(p) and W_i
// log-normal with mean 1 and shape sigma (W = exp(sigma Z - sigma^2 / 2)),
// so the mean is p, most observations are 0 and the non-zero ones spread
// over orders of magnitude, heavier-tailed as sigma grows (E[W^2] =
// e^(sigma^2): 1.3 at 0.5, 9.5 at 1.5, 55 at 2), like the weights of a change
// of measure that fits its cell less and less well.
//
// Each run is fed block by block to the BlockLedger simmgr uses, under the
// weighted goal (its interval, at least 30 non-zero observations, none above
// half the relative precision of the sum), and ends where the ledger
// decides: converged, or capped at 200 000 replications. A run covers when
// its interval holds p. Per point the bench prints the coverage
// of all runs and of the converged ones, with 95 % Clopper-Pearson
// intervals and the misses below and above, the share converged and the
// mean replications.
//
// Usage: weighted_coverage [--runs N] [--p LIST] [--sigma LIST] [--blocks LIST]
//                          [--rel R] [--seed S]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "coverage_text.h"
#include "simmgr/blocks/BlockLedger.h"
#include "simmgr/stats/StoppingRule.h"

namespace {

constexpr int64_t kMaxReps = 200000;   // simmgr's default --max-reps

struct Outcome {
    int64_t reps = 0;
    bool converged = false;
    Interval ci;
};

Outcome Run(const StoppingRule& rule, int64_t block, double p, double sigma, std::mt19937_64& rng) {
    std::bernoulli_distribution hit(p);
    std::normal_distribution<double> z;
    BlockLedger ledger(kMaxReps / block, block, &rule, 1);
    for (int64_t j = 0; !ledger.Decided(); ++j) {
        BlockOutcome outcome;
        outcome.replications = block;
        RunningStats& s = outcome.stats[0];
        for (int64_t r = 0; r < block; ++r) s.Add(hit(rng) ? std::exp(sigma * z(rng) - sigma * sigma / 2) : 0.0);
        ledger.Record(j, outcome);
    }
    Outcome o;
    o.reps = ledger.PrefixBlocks() * block;
    o.converged = ledger.State() == BlockLedger::Verdict::Converged;
    o.ci = rule.JudgedInterval(ledger.PrefixStats().at(0));
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    int64_t runs = 2000;
    uint64_t seed = 20261209;
    double rel = 0.1;
    std::vector<double> ps = {0.01, 0.1, 0.5};
    std::vector<double> sigmas = {0.5, 1, 1.5, 2};
    std::vector<double> blocks = {100, 1000};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--runs") runs = std::atoll(argv[i + 1]);
        else if (opt == "--p") ps = Numbers(argv[i + 1]);
        else if (opt == "--sigma") sigmas = Numbers(argv[i + 1]);
        else if (opt == "--blocks") blocks = Numbers(argv[i + 1]);
        else if (opt == "--rel") rel = std::strtod(argv[i + 1], nullptr);
        else if (opt == "--seed") seed = std::strtoull(argv[i + 1], nullptr, 10);
        else {
            std::fprintf(stderr, "weighted_coverage: unknown option %s\n", opt.c_str());
            return 2;
        }
    }
    std::printf("weighted cells, rel %g, %lld runs a point; coverage %% [95%% Clopper-Pearson] misses below/above\n",
                rel, static_cast<long long>(runs));
    std::printf("%-7s %5s %6s %10s %9s  %-24s %-9s  %-24s\n", "p", "sigma", "block", "mean reps", "converged",
                "all runs", "", "converged runs");
    for (double p : ps) {
        for (double sigma : sigmas) {
            for (double b : blocks) {
                PrecisionGoal goal;
                goal.relative = rel;
                goal.weighted = true;
                const StoppingRule rule(goal);
                const auto block = static_cast<int64_t>(b);
                std::mt19937_64 rng(seed ^ (static_cast<uint64_t>(p * 1e9) * 31 + static_cast<uint64_t>(sigma * 100) * 7 +
                                            static_cast<uint64_t>(block)));
                int64_t reps = 0, converged = 0, below = 0, above = 0, convCovered = 0;
                for (int64_t r = 0; r < runs; ++r) {
                    const Outcome o = Run(rule, block, p, sigma, rng);
                    reps += o.reps;
                    const bool low = p < o.ci.low, high = p > o.ci.high;
                    below += low;
                    above += high;
                    if (o.converged) {
                        ++converged;
                        convCovered += !low && !high;
                    }
                }
                std::printf("%-7g %5g %6lld %10.0f %8.1f%%  %s %4lld/%-4lld  %s\n", p, sigma,
                            static_cast<long long>(block), static_cast<double>(reps) / runs, 100.0 * converged / runs,
                            CoverageText(runs - below - above, runs).c_str(), static_cast<long long>(below),
                            static_cast<long long>(above), CoverageText(convCovered, converged).c_str());
                std::fflush(stdout);
            }
        }
    }
    return 0;
}

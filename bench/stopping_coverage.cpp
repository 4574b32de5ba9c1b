// stopping_coverage -- how often the intervals simmgr reports hold the true
// probability when the run stopped itself, on synthetic 0/1 streams.
//
// An experiment of the default study has three cells (a failure probability
// at t = 30, 180 and 365) observed on the same replications, and the rarest
// one usually decides when the run stops. The streams here have the same
// shape: replication i draws one uniform U_i and cell c observes
// [U_i < p_c], with p_c = 1 - (1 - p)^m_c and m = 1, 6, 12 (a constant
// hazard read at times in the ratio 30 : 180 : 365), so the cells are nested
// like the real ones and cell 0 has probability p.
//
// Each sequential run is judged by simmgr's own StoppingRule on the prefix
// statistics after every block, exactly as the block ledger does, and ends
// at the first block boundary where the rule is met or at the cap. A run
// covers a cell when the cell's stopping interval at that boundary holds
// p_c. Per point (p, block size, relative precision) the bench prints the
// coverage of every cell and of the deciding cell (the one whose progress
// was last to reach 1), each with its 95 % Clopper-Pearson interval and the
// misses below and above, and the mean replications spent.
//
// Speed. A run of p = 1e-4 may take 200 000 replications, so the bench does
// not judge every boundary. Between two blocks holding an event the counts
// of ones are fixed and only n grows; the half-width relative to the mean
// then never shrinks for a cell with ones (checked numerically for Wilson
// for every k < 300 and n < 300 000, and by --verify below for the rule
// judged), while a cell with no ones only gets closer to its absolute
// precision. So a cell with k ones is met for n from --min-reps up to a
// last n that depends on k alone, found once by bisection with the rule's
// own Progress(); a stretch without events can first meet the rule at its
// first boundary past --min-reps and past the all-zero cells' first n, and
// that is the only boundary judged there, besides each block that holds an
// event. --verify replays runs block by block through BlockLedger itself
// and counts the runs whose stop differs.
//
// Usage: stopping_coverage [--runs N] [--p LIST] [--blocks LIST] [--rel LIST]
//                          [--rule exact|wilson] [--seed S] [--verify N]
// --rule wilson judges 0/1 cells as earlier releases did, for comparison.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "coverage_text.h"
#include "simmgr/blocks/BlockLedger.h"
#include "simmgr/stats/StoppingRule.h"

namespace {

constexpr int kCells = 3;
constexpr int kHazardMultiple[kCells] = {1, 6, 12};
constexpr int64_t kMaxReps = 200000;   // simmgr's default --max-reps

struct Point {
    double p;
    int64_t block;
    double rel;
};

// A cell's statistics of n observations of which k are 1, built with
// RunningStats' own merge (doubling), so the rule sees what it sees in a run.
RunningStats BinaryStats(int64_t n, int64_t k) {
    auto repeated = [](double x, int64_t count) {
        RunningStats result, power;
        power.Add(x);
        for (; count > 0; count >>= 1) {
            if (count & 1) result.Merge(power);
            RunningStats twice = power;
            twice.Merge(power);
            power = twice;
        }
        return result;
    };
    RunningStats s = repeated(1.0, k);
    s.Merge(repeated(0.0, n - k));
    return s;
}

// Where one sequential run stopped and what it reported.
struct RunEnd {
    int64_t reps = 0;
    bool met = false;
    int64_t ones[kCells] = {};
};

// The replications (1-based) at which the largest cell observes a 1, drawn
// one gap at a time; each comes with the uniform that decides the others.
class EventStream {
public:
    EventStream(const double (&prob)[kCells], std::mt19937_64& rng) : prob(prob), rng(rng) {}
    // Next replication with an event, and which cells see it in `hits`.
    int64_t Next(bool (&hits)[kCells]) {
        const double top = prob[kCells - 1];
        if (top >= 1.0) {
            ++position;
        } else {
            const double u = Uniform();
            position += 1 + static_cast<int64_t>(std::floor(std::log(u) / std::log1p(-top)));
        }
        const double v = Uniform() * top;   // U given U < top
        for (int c = 0; c < kCells; ++c) hits[c] = v < prob[c];
        return position;
    }

private:
    double Uniform() { return (static_cast<double>(rng() >> 11) + 0.5) * 0x1.0p-53; }
    const double (&prob)[kCells];
    std::mt19937_64& rng;
    int64_t position = 0;
};

// Whether the rule holds for one cell of n observations with k ones. For
// k >= 1 it holds from --min-reps up to a last n (the relative half-width
// never shrinks as n grows), for k = 0 from a first n on (the bound only
// shrinks); both ends are found by bisection with the rule's own Progress()
// and remembered per k.
class CellVerdicts {
public:
    CellVerdicts(const StoppingRule& rule, const PrecisionGoal& goal)
        : rule(rule), minReps(goal.minReps), last(kMaxReps + 1, kUnknown) {
        int64_t a = 1, b = kMaxReps + 1;   // first n met with no ones; kMaxReps + 1: never
        while (a < b) {
            const int64_t mid = a + (b - a) / 2;
            if (MetAt(mid, 0)) b = mid; else a = mid + 1;
        }
        firstWithoutOnes = a;
    }

    bool Met(int64_t n, int64_t k) {
        if (n < minReps) return false;
        return k == 0 ? n >= firstWithoutOnes : n <= LastMet(k);
    }
    int64_t FirstWithoutOnes() const { return firstWithoutOnes; }
    // The largest n met with k >= 1 ones (k - 1 when none is).
    int64_t LastMet(int64_t k) {
        int64_t& known = last[static_cast<size_t>(k)];
        if (known != kUnknown) return known;
        int64_t a = k - 1, b = kMaxReps;   // the answer is in [a, b]
        while (a < b) {
            const int64_t mid = b - (b - a) / 2;
            if (MetAt(mid, k)) a = mid; else b = mid - 1;
        }
        return known = a;
    }

private:
    static constexpr int64_t kUnknown = -2;
    bool MetAt(int64_t n, int64_t k) const { return rule.Progress(BinaryStats(n, k)) <= 1.0; }

    const StoppingRule& rule;
    int64_t minReps;
    int64_t firstWithoutOnes = 0;
    std::vector<int64_t> last;   // by k
};

class SequentialRun {
public:
    SequentialRun(CellVerdicts& verdicts, const PrecisionGoal& goal, int64_t block)
        : verdicts(verdicts), goal(goal), block(block) {}

    RunEnd Run(const double (&prob)[kCells], std::mt19937_64& rng) {
        RunEnd end;
        EventStream events(prob, rng);
        bool hits[kCells];
        int64_t next = events.Next(hits);
        int64_t judged = 0;   // the last boundary judged
        while (true) {
            const int64_t eventBoundary = std::min(RoundUp(next), kMaxReps);
            if (StopBetween(judged, eventBoundary, end)) return end;
            // Every event inside the block that ends at eventBoundary.
            while (next <= eventBoundary) {
                for (int c = 0; c < kCells; ++c) end.ones[c] += hits[c] ? 1 : 0;
                next = events.Next(hits);
            }
            judged = eventBoundary;
            end.met = Judge(eventBoundary, end);
            if (end.met || eventBoundary == kMaxReps) {
                end.reps = eventBoundary;
                return end;
            }
        }
    }

private:
    int64_t RoundUp(int64_t reps) const { return (reps + block - 1) / block * block; }

    bool Judge(int64_t reps, const RunEnd& end) {
        for (int64_t k : end.ones) {
            if (!verdicts.Met(reps, k)) return false;
        }
        return true;
    }

    // Boundaries strictly between `from` and `to` see no new event, so the
    // rule holds at one of them only if it holds at the first boundary
    // past --min-reps and past the all-zero cells' first n; returns true,
    // with `end` filled, when it does.
    bool StopBetween(int64_t from, int64_t to, RunEnd& end) {
        int64_t first = std::max(from + block, RoundUp(goal.minReps));
        for (int64_t k : end.ones) {
            if (k == 0) first = std::max(first, RoundUp(verdicts.FirstWithoutOnes()));
        }
        if (first >= to || !Judge(first, end)) return false;
        end.met = true;
        end.reps = first;
        return true;
    }

    CellVerdicts& verdicts;
    const PrecisionGoal& goal;
    int64_t block;
};

// The same run, replayed block by block through the ledger simmgr uses.
RunEnd ReplayThroughLedger(const StoppingRule& rule, int64_t block, const double (&prob)[kCells],
                           std::mt19937_64& rng) {
    const int64_t blocks = kMaxReps / block;
    BlockLedger ledger(blocks, block, &rule, kCells);
    EventStream events(prob, rng);
    bool hits[kCells];
    int64_t next = events.Next(hits);
    RunEnd end;
    for (int64_t j = 0; j < blocks && !ledger.Decided(); ++j) {
        BlockOutcome outcome;
        outcome.replications = block;
        for (int64_t r = j * block + 1; r <= (j + 1) * block; ++r) {
            const bool event = r == next;
            for (int c = 0; c < kCells; ++c) outcome.stats[c].Add(event && hits[c] ? 1.0 : 0.0);
            if (event) next = events.Next(hits);
        }
        ledger.Record(j, outcome);
    }
    end.reps = ledger.PrefixBlocks() * block;
    end.met = ledger.State() == BlockLedger::Verdict::Converged;
    for (int c = 0; c < kCells; ++c) end.ones[c] = ledger.PrefixStats().at(c).Ones();
    return end;
}

struct Tally {
    int64_t runs = 0, reps = 0, met = 0;
    int64_t below[kCells + 1] = {}, above[kCells + 1] = {};   // index kCells: the deciding cell
};

void Score(const StoppingRule& rule, const double (&prob)[kCells], const RunEnd& end, Tally& t) {
    ++t.runs;
    t.reps += end.reps;
    t.met += end.met ? 1 : 0;
    int deciding = 0;
    double slowest = -1.0;
    for (int c = 0; c < kCells; ++c) {
        const RunningStats s = BinaryStats(end.reps, end.ones[c]);
        const Interval ci = rule.JudgedInterval(s);
        const bool low = prob[c] < ci.low, high = prob[c] > ci.high;
        t.below[c] += low;
        t.above[c] += high;
        const double progress = rule.Progress(s);
        if (progress > slowest) {
            slowest = progress;
            deciding = c;
        }
    }
    const Interval ci = rule.JudgedInterval(BinaryStats(end.reps, end.ones[deciding]));
    t.below[kCells] += prob[deciding] < ci.low;
    t.above[kCells] += prob[deciding] > ci.high;
}

void Print(const Point& pt, const Tally& t) {
    std::printf("%-8g %6lld %5.3g %10.0f %6.1f%%", pt.p, static_cast<long long>(pt.block), pt.rel,
                static_cast<double>(t.reps) / t.runs, 100.0 * t.met / t.runs);
    for (int c = 0; c <= kCells; ++c) {
        const int64_t covered = t.runs - t.below[c] - t.above[c];
        std::printf("  %s %4lld/%-4lld", CoverageText(covered, t.runs).c_str(),
                    static_cast<long long>(t.below[c]), static_cast<long long>(t.above[c]));
    }
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int64_t runs = 10000, verify = 0;
    uint64_t seed = 20261209;
    std::vector<double> ps = {1e-4, 1e-3, 0.01, 0.0613, 0.2, 0.5, 0.9};
    std::vector<double> blocks = {1, 10, 100, 1000};
    std::vector<double> rels = {0.1, 0.05};
    PrecisionGoal::Binary binary = PrecisionGoal::Binary::Exact;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--runs") runs = std::atoll(argv[i + 1]);
        else if (opt == "--p") ps = Numbers(argv[i + 1]);
        else if (opt == "--blocks") blocks = Numbers(argv[i + 1]);
        else if (opt == "--rel") rels = Numbers(argv[i + 1]);
        else if (opt == "--seed") seed = std::strtoull(argv[i + 1], nullptr, 10);
        else if (opt == "--verify") verify = std::atoll(argv[i + 1]);
        else if (opt == "--rule") binary = std::string(argv[i + 1]) == "wilson" ? PrecisionGoal::Binary::Wilson
                                                                              : PrecisionGoal::Binary::Exact;
        else {
            std::fprintf(stderr, "stopping_coverage: unknown option %s\n", opt.c_str());
            return 2;
        }
    }
    std::printf("rule: %s; cells: p_c = 1-(1-p)^m, m = 1, 6, 12; %lld runs a point; coverage %% "
                "[95%% Clopper-Pearson] misses below/above\n",
                binary == PrecisionGoal::Binary::Wilson ? "Wilson" : "exact", static_cast<long long>(runs));
    std::printf("%-8s %6s %5s %10s %7s  %-30s  %-30s  %-30s  %-30s\n", "p", "block", "rel", "mean reps", "met",
                "cell 0", "cell 1", "cell 2", "deciding");
    for (double rel : rels) {
        for (double p : ps) {
            for (double b : blocks) {
                const Point pt{p, static_cast<int64_t>(b), rel};
                PrecisionGoal goal;
                goal.relative = rel;
                goal.binary = binary;
                const StoppingRule rule(goal);
                double prob[kCells];
                for (int c = 0; c < kCells; ++c) prob[c] = -std::expm1(kHazardMultiple[c] * std::log1p(-p));
                std::mt19937_64 rng(seed ^ (std::hash<double>{}(p) * 31 + pt.block * 7 + std::hash<double>{}(rel)));
                if (verify > 0) {
                    int64_t differ = 0;
                    for (int64_t r = 0; r < verify; ++r) {
                        std::mt19937_64 a(rng()), copy = a;
                        CellVerdicts verdicts(rule, goal);
                        SequentialRun fast(verdicts, goal, pt.block);
                        const RunEnd x = fast.Run(prob, a);
                        const RunEnd y = ReplayThroughLedger(rule, pt.block, prob, copy);
                        bool same = x.reps == y.reps && x.met == y.met;
                        for (int c = 0; c < kCells; ++c) same = same && x.ones[c] == y.ones[c];
                        differ += same ? 0 : 1;
                    }
                    std::printf("verify p=%g block=%lld rel=%g: %lld of %lld runs stop differently\n", p,
                                static_cast<long long>(pt.block), rel, static_cast<long long>(differ),
                                static_cast<long long>(verify));
                    continue;
                }
                Tally t;
                CellVerdicts verdicts(rule, goal);
                SequentialRun run(verdicts, goal, pt.block);
                for (int64_t r = 0; r < runs; ++r) Score(rule, prob, run.Run(prob, rng), t);
                Print(pt, t);
            }
        }
    }
    return 0;
}

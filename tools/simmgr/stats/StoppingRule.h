// When an experiment has been observed enough: every expected variable has
// at least minReps observations and its stopping interval is within the
// relative precision of its mean, or within the absolute precision while
// the mean is still 0.
//
// 0/1 observations are judged by the exact interval, which covers at least
// its nominal level for every n and p; the approximate Wilson interval
// covers less at some n and p, and the rule's own stop (at a block that
// holds an event) takes a little more. A cell that has seen no event is
// judged by an upper bound only, and that bound gets a tenth of the
// interval's error: whether a run stops on it is decided by the data (a run
// that happens to see nothing early stops there), so a proportion just
// above the bound would otherwise be missed by those runs on top of the
// misses of the runs that go on.
//
// Weighted observations (reward x likelihood ratio under a change of
// measure) are judged by the Student-t interval with the variance at its
// upper bound (WeightedInterval), never by a 0/1 rule, and a variable is met
// only once its weights have settled: at least kMinNonZero non-zero
// observations, and none holding more than half the relative precision of
// the sum. Removing that largest observation then moves the estimate by at
// most half the half-width the user accepts; a cell whose answer rests on
// one lucky replication has weights that have not settled, however narrow
// its interval looks. A further settled condition on the variance of the
// variance itself (at most 0.1) was weighed and left out: the rule checks
// it after every block, so it passes just when the tail has not shown, and
// the runs it lets stop cover no better; bounding the variance in the
// interval, as WeightedInterval does, covers better at the same
// replications.
//
// A variable whose sum is not finite (a weight overflowed) is never met: its
// mean and interval may still look finite, but they no longer describe the
// observations.
#pragma once

#include <map>
#include <string>

#include "simmgr/stats/Interval.h"
#include "simmgr/stats/RunningStats.h"

// One experiment's statistics by variable index.
using VariableStats = std::map<int, RunningStats>;

struct PrecisionGoal {
    // The interval of plain 0/1 observations: the exact one, or the Wilson
    // score interval that earlier releases stopped by (kept so that the
    // coverage bench can compare the two rules).
    enum class Binary { Exact, Wilson };

    double relative = 0.1;
    double absolute = 0.001;
    double confidence = 0.95;
    int64_t minReps = 1000;
    bool weighted = false;   // observations of a change of measure
    Binary binary = Binary::Exact;
};

// The share of the interval's error (1 - confidence) that the bound of a
// 0/1 cell without events may take.
constexpr double kNoEventErrorShare = 0.1;

// Non-zero observations a weighted variable needs before it can be met.
constexpr int64_t kMinNonZero = 30;

class StoppingRule {
public:
    explicit StoppingRule(PrecisionGoal goal) : goal(goal) {}

    // Half-width of the stopping interval relative to the mean; for a mean
    // of 0, the absolute half-width scaled so 1.0 means "just met".
    // Infinity when no interval can be formed yet.
    double Progress(const RunningStats& s) const;
    bool VariableMet(const RunningStats& s) const;
    // The interval judged: WeightedInterval for weighted observations,
    // Student-t for other data that is not 0/1; for 0/1 data the exact
    // interval, or [0, the no-event bound] while no event has been seen
    // (Wilson under Binary::Wilson).
    Interval JudgedInterval(const RunningStats& s) const;
    // A plain 0/1 cell with observations but no event: its interval is a
    // bound only.
    bool NoEvent(const RunningStats& s) const;
    // Weighted observations: a finite sum, enough non-zero ones, none
    // dominating it.
    bool WeightsSettled(const RunningStats& s) const;
    // "ok", or why the weights have not settled ("unreliable: …").
    std::string WeightDiagnostic(const RunningStats& s) const;
    // expectedVariables: how many variables must be present (0: any >= 1).
    bool Met(const VariableStats& variables, int expectedVariables) const;
    // Worst relative half-width over the variables, for progress display.
    double WidestRelativeHalfWidth(const VariableStats& variables) const;
    // Replications the slowest variable is expected to need, from the
    // half-width shrinking as 1/sqrt(n) (and, weighted, from its weights
    // settling); -1 when no interval exists yet or a sum is not finite.
    int64_t EstimatedReplications(const VariableStats& variables) const;

private:
    double RelativeHalfWidth(const RunningStats& s) const;
    // The largest share of the sum one weighted observation may hold.
    double LargestShareAllowed() const { return goal.relative / 2.0; }
    // By how much a weighted variable's replications must grow for its
    // weights to settle, the non-zero count growing and the largest share
    // shrinking in proportion; infinity before the first non-zero one.
    double WeightGrowthNeeded(const RunningStats& s) const;

    PrecisionGoal goal;
};

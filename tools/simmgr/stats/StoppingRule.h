// When an experiment has been observed enough: every expected variable has
// at least minReps observations and its stopping interval (Wilson for 0/1
// data, Student-t otherwise) is within the relative precision of its mean,
// or within the absolute precision while the mean is still 0.
//
// Weighted observations (reward x likelihood ratio under a change of
// measure) are judged by the Student-t interval only, and a variable is met
// only once its weights have settled: at least kMinNonZero non-zero
// observations, and none holding more than half the relative precision of
// the sum. Removing that largest observation then moves the estimate by at
// most half the half-width the user accepts; a cell whose answer rests on
// one lucky replication has weights that have not settled, however narrow
// its interval looks.
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
    double relative = 0.1;
    double absolute = 0.001;
    double confidence = 0.95;
    int64_t minReps = 1000;
    bool weighted = false;   // observations of a change of measure
};

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
    // The interval judged: Student-t for weighted observations, otherwise
    // Wilson for 0/1 data and Student-t for the rest.
    Interval JudgedInterval(const RunningStats& s) const;
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

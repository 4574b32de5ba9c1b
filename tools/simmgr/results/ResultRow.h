// One line of the results: an experiment's estimate of one variable at one
// time point with both intervals, flattened from the gathered statistics
// and the study's names, in the order experiment, then variable index.
// In a weighted run (a change of measure) the stopping interval is the
// Student-t one with the variance at its upper bound (WeightedInterval) and
// each row says whether its weights have settled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simmgr/results/ExperimentResult.h"
#include "simmgr/stats/Interval.h"
#include "simmgr/stats/StoppingRule.h"
#include "simmgr/study/StudyCatalog.h"

struct ResultRow {
    int experiment = 0;
    std::string experimentName;
    std::vector<double> globals;     // parallel to the catalog's globalNames; empty if unknown
    int variableIndex = 0;
    std::string variable;
    double time = 0.0;
    int64_t n = 0;
    double mean = 0.0;
    double variance = 0.0;
    Interval student;
    Interval wilson;
    Interval stopping;               // the interval the stopping rule uses
    double halfWidth = 0.0;          // of the stopping interval, around the mean
    bool byExact = false;            // the stopping interval is the exact one (0/1 observations)
    std::string status;              // the experiment's, or "bounded" for a cell met without an event
    bool bounded = false;            // met without an event: the interval is [0, an upper bound]
    int64_t nonzero = 0;             // observations other than 0
    double relativeError = 0.0;      // standard error / mean; infinity while the mean is 0
    double largestShare = 0.0;       // the largest observation's share of the sum; NaN if the sum is not finite
    std::string diagnostic;          // weighted: "ok" or why the weights are unreliable; else empty
};

// weighted: the goal of a weighted run, whose rule judges the rows; null
// for a plain run.
std::vector<ResultRow> BuildRows(const std::vector<ExperimentResult>& results, const StudyCatalog& catalog,
                                 double confidence, const PrecisionGoal* weighted = nullptr);

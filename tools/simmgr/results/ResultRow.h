// One line of the results: an experiment's estimate of one variable at one
// time point with both intervals, flattened from the gathered statistics
// and the study's names, in the order experiment, then variable index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simmgr/results/ExperimentResult.h"
#include "simmgr/stats/Interval.h"
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
    std::string status;
};

std::vector<ResultRow> BuildRows(const std::vector<ExperimentResult>& results, const StudyCatalog& catalog,
                                 double confidence);

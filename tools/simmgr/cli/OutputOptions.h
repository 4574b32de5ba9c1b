// Where run and merge publish their results (the table on stdout, and the
// JSON, CSV and plot files asked for) and at what confidence level.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "simmgr/results/ExperimentResult.h"
#include "simmgr/stats/StoppingRule.h"
#include "simmgr/study/StudyCatalog.h"

struct OutputOptions {
    std::string json, csv, plot;
    double confidence = 0.95;
};

void AddOutputOptions(CLI::App* app, OutputOptions& out);

// Whether every file asked for can be written, checked before any work so
// that a finished study never loses its answer: an existing file must be
// writable and no directory, a new one needs a writable directory to go in.
// Nothing is created. The first problem goes to `error`.
bool OutputsWritable(const OutputOptions& out, std::string& error);

// Table to stdout, then the requested files; false if a file failed.
// goal: the goal judged by, which says whether the observations are weighted.
bool Publish(const std::vector<ExperimentResult>& results, const StudyCatalog& catalog, const OutputOptions& out,
             bool partial, const PrecisionGoal& goal);

// "N experiment(s): 3 converged 1 failed", for the closing status line.
std::string StatusTally(const std::vector<ExperimentResult>& results);

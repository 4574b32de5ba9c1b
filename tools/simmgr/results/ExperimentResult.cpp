#include "simmgr/results/ExperimentResult.h"

#include <algorithm>

const char* StatusName(ExperimentStatus s) {
    switch (s) {
        case ExperimentStatus::NotRun: return "not-run";
        case ExperimentStatus::Converged: return "converged";
        case ExperimentStatus::Bounded: return "bounded";
        case ExperimentStatus::Capped: return "capped";
        case ExperimentStatus::Finished: return "finished";
        case ExperimentStatus::Partial: return "partial";
        case ExperimentStatus::Incomplete: return "incomplete";
        case ExperimentStatus::Failed: return "failed";
    }
    return "unknown";
}

int64_t ExperimentResult::MinCount() const {
    if (variables.empty()) return 0;
    int64_t least = variables.begin()->second.Count();
    for (const auto& [index, stats] : variables) least = std::min(least, stats.Count());
    return least;
}

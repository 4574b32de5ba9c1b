// Everything gathered for one experiment: per variable index the merged
// running statistics, plus how the experiment ended. The accumulators of
// several processes or files of one experiment are merged into it.
#pragma once

#include <map>
#include <string>

#include "simmgr/RunningStats.h"

enum class ExperimentStatus {
    NotRun,      // never started (interrupted before its turn)
    Running,
    Converged,   // every variable reached the precision asked for
    Capped,      // stopped at the replication cap before reaching it
    Finished,    // ran a fixed number of replications (plan, merge, --reps)
    Partial,     // interrupted by the user
    Failed,      // a simulator misbehaved; message says how
};

const char* StatusName(ExperimentStatus s);

struct ExperimentResult {
    int experiment = 0;                         // the simulator's -e index
    ExperimentStatus status = ExperimentStatus::NotRun;
    std::string message;                        // failure text, empty otherwise
    std::map<int, RunningStats> variables;      // by reported variable index
    double simulatorCpuSeconds = 0.0;           // sum of the latest reports
    int processes = 0;                          // simulators or files merged

    int64_t MinCount() const;
    void Merge(const std::map<int, RunningStats>& more);
};

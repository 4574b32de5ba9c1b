// Everything gathered for one experiment: per variable index the statistics
// of the blocks it counts (merged in block order), and how it ended.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "simmgr/stats/RunningStats.h"

enum class ExperimentStatus {
    NotRun,      // never started (interrupted before its turn)
    Converged,   // every variable reached the precision asked for
    Bounded,     // as Converged, but no variable saw an event: each is only bounded
    Capped,      // stopped at the replication cap before reaching it
    Finished,    // ran a fixed number of replications (--reps)
    Partial,     // interrupted by the user
    Incomplete,  // merge: a block the answer needs is missing
    Failed,      // a simulator misbehaved; message says how
};

const char* StatusName(ExperimentStatus s);

struct ExperimentResult {
    int experiment = 0;                         // the simulator's -e index
    ExperimentStatus status = ExperimentStatus::NotRun;
    std::string message;                        // failure text, empty otherwise
    std::map<int, RunningStats> variables;      // by reported variable index
    int64_t blocks = 0;                         // blocks counted in the estimate
    int64_t blockSize = 0;
    double simulatorCpuSeconds = 0.0;           // of the blocks this run computed

    int64_t MinCount() const;
};

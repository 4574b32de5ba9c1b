// Gathering one block's observations, message by message, whether they
// arrive on a simulator's socket or are read back from its binary file:
// per variable index the running statistics, and the replications carried
// (per message, the most values any one variable got).
#pragma once

#include <cstdint>
#include <map>

#include "simmgr/stats/RunningStats.h"
#include "simmgr/wire/Wire.h"

struct Observations {
    std::map<int, RunningStats> stats;   // by variable index
    int64_t replications = 0;

    // Adds a data message's values. A variable index at or above
    // maxVariables refuses the whole message (nothing is added) and is
    // stored in `unknown`.
    bool Add(const DataMessage& msg, int maxVariables, int& unknown);
};

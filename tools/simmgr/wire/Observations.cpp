#include "simmgr/wire/Observations.h"

#include <algorithm>

bool Observations::Add(const DataMessage& msg, int maxVariables, int& unknown) {
    for (const auto& block : msg.blocks) {
        if (block.variable >= maxVariables) {
            unknown = block.variable;
            return false;
        }
    }
    size_t reps = 0;
    for (const auto& block : msg.blocks) {
        RunningStats& s = stats[block.variable];
        for (double v : block.values) s.Add(v);
        reps = std::max(reps, block.values.size());
    }
    replications += static_cast<int64_t>(reps);
    return true;
}

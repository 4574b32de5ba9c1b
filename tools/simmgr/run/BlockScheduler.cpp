#include "simmgr/run/BlockScheduler.h"

#include <cstddef>

int PickExperiment(const std::vector<ExperimentLoad>& loads, int jobs) {
    int best = -1;
    int64_t bestLeft = 0;
    for (std::size_t i = 0; i < loads.size(); ++i) {
        const ExperimentLoad& l = loads[i];
        if (!l.open || l.nextBlock >= l.blockCount || l.nextBlock >= l.prefixBlocks + jobs) continue;
        // Past its estimate an experiment still gets a slot nobody else
        // wants: the estimate may be short, and an idle core helps no one.
        const int64_t left = l.estimatedBlocks - l.nextBlock;
        if (best < 0 || left > bestLeft) {
            best = static_cast<int>(i);
            bestLeft = left;
        }
    }
    return best;
}

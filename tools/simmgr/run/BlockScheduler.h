// Chooses which experiment's next block a free job slot runs: the open
// experiment with the most blocks still to start by its estimate, so that the
// long experiments start early and the experiments end together. An
// experiment keeps at most `jobs` blocks in flight past its complete prefix,
// so at most jobs - 1 of them can run past its stopping point.
#pragma once

#include <cstdint>
#include <vector>

struct ExperimentLoad {
    bool open = true;             // no answer yet, not failed
    int64_t nextBlock = 0;        // blocks are started in index order
    int64_t prefixBlocks = 0;     // blocks 0 … prefixBlocks-1 are complete
    int64_t blockCount = 0;       // the cap, in blocks
    int64_t estimatedBlocks = 0;  // blocks the answer is expected to need
};

// Index into `loads` of the experiment to feed next, or -1 if none may start.
int PickExperiment(const std::vector<ExperimentLoad>& loads, int jobs);

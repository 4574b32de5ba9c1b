// Builds the study's answers from block files alone (a store, or files from
// a planned run): for each experiment the blocks are read in index order and
// judged by the same ledger as a run, so the answers are the ones `simmgr
// run` gives for the same options. Files that are not blocks of the layout,
// damaged blocks and blocks stored under another block's name are refused.
// Identical bytes prove nothing: honest blocks of rare events are often all
// zeros, so a copy is told by the client number and experiment inside.
#pragma once

#include <string>
#include <vector>

#include "simmgr/blocks/BlockLayout.h"
#include "simmgr/blocks/BlockStore.h"
#include "simmgr/results/ExperimentResult.h"
#include "simmgr/stats/StoppingRule.h"

struct MergeResult {
    std::vector<ExperimentResult> results;   // in the order asked for
    std::vector<std::string> errors;         // each names a file; empty when all is well
    int64_t blocksRead = 0;
    int64_t blocksPresent = 0;               // of the layout, counted or not
};

// rule: null for a fixed count (--reps).
MergeResult MergeBlocks(const BlockLayout& layout, const std::vector<int>& experiments, const StoppingRule* rule,
                        int variables, const BlockStore& store);

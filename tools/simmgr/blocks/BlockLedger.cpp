#include "simmgr/blocks/BlockLedger.h"

#include <algorithm>

BlockLedger::BlockLedger(int64_t count, int64_t size, const StoppingRule* stoppingRule, int variables)
    : blockCount(count), blockSize(size), rule(stoppingRule), expectedVariables(variables) {}

void BlockLedger::Record(int64_t block, const BlockOutcome& outcome) {
    if (Has(block) || block < 0 || block >= blockCount) return;
    waiting.emplace(block, outcome.stats);
    while (!Decided()) {
        const auto next = waiting.find(prefixBlocks);
        if (next == waiting.end()) break;
        for (const auto& [index, stats] : next->second) prefix[index].Merge(stats);
        waiting.erase(next);
        ++prefixBlocks;
        Judge();
    }
}

void BlockLedger::Judge() {
    if (rule != nullptr && rule->Met(prefix, expectedVariables)) {
        verdict = Verdict::Converged;
    } else if (prefixBlocks == blockCount) {
        verdict = rule != nullptr ? Verdict::Capped : Verdict::Finished;
    }
}

int64_t BlockLedger::EstimatedBlocks() const {
    if (Decided()) return prefixBlocks;
    if (rule == nullptr || prefixBlocks == 0) return blockCount;
    const int64_t reps = rule->EstimatedReplications(prefix);
    if (reps < 0) return blockCount;
    return std::clamp((reps + blockSize - 1) / blockSize, prefixBlocks + 1, blockCount);
}

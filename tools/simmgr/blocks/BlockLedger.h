// One experiment's blocks as they complete, in any order, and its answer:
// the first prefix of blocks 0 … k-1 that meets the stopping rule, or the
// cap. A prefix's statistics are merged in block order, so the answer is the
// same whatever order the blocks arrived in.
// Invariant: blocks 0 … PrefixBlocks()-1 are recorded and merged; a recorded
// block past the prefix waits until the blocks before it are in; once
// Decided(), the prefix no longer grows and later blocks are not counted.
#pragma once

#include <cstdint>
#include <map>

#include "simmgr/blocks/BlockStore.h"
#include "simmgr/stats/StoppingRule.h"

class BlockLedger {
public:
    enum class Verdict {
        Open,        // the answer needs more blocks
        Converged,   // a prefix met the stopping rule
        Capped,      // every block up to the cap is in, the rule unmet
        Finished,    // a fixed count: every block is in
    };

    // rule: null for a fixed count of replications (no stopping rule).
    BlockLedger(int64_t blockCount, int64_t blockSize, const StoppingRule* rule, int expectedVariables);

    bool Has(int64_t block) const { return block < prefixBlocks || waiting.count(block) > 0; }
    // Records block `block` (once); extends the prefix over every block now
    // contiguous and judges each longer prefix in turn.
    void Record(int64_t block, const BlockOutcome& outcome);

    Verdict State() const { return verdict; }
    bool Decided() const { return verdict != Verdict::Open; }
    int64_t PrefixBlocks() const { return prefixBlocks; }
    const VariableStats& PrefixStats() const { return prefix; }
    int64_t BlockCount() const { return blockCount; }
    // Blocks recorded that the answer does not count (past the prefix).
    int64_t Uncounted() const { return static_cast<int64_t>(waiting.size()); }
    // Blocks the answer is expected to need in all, from the prefix so far:
    // every block up to the cap until an estimate exists.
    int64_t EstimatedBlocks() const;

private:
    void Judge();

    int64_t blockCount;
    int64_t blockSize;
    const StoppingRule* rule;
    int expectedVariables;
    Verdict verdict = Verdict::Open;
    int64_t prefixBlocks = 0;
    VariableStats prefix;
    std::map<int64_t, VariableStats> waiting;   // recorded, not (yet) in the prefix
};

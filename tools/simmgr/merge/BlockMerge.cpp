#include "simmgr/merge/BlockMerge.h"

#include <algorithm>
#include <set>

#include "simmgr/blocks/BlockLedger.h"
#include "simmgr/results/LedgerResult.h"

namespace {

// Files that are not blocks of this layout and experiment list.
void RefuseStrangers(const BlockLayout& layout, const std::vector<int>& experiments, const BlockStore& store,
                     MergeResult& merged) {
    const std::set<int> asked(experiments.begin(), experiments.end());
    for (const auto& [name, path] : store.Files()) {
        const auto block = ParseBlockFileName(name);
        ++merged.blocksPresent;
        if (block && layout.Holds(*block) && asked.count(block->experiment)) continue;
        --merged.blocksPresent;
        if (!store.Directory().empty()) continue;   // a shared store holds other studies too
        merged.errors.push_back(path + ": not a block of this study (the experiment, block, seed, size or simulator "
                                       "options in its name differ from the ones asked for)");
    }
}

ExperimentResult MergeExperiment(const BlockLayout& layout, int e, const StoppingRule* rule, int variables,
                                 const BlockStore& store, MergeResult& merged) {
    BlockLedger ledger(layout.BlockCount(), layout.blockSize, rule, variables);
    ExperimentResult r;
    r.experiment = e;
    for (int64_t j = 0; !ledger.Decided(); ++j) {
        BlockOutcome outcome;
        std::string why;
        const auto found = store.Lookup(layout, e, j, variables, outcome, why);
        if (found == BlockStore::Found::Missing) {
            r.message = "block " + std::to_string(j) + " (" + layout.FileName(e, j) + ") is missing";
            break;
        }
        if (found == BlockStore::Found::Damaged) {
            merged.errors.push_back(why);
            r.message = "block " + std::to_string(j) + " is damaged";
            break;
        }
        ++merged.blocksRead;
        ledger.Record(j, outcome);
    }
    // Every experiment of the study was asked for: one without blocks lacks them.
    FillFromLedger(ledger, layout.blockSize, ExperimentStatus::Incomplete, r);
    if (ledger.Decided()) r.message.clear();
    return r;
}

}  // namespace

MergeResult MergeBlocks(const BlockLayout& layout, const std::vector<int>& experiments, const StoppingRule* rule,
                        int variables, const BlockStore& store) {
    MergeResult merged;
    RefuseStrangers(layout, experiments, store, merged);
    for (int e : experiments)
        merged.results.push_back(MergeExperiment(layout, e, rule, variables, store, merged));
    return merged;
}

#include "simmgr/results/LedgerResult.h"

#include <algorithm>

ExperimentStatus StatusOf(BlockLedger::Verdict verdict, ExperimentStatus undecided) {
    switch (verdict) {
        case BlockLedger::Verdict::Converged: return ExperimentStatus::Converged;
        case BlockLedger::Verdict::Capped: return ExperimentStatus::Capped;
        case BlockLedger::Verdict::Finished: return ExperimentStatus::Finished;
        case BlockLedger::Verdict::Open: return undecided;
    }
    return undecided;   // not reached: the switch names every verdict
}

void FillFromLedger(const BlockLedger& ledger, int64_t blockSize, ExperimentStatus undecided,
                    ExperimentResult& result) {
    result.variables = ledger.PrefixStats();
    result.blocks = ledger.PrefixBlocks();
    result.blockSize = blockSize;
    result.status = StatusOf(ledger.State(), undecided);
    const bool sawNothing = std::all_of(result.variables.begin(), result.variables.end(),
                                        [](const auto& entry) { return entry.second.AllZero(); });
    if (result.status == ExperimentStatus::Converged && sawNothing) result.status = ExperimentStatus::Bounded;
}

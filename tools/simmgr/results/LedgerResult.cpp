#include "simmgr/results/LedgerResult.h"

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
}

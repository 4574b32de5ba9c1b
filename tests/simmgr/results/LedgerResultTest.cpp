// A ledger's verdict reads as the same status in run and merge; an open
// ledger takes the status its caller gives it.
#include <gtest/gtest.h>

#include "simmgr/results/LedgerResult.h"

TEST(LedgerResult, EveryVerdictHasItsStatus) {
    using V = BlockLedger::Verdict;
    using S = ExperimentStatus;
    EXPECT_EQ(StatusOf(V::Converged, S::Partial), S::Converged);
    EXPECT_EQ(StatusOf(V::Capped, S::Partial), S::Capped);
    EXPECT_EQ(StatusOf(V::Finished, S::Partial), S::Finished);
    EXPECT_EQ(StatusOf(V::Open, S::Incomplete), S::Incomplete);
    EXPECT_EQ(StatusOf(V::Open, S::NotRun), S::NotRun);
}

TEST(LedgerResult, AnOpenLedgerGivesItsPrefixAndTheCallersStatus) {
    BlockLedger ledger(3, 10, nullptr, 1);
    BlockOutcome second;
    for (int i = 0; i < 10; ++i) second.stats[0].Add(1.0);
    second.replications = 10;
    ledger.Record(1, second);   // block 0 missing: nothing is counted yet
    ExperimentResult r;
    FillFromLedger(ledger, 10, ExperimentStatus::Incomplete, r);
    EXPECT_EQ(r.status, ExperimentStatus::Incomplete);
    EXPECT_EQ(r.blocks, 0);
    EXPECT_EQ(r.blockSize, 10);
    EXPECT_EQ(r.MinCount(), 0);
}

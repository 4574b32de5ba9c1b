// How a block ledger reads as an experiment's result: the statistics and
// block count of its counted prefix, and the status its verdict stands for.
// Run and merge judge blocks alike, so they report them alike through here.
#pragma once

#include <cstdint>

#include "simmgr/blocks/BlockLedger.h"
#include "simmgr/results/ExperimentResult.h"

// The status of a ledger's verdict; `undecided` is what an open ledger
// means to the caller (interrupted, not run, or missing blocks).
ExperimentStatus StatusOf(BlockLedger::Verdict verdict, ExperimentStatus undecided);

// Copies the counted prefix of `ledger` into `result` (variables, blocks,
// block size) and sets its status from the verdict: bounded rather than
// converged when no variable saw an event.
void FillFromLedger(const BlockLedger& ledger, int64_t blockSize, ExperimentStatus undecided,
                    ExperimentResult& result);

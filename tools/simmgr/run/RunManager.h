// Runs a study's experiments as replication blocks on local simulator
// processes, at most `jobs` at once. Each experiment's answer is the first
// prefix of its blocks that meets the stopping rule (or the cap), so it does
// not depend on the number of jobs or on timing. Blocks found whole in the
// store are reused; blocks computed are added to it. Owns the child
// processes for the duration of Run(); SIGINT/SIGTERM during Run() stop
// every simulator by the protocol and make the results partial.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "simmgr/blocks/BlockLayout.h"
#include "simmgr/blocks/BlockStore.h"
#include "simmgr/results/ExperimentResult.h"
#include "simmgr/run/ProgressLine.h"
#include "simmgr/run/Watchdog.h"
#include "simmgr/stats/StoppingRule.h"
#include "simmgr/study/StudyCatalog.h"

struct RunOptions {
    // What to run.
    std::string simulator;                 // path of the simulator executable
    std::vector<int> experiments;          // -e indices, in order
    int jobs = 2;                          // simulators alive at once
    BlockLayout layout;                    // block sizes, seeds and extra options
    int reportSize = 100;                  // -n: replications per report (how soon a quit acts)
    int port = 10000;                      // first port the simulators try

    // When to stop.
    PrecisionGoal goal;
    bool fixedReps = false;                // run exactly layout.maxReps, ignore precision

    WatchdogLimits watchdog;

    bool progress = false;                 // live progress line on stderr
};

// What the blocks cost: those this run computed, those it took from the
// store, and those the answers count.
struct BlockTally {
    int64_t blocksRun = 0, repsRun = 0;              // computed by this run (whole or not)
    int64_t blocksReused = 0, repsReused = 0;        // taken whole from the store
    int64_t blocksCounted = 0, repsCounted = 0;      // in the answers' prefixes
    int64_t blocksRunUncounted = 0, repsRunUncounted = 0;   // computed here, not counted
};

struct RunSummary {
    std::vector<ExperimentResult> results;  // in the order of RunOptions::experiments
    BlockTally tally;
    bool interrupted = false;
    double wallSeconds = 0.0;
    double managerCpuSeconds = 0.0;
    double childrenCpuSeconds = 0.0;        // as the operating system accounted it
};

// Raises the soft limit on open descriptors to what `jobs` simulators and
// the manager itself need, as far as the hard limit allows; false (with
// error) when that is not enough. Called before any work.
bool ReserveDescriptors(int jobs, std::string& error);

class SignalScope;

class RunManager {
public:
    RunManager(RunOptions options, const StudyCatalog& catalog, const BlockStore& store);
    ~RunManager();
    RunManager(const RunManager&) = delete;
    RunManager& operator=(const RunManager&) = delete;

    RunSummary Run();

private:
    struct BlockJob;
    struct ExperimentRun;

    void StartPending();
    bool TakeStored(ExperimentRun& run, int64_t block);
    void Launch(ExperimentRun& run, int64_t block);
    void PollOnce(const SignalScope& signals);
    void Supervise(ExperimentRun& run, bool childEnded);
    void FinishBlock(ExperimentRun& run, BlockJob& job);
    void RecordBlock(ExperimentRun& run, int64_t block, const BlockOutcome& outcome);
    void Fail(ExperimentRun& run, const std::string& problem);
    void StopExperiment(ExperimentRun& run);
    void Finalize(ExperimentRun& run);
    void HandleInterrupt(const SignalScope& signals);
    void ShowProgress(bool force);
    bool CopyIntact(std::string& error) const;
    int LiveProcesses() const;
    bool AllDone() const;
    BlockTally Tally() const;
    std::vector<std::string> ArgsFor(const ExperimentRun& run, int64_t block, const std::string& binFile) const;

    RunOptions options;
    const StudyCatalog& catalog;
    const BlockStore& store;
    StoppingRule rule;
    int variables;                                      // variables every block observes
    std::vector<std::unique_ptr<ExperimentRun>> runs;   // one per experiment asked for
    int interrupts = 0;                                 // SIGINT/SIGTERM seen
    int childEvents = 0;                                // SIGCHLD seen and acted on
    bool storeWarned = false;
    ProgressLine progress;
};

// Runs experiments as local simulator processes, at most `jobs` at once,
// gathers their observations and stops each experiment when the stopping
// rule is met or its replication cap is reached. Owns the child processes
// for the duration of Run(); SIGINT/SIGTERM during Run() stop every
// simulator by the protocol and make the results partial.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "simmgr/ExperimentResult.h"
#include "simmgr/StoppingRule.h"
#include "simmgr/StudyCatalog.h"

struct RunOptions {
    // What to run.
    std::string simulator;                 // path of the simulator executable
    std::vector<int> experiments;          // -e indices, in order
    int jobs = 2;                          // simulators alive at once
    int procsPerExp = 1;                   // simulators per experiment, distinct seeds
    uint32_t seed = 31415;                 // process k gets seed + k
    int reportSize = 1000;                 // -n: replications per report
    int port = 10000;                      // first port the simulators try
    std::vector<std::string> extraArgs;    // passed to every simulator

    // When to stop.
    PrecisionGoal goal;
    int64_t maxReps = 50000;               // cap per experiment
    bool fixedReps = false;                // run exactly maxReps, ignore precision

    // Watchdogs, in seconds.
    double startTimeout = 60.0;            // launch until registration line
    double connectTimeout = 20.0;          // registration until greeting
    double idleQuery = 5.0;                // silence before a query is sent
    double stallTimeout = 600.0;           // silence before giving up
    double quitGrace = 60.0;               // quit until exit

    bool progress = false;                 // live progress line on stderr
};

struct RunSummary {
    std::vector<ExperimentResult> results;  // in the order of RunOptions::experiments
    bool interrupted = false;
    double wallSeconds = 0.0;
    double managerCpuSeconds = 0.0;
    double simulatorCpuSeconds = 0.0;       // as the simulators reported it
    double childrenCpuSeconds = 0.0;        // as the operating system accounted it
};

class RunManager {
public:
    RunManager(RunOptions options, const StudyCatalog& catalog);
    ~RunManager();
    RunManager(const RunManager&) = delete;
    RunManager& operator=(const RunManager&) = delete;

    RunSummary Run();

private:
    struct ExperimentRun;

    void StartPending();
    void PollOnce();
    void Supervise(ExperimentRun& run);
    void CheckStopping(ExperimentRun& run);
    void StopExperiment(ExperimentRun& run);
    void Finalize(ExperimentRun& run);
    void HandleInterrupt();
    void ShowProgress(bool force);
    int LiveProcesses() const;
    bool AllDone() const;
    ExperimentResult Snapshot(const ExperimentRun& run) const;
    std::vector<std::string> ArgsFor(const ExperimentRun& run, int processIndex, uint32_t seed, uint8_t client,
                                     int64_t reps) const;

    RunOptions options;
    const StudyCatalog& catalog;
    StoppingRule rule;
    std::vector<std::unique_ptr<ExperimentRun>> runs;   // one per experiment asked for
    int nextProcessNumber = 0;                          // global index: seed and client id
    int interrupts = 0;                                 // SIGINT/SIGTERM seen
    double lastProgress = -1.0;
    size_t progressWidth = 0;
};

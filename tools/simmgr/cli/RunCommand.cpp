#include "simmgr/cli/RunCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <thread>

#include "simmgr/blocks/BlockStore.h"

namespace {

void PrintRunSummary(const RunSummary& summary, int64_t blockSize, const std::string& storeDir) {
    char buf[512];
    const double share = summary.childrenCpuSeconds > 0 ? summary.managerCpuSeconds / summary.childrenCpuSeconds : 0;
    std::snprintf(buf, sizeof buf, "; wall %.1f s; simulators %.1f s CPU; manager %.2f s CPU (%.2f%% of the simulators')",
                  summary.wallSeconds, summary.childrenCpuSeconds, summary.managerCpuSeconds, 100.0 * share);
    std::cerr << "simmgr: " << StatusTally(summary.results) << buf << std::endl;
    const BlockTally& t = summary.tally;
    const double wasted = t.repsRun > 0 ? 100.0 * static_cast<double>(t.repsRunUncounted) / static_cast<double>(t.repsRun) : 0;
    std::snprintf(buf, sizeof buf,
                  "simmgr: blocks of %lld: %lld counted (%lld replications); %lld run here (%lld replications), "
                  "%lld of them not counted (%lld replications, %.1f%%); %lld reused from the store",
                  static_cast<long long>(blockSize), static_cast<long long>(t.blocksCounted),
                  static_cast<long long>(t.repsCounted), static_cast<long long>(t.blocksRun),
                  static_cast<long long>(t.repsRun), static_cast<long long>(t.blocksRunUncounted),
                  static_cast<long long>(t.repsRunUncounted), wasted, static_cast<long long>(t.blocksReused));
    std::cerr << buf << (storeDir.empty() ? "" : " " + storeDir) << std::endl;
}

}  // namespace

RunCommand::RunCommand(CLI::App& app) {
    run.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    command = app.add_subcommand("run", "Run experiments on local simulators until the precision is reached");
    AddStudyOptions(command, study, "Simulator executable: the model it was compiled from is the one studied");
    command->add_option("--jobs", run.jobs, "Simulators running at once")->check(CLI::Range(1, 1024))->capture_default_str();
    command->add_option("--store", storeDir,
                       "Keep every block in this directory and reuse the blocks found there (default: none)");
    command->add_option("--procs-per-exp", procsPerExp)->group("");
    command->add_option("--report-size", run.reportSize,
                       "Replications per report from a simulator (-n); a quit acts at the next report")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    command->add_option("--port", run.port, "First port the simulators try")->check(CLI::Range(1024, 65000))->capture_default_str();
    command->add_option("--start-timeout", run.watchdog.start, "Seconds a simulator may take to register")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    command->add_option("--stall-timeout", run.watchdog.stall, "Seconds of silence before a simulator is given up")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    command->add_option("--quit-timeout", run.watchdog.quitGrace, "Seconds a simulator may take to stop after quit, or after SIGTERM once faulty")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    AddOutputOptions(command, out);
}

int RunCommand::Execute() {
    if (!procsPerExp.empty()) {
        std::cerr << "simmgr: --procs-per-exp is gone: every experiment is now cut into blocks of --block-size "
                     "replications, and any free job slot runs the next block"
                  << std::endl;
        return 2;
    }
    std::string error;
    if (!OutputsWritable(out, error) || !ResolveStudy(study, catalog, run.experiments, error) ||
        !study.layout.FileNamesFit(run.experiments, BlockStore::TempSuffix(), error) ||
        !ReserveDescriptors(run.jobs, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        return 2;
    }
    std::optional<BlockStore> store = BlockStore::Open(storeDir, error);
    if (!store || (study.layout.bias.Active() && !store->Keep(study.layout.bias, error))) {
        std::cerr << "simmgr: " << error << std::endl;
        return 2;
    }
    run.simulator = study.simulator;
    run.layout = study.layout;
    run.goal = study.goal;
    run.goal.confidence = out.confidence;
    run.fixedReps = study.fixedReps > 0;
    run.progress = isatty(STDERR_FILENO) != 0;
    RunManager manager(run, catalog, *store);
    const RunSummary summary = manager.Run();
    PrintRunSummary(summary, study.layout.blockSize, storeDir);

    const bool published = Publish(summary.results, catalog, out, summary.interrupted, run.goal);
    bool failed = false;
    for (const auto& r : summary.results) failed = failed || r.status == ExperimentStatus::Failed;
    if (failed) std::cerr << "simmgr: some experiments failed (see above)" << std::endl;
    if (summary.interrupted) {
        std::cerr << "simmgr: interrupted; the results above are partial" << std::endl;
        return 130;
    }
    return failed || !published ? 1 : 0;
}

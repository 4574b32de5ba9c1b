// simmgr: runs the study's experiments as replication blocks on local
// simulators and reports each measure with confidence intervals; plans the
// same blocks for external job engines and merges their files into the same
// report.
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include <CLI/CLI.hpp>

#include "simmgr/merge/BlockMerge.h"
#include "simmgr/blocks/BlockStore.h"
#include "simmgr/plan/Planner.h"
#include "simmgr/results/Report.h"
#include "simmgr/run/RunManager.h"
#include "simmgr/study/StudyCatalog.h"

namespace {

struct OutputOptions {
    std::string json, csv, plot;
    double confidence = 0.95;
};

std::string DefaultSimulator() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "basic_model_sim";
    std::string self(buf, static_cast<size_t>(n));
    return self.substr(0, self.rfind('/') + 1) + "basic_model_sim";
}

// Parses "0,4,8" (ranges like 2-5 too) or "all".
bool ParseExperimentList(const std::string& text, int available, std::vector<int>& out, std::string& error) {
    out.clear();
    if (text.empty() || text == "all") {
        for (int i = 0; i < available; ++i) out.push_back(i);
        if (out.empty()) error = "the study lists no experiments; name them with --experiments";
        return !out.empty();
    }
    std::set<int> seen;
    std::stringstream ss(text);
    for (std::string item; std::getline(ss, item, ',');) {
        int lo, hi;
        char dash;
        std::istringstream one(item);
        if (!(one >> lo)) {
            error = "--experiments: '" + item + "' is not an experiment index";
            return false;
        }
        hi = lo;
        if (one >> dash) {
            if (dash != '-' || !(one >> hi)) {
                error = "--experiments: '" + item + "' is not an index or a range";
                return false;
            }
        }
        std::string rest;
        if (one >> rest) {
            error = "--experiments: '" + item + "' is not an index or a range";
            return false;
        }
        for (int e = lo; e <= hi; ++e) {
            if (e < 0 || (available > 0 && e >= available)) {
                error = "--experiments: experiment " + std::to_string(e) + " does not exist (the study has " +
                        std::to_string(available) + ", numbered 0 to " + std::to_string(available - 1) + ")";
                return false;
            }
            if (e > 65535) {
                error = "--experiments: experiment " + std::to_string(e) + " is out of range";
                return false;
            }
            if (seen.insert(e).second) out.push_back(e);
        }
    }
    if (out.empty()) error = "--experiments: no experiment given";
    return !out.empty();
}


// What identifies a study's blocks and judges them: shared by run, plan and merge.
struct StudyOptions {
    std::string experiments = "all";
    BlockLayout layout;
    int64_t fixedReps = 0;                 // --reps: exactly this many, no stopping rule
    PrecisionGoal goal;
};

bool ExecutableExists(const std::string& path, std::string& error) {
    if (access(path.c_str(), X_OK) == 0) return true;
    error = "simulator " + path + " is not an executable file (build it, or name it with --sim)";
    return false;
}

// The options the manager gives every block itself may not come in twice.
bool SimArgsAllowed(const std::vector<std::string>& args, std::string& error) {
    const std::string owned = "wecsnNpb";
    for (const std::string& arg : args) {
        if (arg.size() >= 2 && arg[0] == '-' && owned.find(arg[1]) != std::string::npos) {
            error = "--sim-arg " + arg + ": simmgr sets -" + arg.substr(1, 1) +
                    " for every block itself (use --experiments, --seed, --block-size or --report-size)";
            return false;
        }
    }
    return true;
}

// Checks the study options against the catalog and completes the layout.
bool ResolveStudy(StudyOptions& study, const StudyCatalog& catalog, std::vector<int>& experiments,
                  std::string& error) {
    if (!ParseExperimentList(study.experiments, catalog.NumExperiments(), experiments, error)) return false;
    if (!SimArgsAllowed(study.layout.simArgs, error)) return false;
    study.layout.seedStride = std::max(catalog.NumExperiments(), 1);
    if (study.fixedReps > 0) study.layout.maxReps = study.fixedReps;
    if (study.fixedReps == 0 && study.layout.maxReps < study.goal.minReps) {
        error = "--max-reps (" + std::to_string(study.layout.maxReps) + ") is below --min-reps (" +
                std::to_string(study.goal.minReps) + ")";
        return false;
    }
    return study.layout.SeedsInRange(error);
}

// Plan takes the precision options too, unused, so that one set of study
// options serves run, plan and merge alike.
void AddStudyOptions(CLI::App* app, StudyOptions& study) {
    app->add_option("--experiments", study.experiments, "Experiments, e.g. 0,4,8 or 2-5 (0-based), or all")
        ->capture_default_str();
    app->add_option("--seed", study.layout.baseSeed,
                    "Base seed: block j of experiment e gets seed + 9*j + e (9 experiments in the study)")
        ->capture_default_str();
    app->add_option("--block-size", study.layout.blockSize, "Replications per block (the unit of work)")
        ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}))
        ->capture_default_str();
    app->add_option("--max-reps", study.layout.maxReps, "Replication cap per experiment")
        ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}))
        ->capture_default_str();
    app->add_option("--reps", study.fixedReps, "Exactly this many replications per experiment, ignoring precision")
        ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}));
    app->add_option("--sim-arg", study.layout.simArgs,
                    "Extra argument for every simulator (repeatable); part of each block's identity");
    app->add_option("--rel-precision", study.goal.relative, "Relative half-width to reach")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app->add_option("--abs-precision", study.goal.absolute, "Half-width to reach while a mean is 0")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app->add_option("--min-reps", study.goal.minReps, "Replications before the precision is judged")
        ->check(CLI::Range(int64_t{2}, int64_t{1} << 40))
        ->capture_default_str();
}

// Table to stdout, then the requested files; false if a file failed.
bool Publish(const std::vector<ExperimentResult>& results, const StudyCatalog& catalog, const OutputOptions& out,
             bool partial) {
    Report report(results, catalog, out.confidence, partial);
    report.WriteTable(std::cout);
    std::cout.flush();
    bool ok = true;
    std::string error;
    if (!out.json.empty() && !WriteFileWith(out.json, error, [&](std::ostream& s) { report.WriteJson(s); })) {
        std::cerr << "simmgr: " << error << std::endl;
        ok = false;
    }
    if (!out.csv.empty() && !WriteFileWith(out.csv, error, [&](std::ostream& s) { report.WriteCsv(s); })) {
        std::cerr << "simmgr: " << error << std::endl;
        ok = false;
    }
    if (!out.plot.empty() && !report.WritePlot(out.plot, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        ok = false;
    }
    return ok;
}

void AddOutputOptions(CLI::App* app, OutputOptions& out) {
    app->add_option("--json", out.json, "Write the results as JSON to this file");
    app->add_option("--csv", out.csv, "Write the results as CSV to this file (one row per experiment, variable, time)");
    app->add_option("--plot", out.plot, "Draw the estimates into this PNG file with gnuplot");
    app->add_option("--confidence", out.confidence, "Confidence level of the intervals")
        ->check(CLI::Range(0.5, 0.999999))
        ->capture_default_str();
}

std::string StatusTally(const std::vector<ExperimentResult>& results) {
    std::map<ExperimentStatus, int> tally;
    for (const auto& r : results) ++tally[r.status];
    std::ostringstream line;
    line << results.size() << " experiment(s):";
    for (const auto& [status, count] : tally) line << " " << count << " " << StatusName(status);
    return line.str();
}

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

int RunCommand(RunOptions& opts, StudyOptions& study, const std::string& storeDir, const OutputOptions& out,
               const StudyCatalog& catalog) {
    std::string error;
    if (!ResolveStudy(study, catalog, opts.experiments, error) || !ExecutableExists(opts.simulator, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        return 2;
    }
    std::optional<BlockStore> store = BlockStore::Open(storeDir, error);
    if (!store) {
        std::cerr << "simmgr: " << error << std::endl;
        return 2;
    }
    opts.layout = study.layout;
    opts.goal = study.goal;
    opts.goal.confidence = out.confidence;
    opts.fixedReps = study.fixedReps > 0;
    opts.progress = isatty(STDERR_FILENO) != 0;
    RunManager manager(opts, catalog, *store);
    const RunSummary summary = manager.Run();
    PrintRunSummary(summary, study.layout.blockSize, storeDir);

    const bool published = Publish(summary.results, catalog, out, summary.interrupted);
    bool failed = false;
    for (const auto& r : summary.results) failed = failed || r.status == ExperimentStatus::Failed;
    if (failed) std::cerr << "simmgr: some experiments failed (see above)" << std::endl;
    if (summary.interrupted) {
        std::cerr << "simmgr: interrupted; the results above are partial" << std::endl;
        return 130;
    }
    return failed || !published ? 1 : 0;
}

int MergeCommand(StudyOptions& study, const std::string& storeDir, const std::vector<std::string>& files,
                 bool experimentsGiven, const OutputOptions& out, const StudyCatalog& catalog) {
    std::string error;
    std::vector<int> experiments;
    if (!ResolveStudy(study, catalog, experiments, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        return 2;
    }
    if (storeDir.empty() == files.empty()) {
        std::cerr << "simmgr: merge needs either block files or --store DIR" << std::endl;
        return 2;
    }
    std::optional<BlockStore> store =
        files.empty() ? BlockStore::ForReading(storeDir, error) : BlockStore::OfFiles(files, error);
    if (!store) {
        std::cerr << "simmgr: " << error << std::endl;
        return files.empty() ? 2 : 1;   // no store at all, or files that clash
    }
    if (!experimentsGiven) experiments = ExperimentsInStore(study.layout, *store);
    if (experiments.empty()) {
        std::cerr << "simmgr: no block 0 of any experiment with these options (seed " << study.layout.baseSeed
                  << ", block size " << study.layout.blockSize << ", cap " << study.layout.maxReps << ")" << std::endl;
        return 1;
    }
    PrecisionGoal goal = study.goal;
    goal.confidence = out.confidence;
    const StoppingRule rule(goal);
    const MergeResult merged = MergeBlocks(study.layout, experiments, study.fixedReps > 0 ? nullptr : &rule,
                                           static_cast<int>(catalog.variables.size()), *store);
    for (const std::string& e : merged.errors) std::cerr << "simmgr: " << e << std::endl;
    if (!merged.errors.empty()) {
        std::cerr << "simmgr: merge refused: fix or leave out the files named above" << std::endl;
        return 1;
    }
    std::cerr << "simmgr: " << StatusTally(merged.results) << "; " << merged.blocksRead << " of "
              << merged.blocksPresent << " blocks present read" << std::endl;
    const bool published = Publish(merged.results, catalog, out, false);
    bool complete = true;
    for (const auto& r : merged.results)
        complete = complete && r.status != ExperimentStatus::Incomplete && r.status != ExperimentStatus::NotRun;
    if (!complete) std::cerr << "simmgr: some experiments lack blocks their answer needs (see above)" << std::endl;
    return published && complete ? 0 : 1;
}

int PlanCommand(PlanOptions& opts, StudyOptions& study, const StudyCatalog& catalog) {
    std::string error;
    if (!ResolveStudy(study, catalog, opts.experiments, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        return 2;
    }
    opts.layout = study.layout;
    // Jobs may run from another directory (Slurm, ssh): give them absolute paths.
    char cwd[PATH_MAX];
    const std::string here = getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" : std::string();
    if (opts.simulator.find('/') != std::string::npos && opts.simulator[0] != '/') opts.simulator = here + opts.simulator;
    if (!opts.outDir.empty() && opts.outDir[0] != '/') opts.outDir = here + opts.outDir;
    const std::vector<PlannedJob> jobs = MakePlan(opts);
    if (!WritePlan(opts, jobs, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        return 1;
    }
    std::cout << "Wrote " << jobs.size() << " block jobs (" << opts.layout.BlockCount() << " per experiment, "
              << opts.layout.RepsOf(0) << " replications each at most) to " << opts.outDir
              << "/jobs.txt and a Slurm array script " << opts.outDir << "/slurm.sh.\n"
              << "Run them:   parallel --jobs " << std::thread::hardware_concurrency() << " < " << opts.outDir
              << "/jobs.txt\n"
              << "   or:      parallel --sshloginfile HOSTS < " << opts.outDir << "/jobs.txt\n"
              << "   or:      sbatch " << opts.outDir << "/slurm.sh\n"
              << "Then merge: simmgr merge --store " << opts.outDir << " (with the same study options)\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    CLI::App app{"simmgr: runs the study's experiments and reports each measure with confidence intervals"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("simmgr ") + SIMMGR_VERSION + " (commit " + SIMMGR_COMMIT + ")");
    // An option given twice takes its last value, so a saved command line
    // can be rerun with one setting changed at its end.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    RunOptions run;
    run.simulator = DefaultSimulator();
    run.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    StudyOptions runStudy;
    std::string runStore;
    OutputOptions runOut;
    std::string procsPerExp;
    CLI::App* runCmd = app.add_subcommand("run", "Run experiments on local simulators until the precision is reached");
    runCmd->add_option("--sim", run.simulator, "Simulator executable")->capture_default_str();
    AddStudyOptions(runCmd, runStudy);
    runCmd->add_option("--jobs", run.jobs, "Simulators running at once")->check(CLI::Range(1, 1024))->capture_default_str();
    runCmd->add_option("--store", runStore,
                       "Keep every block in this directory and reuse the blocks found there (default: none)");
    runCmd->add_option("--procs-per-exp", procsPerExp)->group("");
    runCmd->add_option("--report-size", run.reportSize,
                       "Replications per report from a simulator (-n); a quit acts at the next report")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    runCmd->add_option("--port", run.port, "First port the simulators try")->check(CLI::Range(1024, 65000))->capture_default_str();
    runCmd->add_option("--start-timeout", run.startTimeout, "Seconds a simulator may take to register")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    runCmd->add_option("--stall-timeout", run.stallTimeout, "Seconds of silence before a simulator is given up")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    runCmd->add_option("--quit-timeout", run.quitGrace, "Seconds a simulator may take to stop after quit, or after SIGTERM once faulty")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    AddOutputOptions(runCmd, runOut);

    PlanOptions plan;
    plan.simulator = DefaultSimulator();
    plan.outDir = "simmgr-plan";
    StudyOptions planStudy;
    CLI::App* planCmd = app.add_subcommand("plan", "Write the study's blocks as jobs for GNU parallel or Slurm");
    planCmd->add_option("--sim", plan.simulator, "Simulator executable as the jobs will find it")->capture_default_str();
    AddStudyOptions(planCmd, planStudy);
    planCmd->add_option("--report-size", plan.reportSize, "Replications per message in the files (-n)")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    planCmd->add_option("--out", plan.outDir, "Directory for jobs.txt, slurm.sh and the block files")->capture_default_str();
    planCmd->add_flag("--ascii", plan.ascii, "Also have every job write its ASCII file (-a)");

    StudyOptions mergeStudy;
    std::vector<std::string> mergeFiles;
    std::string mergeStore;
    OutputOptions mergeOut;
    CLI::App* mergeCmd = app.add_subcommand("merge", "Judge stored or planned blocks as a run would, and report");
    mergeCmd->add_option("files", mergeFiles, "Block files");
    mergeCmd->add_option("--store", mergeStore, "A directory of block files (a run's store or a plan's --out)");
    AddStudyOptions(mergeCmd, mergeStudy);
    const CLI::Option* mergeExperiments = mergeCmd->get_option("--experiments");
    AddOutputOptions(mergeCmd, mergeOut);

    CLI11_PARSE(app, argc, argv);

    const StudyCatalog catalog = LoadStudyCatalog();
    if (*runCmd) {
        if (!procsPerExp.empty()) {
            std::cerr << "simmgr: --procs-per-exp is gone: every experiment is now cut into blocks of --block-size "
                         "replications, and any free job slot runs the next block"
                      << std::endl;
            return 2;
        }
        return RunCommand(run, runStudy, runStore, runOut, catalog);
    }
    if (*planCmd) return PlanCommand(plan, planStudy, catalog);
    return MergeCommand(mergeStudy, mergeStore, mergeFiles, mergeExperiments->count() > 0, mergeOut, catalog);
}

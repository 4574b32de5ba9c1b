// simmgr: runs the study's experiments on local simulators and reports each
// measure with confidence intervals; plans runs for external job engines
// and merges their binary output files into the same report.
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include <CLI/CLI.hpp>

#include "simmgr/BinaryFileReader.h"
#include "simmgr/Planner.h"
#include "simmgr/Report.h"
#include "simmgr/RunManager.h"
#include "simmgr/StudyCatalog.h"

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

bool ExecutableExists(const std::string& path, std::string& error) {
    if (access(path.c_str(), X_OK) == 0) return true;
    error = "simulator " + path + " is not an executable file (build it, or name it with --sim)";
    return false;
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

int RunCommand(RunOptions& opts, const std::string& experimentText, const OutputOptions& out,
               const StudyCatalog& catalog) {
    std::string error;
    opts.goal.confidence = out.confidence;
    if (!ParseExperimentList(experimentText, catalog.NumExperiments(), opts.experiments, error) ||
        !ExecutableExists(opts.simulator, error) ||
        !SeedsAreIndependent(opts.seed, static_cast<int64_t>(opts.experiments.size()) * opts.procsPerExp, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        return 2;
    }
    if (!opts.fixedReps && opts.maxReps < opts.goal.minReps) {
        std::cerr << "simmgr: --max-reps (" << opts.maxReps << ") is below --min-reps (" << opts.goal.minReps << ")"
                  << std::endl;
        return 2;
    }
    opts.progress = isatty(STDERR_FILENO) != 0;
    RunManager manager(opts, catalog);
    const RunSummary summary = manager.Run();

    std::map<ExperimentStatus, int> tally;
    for (const auto& r : summary.results) ++tally[r.status];
    std::ostringstream line;
    line << "simmgr: " << summary.results.size() << " experiment(s):";
    for (const auto& [status, count] : tally) line << " " << count << " " << StatusName(status);
    char buf[256];
    const double share = summary.childrenCpuSeconds > 0 ? summary.managerCpuSeconds / summary.childrenCpuSeconds : 0;
    std::snprintf(buf, sizeof buf,
                  "; wall %.1f s; simulators %.1f s CPU; manager %.2f s CPU (%.2f%% of the simulators')",
                  summary.wallSeconds, summary.childrenCpuSeconds, summary.managerCpuSeconds, 100.0 * share);
    line << buf;
    std::cerr << line.str() << std::endl;

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

int MergeCommand(const std::vector<std::string>& files, const OutputOptions& out, const StudyCatalog& catalog) {
    const int maxVars = catalog.variables.empty() ? 65536 : static_cast<int>(catalog.variables.size());
    std::map<int, ExperimentResult> byExperiment;
    std::map<uint64_t, std::string> seenContent;
    bool ok = true;
    for (const std::string& path : files) {
        BinaryFileData data;
        std::string error;
        if (!ReadBinaryFile(path, maxVars, data, error)) {
            std::cerr << "simmgr: " << error << std::endl;
            ok = false;
            continue;
        }
        if (catalog.NumExperiments() > 0 && data.experiment >= catalog.NumExperiments()) {
            std::cerr << "simmgr: " << path << ": experiment " << data.experiment << " is not in the study"
                      << std::endl;
            ok = false;
            continue;
        }
        if (data.messages > 0) {
            auto [it, fresh] = seenContent.emplace(data.contentHash, path);
            if (!fresh) {
                std::cerr << "simmgr: " << path << ": holds the same observations as " << it->second
                          << " (the same file, or a job run twice with one seed); not merged twice" << std::endl;
                ok = false;
                continue;
            }
        }
        ExperimentResult& r = byExperiment[data.experiment];
        r.experiment = data.experiment;
        r.status = ExperimentStatus::Finished;
        r.Merge(data.stats);
        ++r.processes;
    }
    if (!ok) {
        std::cerr << "simmgr: merge refused: fix or leave out the files named above" << std::endl;
        return 1;
    }
    std::vector<ExperimentResult> results;
    for (auto& [e, r] : byExperiment) results.push_back(std::move(r));
    return Publish(results, catalog, out, false) ? 0 : 1;
}

int PlanCommand(PlanOptions& opts, const std::string& experimentText, const StudyCatalog& catalog) {
    std::string error;
    if (!ParseExperimentList(experimentText, catalog.NumExperiments(), opts.experiments, error) ||
        !SeedsAreIndependent(opts.seed, static_cast<int64_t>(opts.experiments.size()) * opts.jobsPerExp, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        return 2;
    }
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
    std::cout << "Wrote " << jobs.size() << " jobs to " << opts.outDir << "/jobs.txt and a Slurm array script "
              << opts.outDir << "/slurm.sh (seeds " << opts.seed << " to " << opts.seed + static_cast<int64_t>(jobs.size()) - 1
              << ").\n"
              << "Run them:   parallel --jobs " << std::thread::hardware_concurrency() << " < " << opts.outDir
              << "/jobs.txt\n"
              << "   or:      parallel --sshloginfile HOSTS < " << opts.outDir << "/jobs.txt\n"
              << "   or:      sbatch " << opts.outDir << "/slurm.sh\n"
              << "Then merge: simmgr merge " << opts.outDir << "/*.bin\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    CLI::App app{"simmgr: runs the study's experiments and reports each measure with confidence intervals"};
    app.require_subcommand(1);

    RunOptions run;
    run.simulator = DefaultSimulator();
    run.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::string runExperiments = "all";
    OutputOptions runOut;
    int64_t fixedReps = 0;
    CLI::App* runCmd = app.add_subcommand("run", "Run experiments on local simulators until the precision is reached");
    runCmd->add_option("--sim", run.simulator, "Simulator executable")->capture_default_str();
    runCmd->add_option("--experiments", runExperiments, "Experiments to run, e.g. 0,4,8 or 2-5 (0-based)")
        ->capture_default_str();
    runCmd->add_option("--jobs", run.jobs, "Simulators running at once")->check(CLI::Range(1, 1024))->capture_default_str();
    // One simulator per experiment would leave the last experiment running
    // alone while the other slots idle; by default each experiment is split
    // over every slot, so the experiments end together.
    CLI::Option* procsOption =
        runCmd->add_option("--procs-per-exp", run.procsPerExp,
                           "Simulators per experiment, with distinct seeds (default: --jobs, at most 256)")
            ->check(CLI::Range(1, 256));
    runCmd->add_option("--rel-precision", run.goal.relative, "Relative half-width to reach")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    runCmd->add_option("--abs-precision", run.goal.absolute, "Half-width to reach while a mean is 0")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    runCmd->add_option("--min-reps", run.goal.minReps, "Replications before the precision is judged")
        ->check(CLI::Range(int64_t{2}, int64_t{1} << 40))
        ->capture_default_str();
    runCmd->add_option("--max-reps", run.maxReps, "Replication cap per experiment")
        ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}))
        ->capture_default_str();
    runCmd->add_option("--reps", fixedReps, "Run exactly this many replications per experiment, ignoring precision")
        ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}));
    runCmd->add_option("--report-size", run.reportSize, "Replications per report from a simulator (-n)")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    runCmd->add_option("--seed", run.seed, "Seed of the first simulator; simulator k gets seed + k")
        ->capture_default_str();
    runCmd->add_option("--port", run.port, "First port the simulators try")->check(CLI::Range(1024, 65000))->capture_default_str();
    runCmd->add_option("--sim-arg", run.extraArgs, "Extra argument for every simulator (repeatable)");
    runCmd->add_option("--start-timeout", run.startTimeout, "Seconds a simulator may take to register")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    runCmd->add_option("--stall-timeout", run.stallTimeout, "Seconds of silence before a simulator is given up")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    runCmd->add_option("--quit-timeout", run.quitGrace, "Seconds a simulator may take to stop after quit")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    AddOutputOptions(runCmd, runOut);

    PlanOptions plan;
    plan.simulator = DefaultSimulator();
    plan.outDir = "simmgr-plan";
    std::string planExperiments = "all";
    CLI::App* planCmd = app.add_subcommand("plan", "Write a job list for GNU parallel and a Slurm array script");
    planCmd->add_option("--sim", plan.simulator, "Simulator executable as the jobs will find it")->capture_default_str();
    planCmd->add_option("--experiments", planExperiments, "Experiments, e.g. 0,4,8 or 2-5")->capture_default_str();
    planCmd->add_option("--jobs-per-exp", plan.jobsPerExp, "Jobs per experiment")->check(CLI::Range(1, 100000))->capture_default_str();
    planCmd->add_option("--reps", plan.repsPerJob, "Replications per job (-N)")
        ->check(CLI::Range(int64_t{1}, int64_t{INT32_MAX}))
        ->capture_default_str();
    planCmd->add_option("--report-size", plan.reportSize, "Replications per message in the files (-n)")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    planCmd->add_option("--seed", plan.seed, "Seed of job 0; job j gets seed + j")->capture_default_str();
    planCmd->add_option("--out", plan.outDir, "Directory for jobs.txt, slurm.sh and the jobs' files")->capture_default_str();
    planCmd->add_flag("--ascii", plan.ascii, "Also have every job write its ASCII file (-a)");

    std::vector<std::string> mergeFiles;
    OutputOptions mergeOut;
    CLI::App* mergeCmd = app.add_subcommand("merge", "Merge simulator binary output files into one report");
    mergeCmd->add_option("files", mergeFiles, "Binary output files")->required();
    AddOutputOptions(mergeCmd, mergeOut);

    CLI11_PARSE(app, argc, argv);

    const StudyCatalog catalog = LoadStudyCatalog();
    if (*runCmd) {
        if (procsOption->count() == 0) run.procsPerExp = std::min(run.jobs, 256);
        if (fixedReps > 0) {
            run.fixedReps = true;
            run.maxReps = fixedReps;
        }
        return RunCommand(run, runExperiments, runOut, catalog);
    }
    if (*planCmd) return PlanCommand(plan, planExperiments, catalog);
    return MergeCommand(mergeFiles, mergeOut, catalog);
}

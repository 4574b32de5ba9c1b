#include "simmgr/cli/StudyOptions.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>

#include "simmgr/blocks/ChangeOfMeasure.h"
#include "simmgr/study/SimulatorDescription.h"
#include "simmgr/study/StudyDefinition.h"

namespace {

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

// The simulator refuses a word longer than kMaxSimulatorArgument where it
// expects an option; the word after a bare "-x" is that option's value,
// which it takes whole.
bool SimArgFits(const std::vector<std::string>& args, size_t i, std::string& error) {
    const bool value = i > 0 && args[i - 1].size() == 2 && args[i - 1][0] == '-' && args[i][0] != '-';
    if (value || args[i].size() <= kMaxSimulatorArgument) return true;
    error = "--sim-arg " + args[i] + ": " + std::to_string(args[i].size()) + " characters; the simulator takes at most " +
            std::to_string(kMaxSimulatorArgument) + " per option";
    return false;
}

// The options the manager gives every block itself may not come in twice.
bool SimArgsAllowed(const std::vector<std::string>& args, std::string& error) {
    const std::string owned = "wecsnNpbB";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.empty()) {
            error = "--sim-arg: an empty argument";
            return false;
        }
        if (!SimArgFits(args, i, error)) return false;
        if (arg.size() >= 2 && arg[0] == '-' && owned.find(arg[1]) != std::string::npos) {
            error = "--sim-arg " + arg + ": simmgr sets -" + arg.substr(1, 1) + " for every block itself " +
                    (arg[1] == 'B' ? "(use --bias or --rare)"
                                   : "(use --experiments, --seed, --block-size or --report-size)");
            return false;
        }
    }
    return true;
}

// The model's own change of measure for rare failures, where both the
// build tree and the installed tree keep it relative to its simulator:
// <bin>/../share/<simulator>/<model>_rare.bias.
std::string ShippedBiasPath(const std::string& simulator, const std::string& model) {
    const std::filesystem::path sim = std::filesystem::absolute(simulator);
    const std::filesystem::path path = sim.parent_path() / ".." / "share" / sim.filename() / (model + "_rare.bias");
    return path.lexically_normal().string();
}

// The simulator reads the change of measure as a block would and refuses
// what it cannot use, naming the file's line and column; the file must
// still hold what was read, or the check says nothing of the blocks.
bool SimulatorAccepts(const StudyOptions& study, const std::string& file, std::string& error) {
    if (!DescribeSimulator(study.simulator, file, error)) return false;
    if (FileHolds(study.layout.bias.path, study.layout.bias.content)) return true;
    error = file + " changed while it was read: give it again once it is written";
    return false;
}

// Turns --bias/--rare into the layout's change of measure and makes the run
// weighted; refuses a file that cannot be read, or that the model's
// simulator refuses, before any block is run.
bool ResolveChangeOfMeasure(StudyOptions& study, const StudyCatalog& catalog, std::string& error) {
    if (study.rare && !study.biasFile.empty()) {
        error = "--rare and --bias both name a change of measure: give one of them";
        return false;
    }
    std::string file = study.biasFile;
    if (study.rare) {
        file = ShippedBiasPath(study.simulator, catalog.model);
        if (access(file.c_str(), R_OK) != 0) {
            error = "--rare: the shipped change of measure was not found at " + file;
            return false;
        }
    }
    if (file.empty()) return true;
    if (!LoadChangeOfMeasure(file, study.layout.bias, error) || !SimulatorAccepts(study, file, error)) return false;
    study.goal.weighted = true;
    return true;
}

// The directory of the simmgr executable, with a trailing '/'; empty if unknown.
std::string ExecutableDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string self(buf, static_cast<size_t>(n));
    return self.substr(0, self.rfind('/') + 1);
}

// Blocks of one experiment are this many seeds apart, so that every
// experiment of the study has seeds of its own.
int SeedStride(const StudyCatalog& catalog) { return std::max(catalog.NumExperiments(), 1); }

}  // namespace

void AddStudyOptions(CLI::App* app, StudyOptions& study, const std::string& simHelp) {
    study.simulator = DefaultSimulator();
    app->add_option("--sim", study.simulator, simHelp)->capture_default_str();
    app->add_option("--experiments", study.experiments,
                    "Experiments, e.g. 0,4,8 or 2-5 (0-based), or all (the default); with --vary the one "
                    "experiment it starts from (default 0)");
    app->add_option("--set", study.sets, "NAME=VALUE: a global variable's value in every experiment (repeatable)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app->add_option("--vary", study.varies,
                    "NAME=V1,V2,...: a study over these values (repeatable: the cross product, the first --vary "
                    "varying slowest)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app->add_option("--seed", study.layout.baseSeed,
                    "Base seed: block j of experiment e gets seed + E*j + e, E the number of experiments in the study")
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
    app->add_option("--bias", study.biasFile,
                    "Run every block under this change of measure (-B); its content is part of each block's identity");
    app->add_flag("--rare", study.rare, "Run every block under the model's shipped change of measure for rare failures");
}

bool ResolveStudy(StudyOptions& study, StudyCatalog& catalog, std::vector<int>& experiments, std::string& error) {
    std::optional<StudyCatalog> model = DescribeSimulator(study.simulator, "", error);
    if (!model) return false;
    const std::string chosen = study.experiments.empty() && !study.varies.empty() ? "0" : study.experiments;
    if (!ParseExperimentList(chosen, model->NumExperiments(), experiments, error)) return false;
    if (!SimArgsAllowed(study.layout.simArgs, error) || !ResolveChangeOfMeasure(study, *model, error)) return false;
    std::optional<DefinedStudy> defined =
        DefineStudy(*model, StudyRequest{study.sets, study.varies, study.layout.simArgs, experiments}, error);
    if (!defined) return false;
    catalog = std::move(defined->catalog);
    experiments = std::move(defined->experiments);
    study.layout.selections.clear();
    for (const ExperimentInfo& info : catalog.experiments)
        study.layout.selections.push_back(SimSelection{info.simExperiment, info.overrides});
    study.layout.model = catalog.identity;
    study.layout.seedStride = SeedStride(catalog);
    if (study.fixedReps > 0) study.layout.maxReps = study.fixedReps;
    if (study.fixedReps == 0 && study.layout.maxReps < study.goal.minReps) {
        error = "--max-reps (" + std::to_string(study.layout.maxReps) + ") is below --min-reps (" +
                std::to_string(study.goal.minReps) + ")";
        return false;
    }
    return study.layout.SeedsInRange(error);
}

std::string DefaultSimulator() { return ExecutableDir() + "basic_model_sim"; }

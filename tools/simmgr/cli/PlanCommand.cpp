#include "simmgr/cli/PlanCommand.h"

#include <unistd.h>

#include <climits>
#include <iostream>
#include <optional>
#include <thread>

#include "simmgr/blocks/BlockStore.h"

PlanCommand::PlanCommand(CLI::App& app) {
    plan.outDir = "simmgr-plan";
    command = app.add_subcommand("plan", "Write the study's blocks as jobs for GNU parallel or Slurm");
    AddStudyOptions(command, study,
                    "Simulator executable, run here to learn its model and named in the jobs: where the jobs will find it");
    command->add_option("--report-size", plan.reportSize, "Replications per message in the files (-n)")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    command->add_option("--out", plan.outDir, "Directory for jobs.txt, slurm.sh and the block files")->capture_default_str();
    command->add_flag("--ascii", plan.ascii, "Also have every job write its ASCII file (-a)");
}

int PlanCommand::Execute() {
    std::string error;
    if (!ResolveStudy(study, catalog, plan.experiments, error) ||
        !study.layout.FileNamesFit(plan.experiments, kJobPartSuffix, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        return 2;
    }
    plan.simulator = study.simulator;
    plan.layout = study.layout;
    // Jobs may run from another directory (Slurm, ssh): give them absolute paths.
    char cwd[PATH_MAX];
    const std::string here = getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" : std::string();
    if (plan.simulator.find('/') != std::string::npos && plan.simulator[0] != '/') plan.simulator = here + plan.simulator;
    if (!plan.outDir.empty() && plan.outDir[0] != '/') plan.outDir = here + plan.outDir;
    // The plan's directory is a block store: the jobs run the copy kept there.
    if (plan.layout.bias.Active()) {
        std::optional<BlockStore> store = BlockStore::Open(plan.outDir, error);
        if (!store || !store->Keep(plan.layout.bias, error)) {
            std::cerr << "simmgr: " << error << std::endl;
            return 1;
        }
    }
    const std::vector<PlannedJob> jobs = MakePlan(plan);
    if (!WritePlan(plan, jobs, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        return 1;
    }
    std::cout << "Wrote " << jobs.size() << " block jobs (" << plan.layout.BlockCount() << " per experiment, "
              << plan.layout.RepsOf(0) << " replications each at most) to " << plan.outDir
              << "/jobs.txt and a Slurm array script " << plan.outDir << "/slurm.sh.\n"
              << "Run them:   parallel --jobs " << std::thread::hardware_concurrency() << " < " << plan.outDir
              << "/jobs.txt\n"
              << "   or:      parallel --sshloginfile HOSTS < " << plan.outDir << "/jobs.txt\n"
              << "   or:      sbatch " << plan.outDir << "/slurm.sh\n"
              << "Then merge: simmgr merge --store " << plan.outDir << " (with the same study options)\n";
    return 0;
}

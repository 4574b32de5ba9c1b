// simmgr: runs the study's experiments as replication blocks on local
// simulators and reports each measure with confidence intervals; plans the
// same blocks for external job engines and merges their files into the same
// report.
#include <signal.h>

#include <CLI/CLI.hpp>

#include "simmgr/cli/MergeCommand.h"
#include "simmgr/cli/PlanCommand.h"
#include "simmgr/cli/RunCommand.h"

int main(int argc, char** argv) {
    // A simulator that has gone must not take the manager with it.
    signal(SIGPIPE, SIG_IGN);
    CLI::App app{"simmgr: runs the study's experiments and reports each measure with confidence intervals"};
    app.set_version_flag("--version", std::string("simmgr ") + SIMMGR_VERSION + " (commit " + SIMMGR_COMMIT + ")");
    app.require_subcommand(1);
    // An option given twice takes its last value, so a saved command line
    // can be rerun with one setting changed at its end.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    RunCommand run(app);
    PlanCommand plan(app);
    MergeCommand merge(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and --version are answers, not errors; every other bad
        // command line exits with 2, whatever the parser would have said.
        const int parserStatus = app.exit(e);
        return parserStatus == 0 ? 0 : 2;
    }

    if (run.Chosen()) return run.Execute();
    if (plan.Chosen()) return plan.Execute();
    return merge.Execute();
}

// `simmgr run`: computes the study's blocks on local simulators (reusing
// those found in --store) until every experiment is decided, then
// publishes the results. Registers its options on construction; the
// object must outlive the parse, since the parser writes into it.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "simmgr/cli/OutputOptions.h"
#include "simmgr/cli/StudyOptions.h"
#include "simmgr/run/RunManager.h"

class RunCommand {
public:
    explicit RunCommand(CLI::App& app);
    RunCommand(const RunCommand&) = delete;
    RunCommand& operator=(const RunCommand&) = delete;

    bool Chosen() const { return static_cast<bool>(*command); }
    // The exit status: 0 all decided, 1 a failure, 2 bad request, 130 interrupted.
    int Execute();

private:
    // The study asked for, once ResolveStudy() has learnt it from the simulator.
    StudyCatalog catalog;
    RunOptions run;
    StudyOptions study;
    std::string storeDir;
    OutputOptions out;
    std::string procsPerExp;   // the retired option, refused with an explanation
    CLI::App* command = nullptr;
};

// `simmgr merge`: judges stored or planned block files exactly as a run
// would, and publishes the results. Registers its options on construction;
// must outlive the parse.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "simmgr/cli/OutputOptions.h"
#include "simmgr/cli/StudyOptions.h"

class MergeCommand {
public:
    explicit MergeCommand(CLI::App& app);
    MergeCommand(const MergeCommand&) = delete;
    MergeCommand& operator=(const MergeCommand&) = delete;

    bool Chosen() const { return static_cast<bool>(*command); }
    // The exit status: 0 every answer complete, 1 refused or incomplete, 2 bad request.
    int Execute();

private:
    // The study asked for, once ResolveStudy() has learnt it from the simulator.
    StudyCatalog catalog;
    StudyOptions study;
    std::vector<std::string> files;
    std::string storeDir;
    OutputOptions out;
    CLI::App* command = nullptr;
};

// `simmgr plan`: writes the study's blocks as command lines for GNU
// parallel and as a Slurm array script, for `simmgr merge` to judge later.
// Registers its options on construction; must outlive the parse.
#pragma once

#include <CLI/CLI.hpp>

#include "simmgr/cli/StudyOptions.h"
#include "simmgr/plan/Planner.h"

class PlanCommand {
public:
    explicit PlanCommand(CLI::App& app);
    PlanCommand(const PlanCommand&) = delete;
    PlanCommand& operator=(const PlanCommand&) = delete;

    bool Chosen() const { return static_cast<bool>(*command); }
    // The exit status: 0 written, 1 the plan could not be written, 2 bad request.
    int Execute();

private:
    // The study asked for, once ResolveStudy() has learnt it from the simulator.
    StudyCatalog catalog;
    PlanOptions plan;
    StudyOptions study;
    CLI::App* command = nullptr;
};

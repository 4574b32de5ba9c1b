// The options that identify a study's blocks and judge them, shared by the
// run, plan and merge subcommands so that one command line means the same
// blocks to all three. The simulator named describes the model, and the
// options are checked against that description before any work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "simmgr/blocks/BlockLayout.h"
#include "simmgr/stats/StoppingRule.h"
#include "simmgr/study/StudyCatalog.h"

struct StudyOptions {
    std::string simulator;                 // --sim: the simulator of the model
    std::string experiments;               // empty: all, or with --vary the first
    std::vector<std::string> sets;         // --set NAME=VALUE
    std::vector<std::string> varies;       // --vary NAME=V1,V2,…
    BlockLayout layout;
    int64_t fixedReps = 0;                 // --reps: exactly this many, no stopping rule
    PrecisionGoal goal;
    std::string biasFile;                  // --bias: a change of measure for every block
    bool rare = false;                     // --rare: the model's shipped change of measure
};

// Registers the study options on a subcommand, --sim with `simHelp` and the
// simulator beside simmgr as its default. Plan takes the precision options
// too, unused.
void AddStudyOptions(CLI::App* app, StudyOptions& study, const std::string& simHelp);

// Learns the model from the simulator, checks the study options against
// it, sets `catalog` to the study they define (its own, or --set, --vary),
// lists the experiments asked for and completes the layout; false with a
// message naming what is wrong.
bool ResolveStudy(StudyOptions& study, StudyCatalog& catalog, std::vector<int>& experiments, std::string& error);

// The simulator next to the simmgr executable: basic_model_sim.
std::string DefaultSimulator();

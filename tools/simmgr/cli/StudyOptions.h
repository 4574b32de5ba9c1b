// The options that identify a study's blocks and judge them, shared by the
// run, plan and merge subcommands so that one command line means the same
// blocks to all three. Checked against the study catalog before any work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "simmgr/blocks/BlockLayout.h"
#include "simmgr/stats/StoppingRule.h"
#include "simmgr/study/StudyCatalog.h"

struct StudyOptions {
    std::string experiments;               // empty: all, or with --vary the first
    std::vector<std::string> sets;         // --set NAME=VALUE
    std::vector<std::string> varies;       // --vary NAME=V1,V2,…
    BlockLayout layout;
    int64_t fixedReps = 0;                 // --reps: exactly this many, no stopping rule
    PrecisionGoal goal;
    std::string biasFile;                  // --bias: a change of measure for every block
    bool rare = false;                     // --rare: the model's shipped change of measure
};

// Registers the study options on a subcommand; the help names the
// catalog's experiment count. Plan takes the precision options too, unused.
void AddStudyOptions(CLI::App* app, StudyOptions& study, const StudyCatalog& catalog);

// Checks the study options against the built-in catalog, replaces it by the
// study they define (--set, --vary), lists the experiments asked for and
// completes the layout; false with a message naming what is wrong.
bool ResolveStudy(StudyOptions& study, StudyCatalog& catalog, std::vector<int>& experiments, std::string& error);

// The directory of the simmgr executable, with a trailing '/'; empty if unknown.
std::string ExecutableDir();
// The simulator next to this executable.
std::string DefaultSimulator();

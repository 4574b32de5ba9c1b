// What the manager learns of a model from the simulator compiled from it:
// the simulator is run once with -D, writes its description (experiments
// with their global values, the globals' names and types, the variables
// with their times, and the model's identity) and exits without
// simulating. The manager links no model of its own, so this is the one
// way it knows what it runs; the same run checks a change of measure
// (-B), so a file the simulator would refuse is refused before any work.
#pragma once

#include <optional>
#include <string>

#include "simmgr/study/StudyCatalog.h"

// The catalog a description holds; nothing, with `error` naming what is
// wrong, when `json` is no description this manager can read.
std::optional<StudyCatalog> ParseDescription(const std::string& json, std::string& error);

// Runs `simulator` -D (with -B `changeOfMeasure` when it is not empty) and
// reads the description it writes. Nothing, with `error` holding what went
// wrong and the simulator's own error lines, when it cannot be run, refuses
// or writes no readable description.
std::optional<StudyCatalog> DescribeSimulator(const std::string& simulator, const std::string& changeOfMeasure,
                                              std::string& error);

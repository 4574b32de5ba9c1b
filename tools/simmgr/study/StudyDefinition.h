// A study of the user's own, derived from the built-in one. --set gives
// global variables one value in every experiment; --vary gives a variable
// several values, and the study becomes the cross product of all --vary
// lists applied to one built-in experiment, numbered like nested loops in
// the order given (the first --vary slowest, the last fastest). A raw -O
// passed through to the simulator is read too, so that the values shown are
// the ones simulated. Every value is checked against the model's variables
// and types before anything runs; the derived experiments carry the -O
// string that makes the simulator simulate them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "simmgr/study/StudyCatalog.h"

struct StudyRequest {
    std::vector<std::string> sets;      // "NAME=VALUE"
    std::vector<std::string> varies;    // "NAME=V1,V2,…"
    std::vector<std::string> simArgs;   // options passed through; a -O among them is read
    std::vector<int> chosen;            // the built-in experiments chosen
};

struct DefinedStudy {
    StudyCatalog catalog;
    std::vector<int> experiments;       // the study's experiments to run, in order
};

// The study the request defines over the built-in catalog; nothing, with a
// message naming what is wrong, if the request is refused.
std::optional<DefinedStudy> DefineStudy(const StudyCatalog& builtIn, const StudyRequest& request, std::string& error);

// The simulator takes no argument longer than this.
constexpr size_t kMaxSimulatorArgument = 128;

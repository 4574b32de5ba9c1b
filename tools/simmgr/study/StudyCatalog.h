// What the manager knows of the study it runs: its experiments with the
// global-variable values they simulate and how the simulator is asked for
// each (its -e index and any -O override string), and the performance
// variables by the index a simulator reports them under, and the model it
// all belongs to. DescribeSimulator() fills it from the simulator's own
// description (the built-in study: experiment e is the simulator's -e e);
// DefineStudy() derives a study of the user's own from it. Lookups past what is known fall back to neutral names. A value is
// always shown as the shortest text that reads back to it in its variable's
// type, so that values the simulator tells apart are shown apart.
#pragma once

#include <string>
#include <vector>

struct ExperimentInfo {
    std::string name;
    std::vector<double> globals;   // the values simulated, parallel to StudyCatalog::globalNames
    int simExperiment = 0;         // the simulator's -e
    std::string overrides;         // the simulator's -O string, empty for none
};

struct VariableInfo {
    std::string name;
    double time = 0.0;             // observation instant
};

struct StudyCatalog {
    std::string model;                         // the model's name
    std::string identity;                      // "<model>-<hash of its model file>", in every block's name
    std::vector<std::string> globalNames;
    std::vector<std::string> globalTypes;      // "float", "int", …, parallel to globalNames
    std::vector<ExperimentInfo> experiments;   // index = the study's experiment number
    std::vector<int> varied;                   // globals a --vary study sweeps, in the order given
    std::vector<VariableInfo> variables;       // index = reported variable index

    int NumExperiments() const { return static_cast<int>(experiments.size()); }
    std::string ExperimentName(int index) const;
    // "Experiment 1 (-e 0)"; a --vary study's number too: "ram_size=1 (#0, -e 0)".
    std::string Heading(int index) const;
    VariableInfo Variable(int index) const;
    // Value of a global variable in an experiment; false if unknown.
    bool GlobalValue(int experiment, const std::string& name, double& value) const;
    // The text of global g's value `value` (its type's shortest).
    std::string GlobalText(size_t g, double value) const;
};

// The shortest text that reads back to `value` as a variable of `type`
// ("float", "int", …); a type not known is shown as a double.
std::string ValueText(const std::string& type, double value);

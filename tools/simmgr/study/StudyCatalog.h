// What the manager knows of the model it runs: the study's experiments with
// their global-variable values, and the performance variables by the index
// a simulator reports them under. Filled from the linked study by
// LoadStudyCatalog() (LinkedStudy.h); lookups past what is known fall back
// to neutral names.
#pragma once

#include <string>
#include <vector>

struct ExperimentInfo {
    std::string name;
    std::vector<double> globals;   // parallel to StudyCatalog::globalNames
};

struct VariableInfo {
    std::string name;
    double time = 0.0;             // observation instant
};

struct StudyCatalog {
    std::vector<std::string> globalNames;
    std::vector<ExperimentInfo> experiments;   // index = the simulator's -e
    std::vector<VariableInfo> variables;       // index = reported variable index

    int NumExperiments() const { return static_cast<int>(experiments.size()); }
    std::string ExperimentName(int index) const;
    VariableInfo Variable(int index) const;
    // Value of a global variable in an experiment; false if unknown.
    bool GlobalValue(int experiment, const std::string& name, double& value) const;
};

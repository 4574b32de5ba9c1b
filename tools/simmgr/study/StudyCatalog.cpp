#include "simmgr/study/StudyCatalog.h"

#include <charconv>
#include <cmath>

std::string StudyCatalog::ExperimentName(int index) const {
    if (index >= 0 && index < NumExperiments()) return experiments[index].name;
    return "Experiment " + std::to_string(index + 1);
}

std::string StudyCatalog::Heading(int index) const {
    const int simExperiment = index >= 0 && index < NumExperiments() ? experiments[index].simExperiment : index;
    const bool ownNumbering = !varied.empty() || simExperiment != index;
    const std::string number = ownNumbering ? "#" + std::to_string(index) + ", " : "";
    return ExperimentName(index) + " (" + number + "-e " + std::to_string(simExperiment) + ")";
}

VariableInfo StudyCatalog::Variable(int index) const {
    if (index >= 0 && index < static_cast<int>(variables.size())) return variables[index];
    return VariableInfo{"variable" + std::to_string(index), std::nan("")};
}

bool StudyCatalog::GlobalValue(int experiment, const std::string& name, double& value) const {
    if (experiment < 0 || experiment >= NumExperiments()) return false;
    for (size_t g = 0; g < globalNames.size(); ++g) {
        if (globalNames[g] == name && g < experiments[experiment].globals.size()) {
            value = experiments[experiment].globals[g];
            return true;
        }
    }
    return false;
}

std::string StudyCatalog::GlobalText(size_t g, double value) const {
    return ValueText(g < globalTypes.size() ? globalTypes[g] : "double", value);
}

std::string ValueText(const std::string& type, double value) {
    const bool integral = type == "int" || type == "short" || type == "long" || type == "bool" || type == "char";
    char buf[64];
    std::to_chars_result written{};
    if (type == "float")
        written = std::to_chars(buf, buf + sizeof buf, static_cast<float>(value));
    else if (integral && std::isfinite(value))
        written = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
    else
        written = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, written.ptr);
}

#include "simmgr/study/SimulatorDescription.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/ModelDescription.h"

namespace {

using nlohmann::json;
namespace d = description;

// The types a global of a compiled model can have.
bool KnownType(const std::string& type) {
    for (const char* known : {"bool", "char", "short", "int", "long", "float", "double"})
        if (type == known) return true;
    return false;
}

// The member `key` of `object` when it has the kind asked for; else the
// error names the key and what it should have been.
const json* Member(const json& object, const char* key, json::value_t kind, const std::string& where,
                   std::string& error) {
    const auto it = object.find(key);
    const bool number = kind == json::value_t::number_float;
    if (it != object.end() && (number ? it->is_number() : it->type() == kind)) return &*it;
    const char* kindName = kind == json::value_t::array    ? "a list"
                           : kind == json::value_t::string ? "a text"
                                                           : "a number";
    error = where + "'" + key + "' is missing or not " + kindName;
    return nullptr;
}

// The name of one entry of a list ("global 2: "), which must be an object.
const json* EntryName(const json& entry, const std::string& where, std::string& error) {
    if (!entry.is_object()) return (error = where + "not an object", nullptr);
    return Member(entry, d::kName, json::value_t::string, where, error);
}

std::optional<double> NumberOrNull(const json& value) {
    if (value.is_null()) return std::nan("");
    if (value.is_number()) return value.get<double>();
    return std::nullopt;
}

bool ReadGlobals(const json& list, StudyCatalog& catalog, std::string& error) {
    for (size_t g = 0; g < list.size(); ++g) {
        const std::string where = "global " + std::to_string(g) + ": ";
        const json* name = EntryName(list[g], where, error);
        const json* type = name ? Member(list[g], d::kType, json::value_t::string, where, error) : nullptr;
        if (type == nullptr) return false;
        if (!KnownType(type->get<std::string>()))
            return (error = where + "type '" + type->get<std::string>() + "' is not a type of a global", false);
        catalog.globalNames.push_back(name->get<std::string>());
        catalog.globalTypes.push_back(type->get<std::string>());
    }
    return true;
}

bool ReadExperiments(const json& list, StudyCatalog& catalog, std::string& error) {
    for (size_t e = 0; e < list.size(); ++e) {
        const std::string where = "experiment " + std::to_string(e) + ": ";
        const json* name = EntryName(list[e], where, error);
        const json* values = name ? Member(list[e], d::kValues, json::value_t::array, where, error) : nullptr;
        if (values == nullptr) return false;
        if (values->size() != catalog.globalNames.size())
            return (error = where + std::to_string(values->size()) + " values for " +
                            std::to_string(catalog.globalNames.size()) + " globals",
                    false);
        ExperimentInfo info;
        info.name = name->get<std::string>();
        info.simExperiment = static_cast<int>(e);
        for (const json& value : *values) {
            const std::optional<double> number = NumberOrNull(value);
            if (!number) return (error = where + "a value that is not a number", false);
            info.globals.push_back(*number);
        }
        catalog.experiments.push_back(std::move(info));
    }
    return true;
}

bool ReadVariables(const json& list, StudyCatalog& catalog, std::string& error) {
    for (size_t v = 0; v < list.size(); ++v) {
        const std::string where = "variable " + std::to_string(v) + ": ";
        const json* name = EntryName(list[v], where, error);
        if (name == nullptr) return false;
        const auto time = list[v].find(d::kTime);
        const std::optional<double> instant = time == list[v].end() ? std::nullopt : NumberOrNull(*time);
        if (!instant) return (error = where + "'" + d::kTime + "' is missing or not a number", false);
        catalog.variables.push_back(VariableInfo{name->get<std::string>(), *instant});
    }
    return true;
}

// A scratch directory of its own, removed with everything in it when the
// description has been read.
class ScratchDirectory {
public:
    ScratchDirectory() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/simmgr-describe-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~ScratchDirectory() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string path;   // empty when no directory could be made
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The simulator's own account of a refusal, indented under the manager's
// message: the first lines of its error stream (where it names what it
// refuses, before any usage text), or failing that the end of its output.
std::string SimulatorSaid(const std::string& errPath, const std::string& outPath) {
    constexpr size_t kLinesShown = 4;
    std::vector<std::string> lines;
    for (const std::string& path : {errPath, outPath}) {
        std::istringstream text(ReadText(path));
        for (std::string line; std::getline(text, line);)
            if (!line.empty()) lines.push_back(line);
        if (!lines.empty()) break;
    }
    const bool fromErrors = !ReadText(errPath).empty();
    const size_t first = fromErrors || lines.size() <= kLinesShown ? 0 : lines.size() - kLinesShown;
    const size_t last = std::min(lines.size(), first + kLinesShown);
    std::string indented;
    for (size_t i = first; i < last; ++i) indented += "\n  " + lines[i];
    if (lines.size() > kLinesShown)
        indented += "\n  (" + std::to_string(lines.size() - kLinesShown) + " more lines)";
    return indented;
}

// Runs argv with its output and error streams in files; the exit status,
// or -1 with `error` set when it could not be run or did not exit.
int RunToFiles(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath,
               std::string& error) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        error = std::strerror(spawned);
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return (error = std::strerror(errno), -1);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    error = "it ended with signal " + std::to_string(WTERMSIG(status));
    return -1;
}

}  // namespace

std::optional<StudyCatalog> ParseDescription(const std::string& text, std::string& error) {
    const json root = json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object()) return (error = "it is not a JSON object", std::nullopt);
    const auto format = root.find(d::kFormat);
    if (format == root.end() || !format->is_number_integer() || format->get<int>() != d::kFormatVersion)
        return (error = "its format is not " + std::to_string(d::kFormatVersion), std::nullopt);
    StudyCatalog catalog;
    const json* model = Member(root, d::kModel, json::value_t::string, "", error);
    const json* identity = model ? Member(root, d::kIdentity, json::value_t::string, "", error) : nullptr;
    const json* globals = identity ? Member(root, d::kGlobals, json::value_t::array, "", error) : nullptr;
    const json* experiments = globals ? Member(root, d::kExperiments, json::value_t::array, "", error) : nullptr;
    const json* variables = experiments ? Member(root, d::kVariables, json::value_t::array, "", error) : nullptr;
    if (variables == nullptr) return std::nullopt;
    catalog.model = model->get<std::string>();
    catalog.identity = identity->get<std::string>();
    if (!d::IsModelIdentity(catalog.identity) || catalog.identity.rfind(catalog.model + "-", 0) != 0)
        return (error = "the identity '" + catalog.identity + "' is not the model's name '" + catalog.model +
                        "', a '-' and 16 hexadecimal digits",
                std::nullopt);
    if (!ReadGlobals(*globals, catalog, error) || !ReadExperiments(*experiments, catalog, error) ||
        !ReadVariables(*variables, catalog, error))
        return std::nullopt;
    return catalog;
}

std::optional<StudyCatalog> DescribeSimulator(const std::string& simulator, const std::string& changeOfMeasure,
                                              std::string& error) {
    const std::string asked = "simulator " + simulator + " could not describe its model";
    if (access(simulator.c_str(), X_OK) != 0)
        return (error = "simulator " + simulator + " is not an executable file (build it, or name it with --sim)",
                std::nullopt);
    ScratchDirectory scratch;
    if (scratch.path.empty()) return (error = asked + ": no scratch directory: " + std::strerror(errno), std::nullopt);
    const std::string file = scratch.path + "/model.json", out = scratch.path + "/out", err = scratch.path + "/err";
    std::vector<std::string> args = {simulator, "-D", file};
    if (!changeOfMeasure.empty()) args.insert(args.end(), {"-B", changeOfMeasure});
    std::string why;
    const int status = RunToFiles(args, out, err, why);
    if (status != 0) {
        const std::string refusal = changeOfMeasure.empty() ? asked : "the simulator refused the change of measure " + changeOfMeasure;
        error = refusal + (status < 0 ? ": " + why : " (exit status " + std::to_string(status) + ")") +
                SimulatorSaid(err, out);
        return std::nullopt;
    }
    std::optional<StudyCatalog> catalog = ParseDescription(ReadText(file), why);
    if (!catalog) error = asked + ": its description (-D) cannot be read: " + why;
    return catalog;
}

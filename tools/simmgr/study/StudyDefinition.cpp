#include "simmgr/study/StudyDefinition.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>

#include "study/OverrideText.h"

namespace {

// One value given to one global variable: the text the simulator is given
// and the value the variable then holds.
struct Assignment {
    int global = 0;
    std::string text;
    double value = 0.0;
};

// The variable types a setting can give a value to, and for integers the
// range of the type (the simulator's conversion would wrap a value beyond
// it; a float or a double beyond its range is read as an infinity). The
// simulator's -O reads each type by its own letter: a letter copies as many
// bytes as the variable's own type has, so only the matching letter gives
// the value asked for.
struct TypeRule {
    const char* type;
    bool integral;
    long long low, high;

    char Letter() const { return override_text::LetterOfType(type); }
};

constexpr TypeRule kTypeRules[] = {
    {"float", false, 0, 0},
    {"double", false, 0, 0},
    {"int", true, INT_MIN, INT_MAX},
    {"short", true, SHRT_MIN, SHRT_MAX},
    {"long", true, LONG_MIN, LONG_MAX},
    {"bool", true, SHRT_MIN, SHRT_MAX},
};

const TypeRule* RuleOf(const StudyCatalog& catalog, int global) {
    const std::string type = global < static_cast<int>(catalog.globalTypes.size()) ? catalog.globalTypes[global] : "float";
    for (const TypeRule& rule : kTypeRules)
        if (type == rule.type) return &rule;
    return nullptr;
}

std::string VariableList(const StudyCatalog& catalog) {
    std::string list;
    for (const std::string& name : catalog.globalNames) list += (list.empty() ? "" : ", ") + name;
    return list.empty() ? "none" : list;
}

bool FindGlobal(const StudyCatalog& catalog, const std::string& what, const std::string& name, int& global,
                std::string& error) {
    const auto it = std::find(catalog.globalNames.begin(), catalog.globalNames.end(), name);
    if (it != catalog.globalNames.end()) {
        global = static_cast<int>(it - catalog.globalNames.begin());
        return true;
    }
    error = what + ": the model has no global variable '" + name + "' (its global variables: " +
            VariableList(catalog) + ")";
    return false;
}

// The texts the simulator's readers take for an infinity or a NaN (inf,
// infinity, nan) are the only ones with an n in them.
bool SpellsNonFinite(const std::string& text) { return text.find_first_of("nN") != std::string::npos; }

// Whether the value of `text`, read as `held` by the simulator's
// conversion, lies within the range of the rule's type. An integer is
// measured before the conversion wraps it; a floating value is out of range
// when it overflows to an infinity or underflows to 0.
bool WithinRange(const TypeRule& rule, const std::string& text, double held) {
    errno = 0;
    if (rule.integral) {
        const long long written = std::strtoll(text.c_str(), nullptr, 0);
        return errno != ERANGE && written >= rule.low && written <= rule.high;
    }
    const long double written = std::strtold(text.c_str(), nullptr);
    return errno != ERANGE && std::isfinite(held) && (held != 0.0 || written == 0.0L);
}

// Reads a value for a global with the simulator's own conversion, so that
// the value shown is the value simulated, and gives it its canonical text.
// The whole text must be the value: the simulator would quietly read a
// prefix of "1x" or " 1".
bool ReadValue(const StudyCatalog& catalog, const std::string& what, int global, const std::string& text,
               Assignment& out, std::string& error) {
    const std::string& name = catalog.globalNames[global];
    const TypeRule* rule = RuleOf(catalog, global);
    if (rule == nullptr) {
        error = what + ": " + name + " is a " + catalog.globalTypes[global] + ", which simmgr cannot set";
        return false;
    }
    override_text::Value read;
    size_t consumed = 0;
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || SpellsNonFinite(text) ||
        !override_text::Read(rule->Letter(), text.c_str(), read, &consumed) || consumed != text.size()) {
        error = what + ": '" + text + "' is not " + (rule->integral ? "an integer" : "a number") + " (" + name +
                " is a " + rule->type + ")";
        return false;
    }
    const double held = override_text::AsDouble(rule->Letter(), read);
    if (!WithinRange(*rule, text, held)) {
        error = what + ": " + text + " is out of range for " + name + " (a " + rule->type + ")";
        return false;
    }
    out.global = global;
    out.value = held;
    out.text = catalog.GlobalText(static_cast<size_t>(global), held);
    return true;
}

// Splits "NAME=VALUE" at its first '='.
bool SplitAssignment(const std::string& option, const std::string& given, std::string& name, std::string& value,
                     std::string& error) {
    const size_t eq = given.find('=');
    if (eq == std::string::npos || eq == 0) {
        error = option + " " + given + ": expected NAME=" + (option == "--vary" ? "V1,V2,…" : "VALUE");
        return false;
    }
    name = given.substr(0, eq);
    value = given.substr(eq + 1);
    return true;
}

// --set NAME=VALUE options, one per variable (a later one wins), in the
// order of the variables.
bool ReadSets(const StudyCatalog& catalog, const std::vector<std::string>& given, std::vector<Assignment>& sets,
              std::string& error) {
    std::map<int, Assignment> byGlobal;
    for (const std::string& item : given) {
        std::string name, value;
        int global = 0;
        Assignment a;
        if (!SplitAssignment("--set", item, name, value, error) || !FindGlobal(catalog, "--set " + item, name, global, error) ||
            !ReadValue(catalog, "--set " + item, global, value, a, error))
            return false;
        byGlobal[global] = a;
    }
    for (const auto& [global, a] : byGlobal) sets.push_back(a);
    return true;
}

// --vary NAME=V1,V2,… options, in the order given.
bool ReadVaries(const StudyCatalog& catalog, const std::vector<std::string>& given, const std::vector<Assignment>& sets,
                std::vector<std::vector<Assignment>>& varies, std::string& error) {
    for (const std::string& item : given) {
        std::string name, list;
        int global = 0;
        if (!SplitAssignment("--vary", item, name, list, error) || !FindGlobal(catalog, "--vary " + item, name, global, error))
            return false;
        for (const Assignment& s : sets)
            if (s.global == global) {
                error = "--vary " + item + ": " + name + " is also given to --set";
                return false;
            }
        for (const auto& earlier : varies)
            if (earlier.front().global == global) {
                error = "--vary " + item + ": " + name + " is varied twice; give all its values in one --vary";
                return false;
            }
        std::vector<Assignment> values;
        size_t start = 0;
        while (true) {
            const size_t comma = std::min(list.find(',', start), list.size());
            Assignment a;
            if (!ReadValue(catalog, "--vary " + item, global, list.substr(start, comma - start), a, error)) return false;
            for (const Assignment& v : values)
                if (v.value == a.value) {
                    error = "--vary " + item + ": the value " + v.text + " comes twice" +
                            (v.text == a.text ? "" : " (as " + a.text + ")");
                    return false;
                }
            values.push_back(a);
            if (comma == list.size()) break;
            start = comma + 1;
        }
        varies.push_back(std::move(values));
    }
    return true;
}

// A raw override string "TYPE:NAME:VALUE[:…]", checked as strictly as --set.
bool ReadOverrideString(const StudyCatalog& catalog, const std::string& text, std::vector<Assignment>& out,
                        std::string& error) {
    const std::string what = "--sim-arg -O" + text;
    const std::vector<std::string> fields = override_text::SplitFields(text.c_str());
    if (fields.size() % 3 != 0) {
        error = what + ": the override string is incomplete (each override is TYPE:NAME:VALUE, e.g. f:ram_size:256)";
        return false;
    }
    for (size_t i = 0; i < fields.size(); i += 3) {
        int global = 0;
        if (!FindGlobal(catalog, what, fields[i + 1], global, error)) return false;
        const TypeRule* rule = RuleOf(catalog, global);
        if (rule != nullptr && fields[i] != std::string(1, rule->Letter())) {
            error = what + ": '" + fields[i] + "' is not the type letter of " + fields[i + 1] + ", a " + rule->type +
                    " (its letter is " + rule->Letter() + ")";
            return false;
        }
        Assignment a;
        if (!ReadValue(catalog, what, global, fields[i + 2], a, error)) return false;
        out.push_back(a);
    }
    return true;
}

// The override strings among the options passed through (-Ox and -O x), in
// order; false if a -O carries none.
bool RawOverrideStrings(const std::vector<std::string>& args, std::vector<std::string>& out, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("-O", 0) != 0) continue;
        if (args[i].size() > 2) {
            out.push_back(args[i].substr(2));
        } else if (i + 1 < args.size() && args[i + 1].rfind('-', 0) != 0) {
            out.push_back(args[++i]);
        } else {
            error = "--sim-arg -O: no override string follows (e.g. --sim-arg=-Of:ram_size:256, or better --set ram_size=256)";
            return false;
        }
    }
    return true;
}

std::string OverrideString(const StudyCatalog& catalog, std::vector<Assignment> assignments) {
    std::sort(assignments.begin(), assignments.end(), [](const auto& a, const auto& b) { return a.global < b.global; });
    std::string text;
    for (const Assignment& a : assignments)
        text += (text.empty() ? "" : ":") + std::string(1, RuleOf(catalog, a.global)->Letter()) + ":" +
                catalog.globalNames[a.global] + ":" + a.text;
    return text;
}

void Apply(const std::vector<Assignment>& assignments, ExperimentInfo& info) {
    for (const Assignment& a : assignments)
        if (a.global < static_cast<int>(info.globals.size())) info.globals[a.global] = a.value;
}

// The cross product of the --vary lists over one built-in experiment; the
// last list varies fastest.
bool CrossProduct(const StudyCatalog& builtIn, const ExperimentInfo& base, const std::vector<Assignment>& sets,
                  const std::vector<std::vector<Assignment>>& varies, StudyCatalog& study, std::string& error) {
    size_t count = 1;
    for (const auto& values : varies) {
        count *= values.size();
        if (count > 65536) {
            error = "--vary: the cross product has more than 65536 experiments";
            return false;
        }
    }
    study.experiments.clear();
    for (size_t k = 0; k < count; ++k) {
        std::vector<Assignment> chosen(varies.size());
        size_t rest = k;
        for (size_t v = varies.size(); v-- > 0;) {
            chosen[v] = varies[v][rest % varies[v].size()];
            rest /= varies[v].size();
        }
        ExperimentInfo info = base;
        info.name.clear();
        for (const Assignment& a : chosen)
            info.name += (info.name.empty() ? "" : " ") + builtIn.globalNames[a.global] + "=" + a.text;
        Apply(sets, info);
        Apply(chosen, info);
        chosen.insert(chosen.end(), sets.begin(), sets.end());
        info.overrides = OverrideString(builtIn, chosen);
        study.experiments.push_back(std::move(info));
    }
    for (const auto& values : varies) study.varied.push_back(values.front().global);
    return true;
}

bool ArgumentsFit(const StudyCatalog& study, std::string& error) {
    for (const ExperimentInfo& info : study.experiments) {
        const size_t length = 2 + info.overrides.size();
        if (length > kMaxSimulatorArgument) {
            error = "the settings of " + info.name + " make a simulator option -O" + info.overrides + " of " +
                    std::to_string(length) + " characters; the simulator takes at most " +
                    std::to_string(kMaxSimulatorArgument);
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<DefinedStudy> DefineStudy(const StudyCatalog& builtIn, const StudyRequest& request, std::string& error) {
    std::vector<std::string> raw;
    std::vector<Assignment> rawAssignments, sets;
    std::vector<std::vector<Assignment>> varies;
    if (!RawOverrideStrings(request.simArgs, raw, error)) return std::nullopt;
    for (const std::string& text : raw) {
        // The simulator keeps the last -O only.
        rawAssignments.clear();
        if (!ReadOverrideString(builtIn, text, rawAssignments, error)) return std::nullopt;
    }
    if (!ReadSets(builtIn, request.sets, sets, error) || !ReadVaries(builtIn, request.varies, sets, varies, error))
        return std::nullopt;
    if (!raw.empty() && (!sets.empty() || !varies.empty())) {
        error = "--sim-arg -O cannot be combined with --set or --vary (the simulator keeps one -O only); "
                "give every override with --set NAME=VALUE";
        return std::nullopt;
    }
    DefinedStudy defined{builtIn, request.chosen};
    if (varies.empty()) {
        const std::string overrides = OverrideString(builtIn, sets);
        for (ExperimentInfo& info : defined.catalog.experiments) {
            Apply(rawAssignments, info);
            Apply(sets, info);
            info.overrides = overrides;
        }
    } else {
        if (request.chosen.size() != 1) {
            error = "--vary starts from one built-in experiment: choose it with --experiments N (default 0), not " +
                    std::to_string(request.chosen.size());
            return std::nullopt;
        }
        const int base = request.chosen.front();
        if (base >= builtIn.NumExperiments()) {
            error = "--vary: the study has no experiment " + std::to_string(base) + " to start from";
            return std::nullopt;
        }
        if (!CrossProduct(builtIn, builtIn.experiments[base], sets, varies, defined.catalog, error)) return std::nullopt;
        defined.experiments.clear();
        for (int e = 0; e < defined.catalog.NumExperiments(); ++e) defined.experiments.push_back(e);
    }
    if (!ArgumentsFit(defined.catalog, error)) return std::nullopt;
    return defined;
}

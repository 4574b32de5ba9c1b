#include "simmgr/StoppingRule.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "simmgr/Interval.h"

double StoppingRule::RelativeHalfWidth(const RunningStats& s) const {
    const Interval ci = StoppingInterval(s, goal.confidence);
    if (!ci.valid) return std::numeric_limits<double>::infinity();
    const double half = ci.HalfWidthAround(s.Mean());
    if (s.Mean() == 0.0) return std::numeric_limits<double>::infinity();
    return half / std::fabs(s.Mean());
}

double StoppingRule::Progress(const RunningStats& s) const {
    const Interval ci = StoppingInterval(s, goal.confidence);
    if (!ci.valid) return std::numeric_limits<double>::infinity();
    const double half = ci.HalfWidthAround(s.Mean());
    if (s.Mean() == 0.0) return half / goal.absolute;
    return (half / std::fabs(s.Mean())) / goal.relative;
}

bool StoppingRule::VariableMet(const RunningStats& s) const {
    return s.Count() >= goal.minReps && Progress(s) <= 1.0;
}

bool StoppingRule::Met(const ExperimentResult& r, int expectedVariables) const {
    if (r.variables.empty()) return false;
    if (expectedVariables > 0 && static_cast<int>(r.variables.size()) < expectedVariables) return false;
    return std::all_of(r.variables.begin(), r.variables.end(),
                       [this](const auto& entry) { return VariableMet(entry.second); });
}

double StoppingRule::WidestRelativeHalfWidth(const ExperimentResult& r) const {
    double widest = 0.0;
    for (const auto& [index, stats] : r.variables) widest = std::max(widest, RelativeHalfWidth(stats));
    return widest;
}

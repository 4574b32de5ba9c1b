#include "simmgr/stats/StoppingRule.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

Interval StoppingRule::JudgedInterval(const RunningStats& s) const {
    if (goal.weighted) return WeightedInterval(s, goal.confidence);
    if (!s.AllBinary()) return StudentInterval(s, goal.confidence);
    if (goal.binary == PrecisionGoal::Binary::Wilson) return WilsonInterval(s, goal.confidence);
    if (!NoEvent(s)) return ClopperPearsonInterval(s, goal.confidence);
    Interval bound;
    bound.high = NoEventBound(s.Count(), kNoEventErrorShare * (1.0 - goal.confidence));
    bound.valid = true;
    return bound;
}

bool StoppingRule::NoEvent(const RunningStats& s) const { return !goal.weighted && s.AllZero(); }

bool StoppingRule::WeightsSettled(const RunningStats& s) const {
    return s.SumFinite() && s.NonZero() >= kMinNonZero && s.LargestShare() <= LargestShareAllowed();
}

std::string StoppingRule::WeightDiagnostic(const RunningStats& s) const {
    if (WeightsSettled(s)) return "ok";
    if (!s.SumFinite()) return "unreliable: the sum is not finite";
    if (s.NonZero() < kMinNonZero) return "unreliable: " + std::to_string(s.NonZero()) + " non-zero";
    char share[32];
    std::snprintf(share, sizeof share, "%.3g%%", 100.0 * s.LargestShare());
    return std::string("unreliable: one observation holds ") + share + " of the sum";
}

double StoppingRule::WeightGrowthNeeded(const RunningStats& s) const {
    if (s.NonZero() == 0) return std::numeric_limits<double>::infinity();
    return std::max({1.0, static_cast<double>(kMinNonZero) / static_cast<double>(s.NonZero()),
                     s.LargestShare() / LargestShareAllowed()});
}

double StoppingRule::RelativeHalfWidth(const RunningStats& s) const {
    const Interval ci = JudgedInterval(s);
    if (!ci.valid) return std::numeric_limits<double>::infinity();
    const double half = ci.HalfWidthAround(s.Mean());
    if (s.Mean() == 0.0) return std::numeric_limits<double>::infinity();
    return half / std::fabs(s.Mean());
}

double StoppingRule::Progress(const RunningStats& s) const {
    const Interval ci = JudgedInterval(s);
    if (!ci.valid) return std::numeric_limits<double>::infinity();
    const double half = ci.HalfWidthAround(s.Mean());
    if (s.Mean() == 0.0) return half / goal.absolute;
    return (half / std::fabs(s.Mean())) / goal.relative;
}

bool StoppingRule::VariableMet(const RunningStats& s) const {
    return s.Count() >= goal.minReps && s.SumFinite() && Progress(s) <= 1.0 && (!goal.weighted || WeightsSettled(s));
}

bool StoppingRule::Met(const VariableStats& variables, int expectedVariables) const {
    if (variables.empty()) return false;
    if (expectedVariables > 0 && static_cast<int>(variables.size()) < expectedVariables) return false;
    return std::all_of(variables.begin(), variables.end(),
                       [this](const auto& entry) { return VariableMet(entry.second); });
}

double StoppingRule::WidestRelativeHalfWidth(const VariableStats& variables) const {
    double widest = 0.0;
    for (const auto& [index, stats] : variables) widest = std::max(widest, RelativeHalfWidth(stats));
    return widest;
}

int64_t StoppingRule::EstimatedReplications(const VariableStats& variables) const {
    if (variables.empty()) return -1;
    double needed = static_cast<double>(goal.minReps);
    for (const auto& [index, stats] : variables) {
        if (!stats.SumFinite()) return -1;
        const double progress = Progress(stats);
        double growth = progress * progress;
        if (goal.weighted) growth = std::max(growth, WeightGrowthNeeded(stats));
        if (!std::isfinite(growth)) return -1;
        needed = std::max(needed, static_cast<double>(stats.Count()) * growth);
    }
    return needed >= 9e18 ? -1 : static_cast<int64_t>(std::ceil(needed));
}

#include "simmgr/results/ResultRow.h"

std::vector<ResultRow> BuildRows(const std::vector<ExperimentResult>& results, const StudyCatalog& catalog,
                                 double confidence, const PrecisionGoal* weighted) {
    PrecisionGoal goal = weighted != nullptr ? *weighted : PrecisionGoal{};
    goal.confidence = confidence;
    const StoppingRule rule(goal);
    std::vector<ResultRow> rows;
    for (const ExperimentResult& r : results) {
        for (const auto& [index, stats] : r.variables) {
            ResultRow row;
            row.experiment = r.experiment;
            row.experimentName = catalog.ExperimentName(r.experiment);
            if (r.experiment >= 0 && r.experiment < catalog.NumExperiments())
                row.globals = catalog.experiments[r.experiment].globals;
            row.variableIndex = index;
            const VariableInfo info = catalog.Variable(index);
            row.variable = info.name;
            row.time = info.time;
            row.n = stats.Count();
            row.mean = stats.Mean();
            row.variance = stats.Variance();
            row.student = StudentInterval(stats, confidence);
            row.wilson = WilsonInterval(stats, confidence);
            row.stopping = rule.JudgedInterval(stats);
            row.halfWidth = row.stopping.valid ? row.stopping.HalfWidthAround(row.mean) : 0.0;
            row.byExact = !goal.weighted && stats.AllBinary();
            const bool met = r.status == ExperimentStatus::Converged || r.status == ExperimentStatus::Bounded;
            row.bounded = met && rule.NoEvent(stats);
            row.status = row.bounded ? StatusName(ExperimentStatus::Bounded) : StatusName(r.status);
            row.nonzero = stats.NonZero();
            row.relativeError = stats.RelativeError();
            row.largestShare = stats.LargestShare();
            if (goal.weighted) row.diagnostic = rule.WeightDiagnostic(stats);
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

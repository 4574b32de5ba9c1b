#include "simmgr/cli/OutputOptions.h"

#include <iostream>
#include <map>
#include <sstream>

#include "simmgr/results/Report.h"

void AddOutputOptions(CLI::App* app, OutputOptions& out) {
    app->add_option("--json", out.json, "Write the results as JSON to this file");
    app->add_option("--csv", out.csv, "Write the results as CSV to this file (one row per experiment, variable, time)");
    app->add_option("--plot", out.plot, "Draw the estimates into this PNG file with gnuplot");
    app->add_option("--confidence", out.confidence, "Confidence level of the intervals")
        ->check(CLI::Range(0.5, 0.999999))
        ->capture_default_str();
}

bool Publish(const std::vector<ExperimentResult>& results, const StudyCatalog& catalog, const OutputOptions& out,
             bool partial, const PrecisionGoal& goal) {
    Report report(results, catalog, out.confidence, partial, goal.weighted ? &goal : nullptr);
    report.WriteTable(std::cout);
    std::cout.flush();
    bool ok = true;
    std::string error;
    if (!out.json.empty() && !WriteFileWith(out.json, error, [&](std::ostream& s) { report.WriteJson(s); })) {
        std::cerr << "simmgr: " << error << std::endl;
        ok = false;
    }
    if (!out.csv.empty() && !WriteFileWith(out.csv, error, [&](std::ostream& s) { report.WriteCsv(s); })) {
        std::cerr << "simmgr: " << error << std::endl;
        ok = false;
    }
    if (!out.plot.empty() && !report.WritePlot(out.plot, error)) {
        std::cerr << "simmgr: " << error << std::endl;
        ok = false;
    }
    return ok;
}

std::string StatusTally(const std::vector<ExperimentResult>& results) {
    std::map<ExperimentStatus, int> tally;
    for (const auto& r : results) ++tally[r.status];
    std::ostringstream line;
    line << results.size() << " experiment(s):";
    for (const auto& [status, count] : tally) line << " " << count << " " << StatusName(status);
    return line.str();
}

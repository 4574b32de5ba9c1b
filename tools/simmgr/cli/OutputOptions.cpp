#include "simmgr/cli/OutputOptions.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
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

namespace {

bool Writable(const std::string& option, const std::string& path, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::exists(status)) {
        if (fs::is_directory(status)) {
            error = option + " " + path + ": is a directory";
            return false;
        }
        if (access(path.c_str(), W_OK) != 0) {
            error = option + " " + path + ": not writable: " + std::strerror(errno);
            return false;
        }
        return true;
    }
    const fs::path parent = fs::path(path).parent_path();
    const std::string dir = parent.empty() ? "." : parent.string();
    if (!fs::is_directory(dir, ec) || access(dir.c_str(), W_OK | X_OK) != 0) {
        error = option + " " + path + ": cannot be created: " + dir + " is no writable directory";
        return false;
    }
    return true;
}

}  // namespace

bool OutputsWritable(const OutputOptions& out, std::string& error) {
    if (out.plot.find('\'') != std::string::npos) {
        error = "--plot " + out.plot + ": the file name must not contain a quote";
        return false;
    }
    const std::pair<const char*, const std::string*> files[] = {
        {"--json", &out.json}, {"--csv", &out.csv}, {"--plot", &out.plot}};
    for (const auto& [option, path] : files) {
        if (!path->empty() && !Writable(option, *path, error)) return false;
    }
    return true;
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

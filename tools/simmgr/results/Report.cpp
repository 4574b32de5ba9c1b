#include "simmgr/results/Report.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>

namespace {

std::string Num(double v, int digits = 10) {
    if (!std::isfinite(v)) return "";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    return buf;
}

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string q = "\"";
    for (char c : s) q += (c == '"') ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

nlohmann::json IntervalJson(const Interval& ci) {
    if (!ci.valid) return nullptr;
    return nlohmann::json{{"low", ci.low}, {"high", ci.high}};
}

nlohmann::json NumberOrNull(double v) { return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr); }

// The JSON number written as `text`: the double nearest it, which the
// writer prints as the same shortest text.
nlohmann::json ShownNumber(const std::string& text) { return NumberOrNull(std::strtod(text.c_str(), nullptr)); }

}  // namespace

Report::Report(const std::vector<ExperimentResult>& res, const StudyCatalog& cat, double conf, bool part,
               const PrecisionGoal* weightedGoal)
    : results(res),
      catalog(cat),
      confidence(conf),
      partial(part),
      weighted(weightedGoal != nullptr),
      rows(BuildRows(res, cat, conf, weightedGoal)) {}

void Report::WriteTable(std::ostream& out) const {
    const int pct = static_cast<int>(std::lround(confidence * 100));
    if (partial) out << "PARTIAL RESULTS (the run was interrupted)\n";
    for (const ExperimentResult& r : results) {
        out << catalog.Heading(r.experiment);
        if (r.experiment >= 0 && r.experiment < catalog.NumExperiments()) {
            const auto& g = catalog.experiments[r.experiment].globals;
            for (size_t i = 0; i < g.size() && i < catalog.globalNames.size(); ++i)
                out << "  " << catalog.globalNames[i] << "=" << catalog.GlobalText(i, g[i]);
        }
        out << "  [" << StatusName(r.status) << "]\n";
        if (!r.message.empty()) {
            std::istringstream lines(r.message);
            for (std::string line; std::getline(lines, line);) out << "  ! " << line << "\n";
        }
        bool any = false;
        for (const ResultRow& row : rows) {
            if (row.experiment != r.experiment) continue;
            if (!any) {
                out << "  " << std::left << std::setw(14) << "variable" << std::right << std::setw(8) << "time"
                    << std::setw(10) << "n" << std::setw(12) << "mean" << "   " << std::left << std::setw(26)
                    << (std::to_string(pct) + "% interval") << std::right << std::setw(12) << "half-width";
                if (weighted)
                    out << std::setw(10) << "non-zero" << std::setw(10) << "rel.err" << std::setw(11) << "max share"
                        << "  weights";
                out << "\n";
                any = true;
            }
            out << "  " << std::left << std::setw(14) << row.variable << std::right << std::setw(8)
                << Num(row.time, 6) << std::setw(10) << row.n;
            if (row.bounded) {
                out << "   no event in " << row.n << " replications; p ≤ " << Num(row.stopping.high, 5) << " at "
                    << pct << " %\n";
                continue;
            }
            std::string ci = "-";
            if (row.stopping.valid) ci = "[" + Num(row.stopping.low, 5) + ", " + Num(row.stopping.high, 5) + "]";
            ci += row.byExact ? " E" : " t";
            out << std::setw(12) << Num(row.mean, 5) << "   " << std::left << std::setw(26) << ci << std::right
                << std::setw(12) << (row.stopping.valid ? Num(row.halfWidth, 4) : "-");
            if (weighted) {
                const std::string relErr = Num(row.relativeError, 3);
                const std::string share = Num(row.largestShare, 3);
                out << std::setw(10) << row.nonzero << std::setw(10) << (relErr.empty() ? "-" : relErr)
                    << std::setw(11) << (share.empty() ? "-" : share) << "  " << row.diagnostic;
            }
            out << "\n";
        }
        if (!any) out << "  (no observations)\n";
    }
    out << "Intervals: E = exact (0/1 observations; one that saw no event is bounded above only), t = Student-t.\n";
    if (weighted)
        out << "Weighted observations (change of measure): a cell converges only with at least " << kMinNonZero
            << " non-zero observations, none holding more than half the relative precision of the sum;"
               " their t interval takes the variance at its upper bound, by how well the observations know it.\n";
}

void Report::WriteJson(std::ostream& out) const {
    nlohmann::json doc;
    doc["partial"] = partial;
    doc["confidence"] = confidence;
    doc["weighted"] = weighted;
    doc["stopping_interval"] =
        weighted ? "student-t (weighted observations)" : "exact for 0/1 observations, student-t otherwise";
    doc["experiments"] = nlohmann::json::array();
    for (const ExperimentResult& r : results) {
        nlohmann::json e;
        e["experiment"] = r.experiment;
        e["experiment_name"] = catalog.ExperimentName(r.experiment);
        nlohmann::json globals = nlohmann::json::object();
        if (r.experiment >= 0 && r.experiment < catalog.NumExperiments()) {
            const auto& g = catalog.experiments[r.experiment].globals;
            for (size_t i = 0; i < g.size() && i < catalog.globalNames.size(); ++i)
                globals[catalog.globalNames[i]] = ShownNumber(catalog.GlobalText(i, g[i]));
        }
        e["globals"] = globals;
        e["status"] = StatusName(r.status);
        if (!r.message.empty()) e["message"] = r.message;
        e["blocks"] = r.blocks;
        e["block_size"] = r.blockSize;
        e["replications"] = r.MinCount();
        e["simulator_cpu_seconds"] = r.simulatorCpuSeconds;
        e["variables"] = nlohmann::json::array();
        for (const ResultRow& row : rows) {
            if (row.experiment != r.experiment) continue;
            e["variables"].push_back({{"index", row.variableIndex},
                                      {"status", row.status},
                                      {"variable", row.variable},
                                      {"time", NumberOrNull(row.time)},
                                      {"n", row.n},
                                      {"mean", row.mean},
                                      {"variance", row.variance},
                                      {"ci_low", row.stopping.valid ? nlohmann::json(row.stopping.low) : nullptr},
                                      {"ci_high", row.stopping.valid ? nlohmann::json(row.stopping.high) : nullptr},
                                      {"half_width", row.stopping.valid ? nlohmann::json(row.halfWidth) : nullptr},
                                      {"student_t", IntervalJson(row.student)},
                                      {"wilson", IntervalJson(row.wilson)},
                                      {"nonzero", row.nonzero},
                                      {"relative_error", NumberOrNull(row.relativeError)},
                                      {"largest_share", NumberOrNull(row.largestShare)},
                                      {"diagnostic", weighted ? nlohmann::json(row.diagnostic) : nullptr}});
        }
        doc["experiments"].push_back(e);
    }
    out << doc.dump(2) << "\n";
}

void Report::WriteCsv(std::ostream& out) const {
    out << "experiment,experiment_name";
    for (const auto& name : catalog.globalNames) out << "," << CsvField(name);
    out << ",variable,variable_index,time,n,mean,variance,ci_low,ci_high,half_width,t_low,t_high,wilson_low,wilson_high,status,"
           "partial,nonzero,relative_error,largest_share,diagnostic\n";
    for (const ResultRow& row : rows) {
        out << row.experiment << "," << CsvField(row.experimentName);
        for (size_t i = 0; i < catalog.globalNames.size(); ++i)
            out << "," << (i < row.globals.size() ? catalog.GlobalText(i, row.globals[i]) : "");
        auto lo = [](const Interval& ci) { return ci.valid ? Num(ci.low) : std::string(); };
        auto hi = [](const Interval& ci) { return ci.valid ? Num(ci.high) : std::string(); };
        out << "," << CsvField(row.variable) << "," << row.variableIndex << "," << Num(row.time) << "," << row.n << "," << Num(row.mean, 12)
            << "," << Num(row.variance, 12) << "," << lo(row.stopping) << "," << hi(row.stopping) << ","
            << (row.stopping.valid ? Num(row.halfWidth) : "") << "," << lo(row.student) << "," << hi(row.student)
            << "," << lo(row.wilson) << "," << hi(row.wilson) << "," << row.status << ","
            << (partial ? "true" : "false") << "," << row.nonzero << "," << Num(row.relativeError) << ","
            << Num(row.largestShare) << "," << CsvField(row.diagnostic) << "\n";
    }
}

int Report::SweptGlobal() const {
    if (!catalog.varied.empty()) return catalog.varied.front();
    std::set<int> exps;
    for (const ResultRow& row : rows) exps.insert(row.experiment);
    for (size_t g = 0; g < catalog.globalNames.size(); ++g) {
        std::set<double> values;
        for (int e : exps) {
            double v;
            if (catalog.GlobalValue(e, catalog.globalNames[g], v)) values.insert(v);
        }
        if (values.size() > 1) return static_cast<int>(g);
    }
    return -1;
}

std::string Report::OtherVariedValues(const ResultRow& row) const {
    std::string label;
    for (size_t v = 1; v < catalog.varied.size(); ++v) {
        const int g = catalog.varied[v];
        if (g < static_cast<int>(row.globals.size()))
            label += " " + catalog.globalNames[g] + "=" + catalog.GlobalText(static_cast<size_t>(g), row.globals[g]);
    }
    return label;
}

std::string Report::PlotScript(const std::string& pngPath, const std::string& terminal) const {
    std::ostringstream s;
    // Series 1: one per experiment, the measure against time.
    std::map<int, std::vector<const ResultRow*>> byExperiment;
    // Series 2: one per variable, time point and value of the other varied
    // globals, against the swept global.
    std::map<std::tuple<std::string, double, std::string>, std::vector<const ResultRow*>> byPoint;
    for (const ResultRow& row : rows) {
        if (row.n < 1) continue;
        byExperiment[row.experiment].push_back(&row);
        byPoint[{row.variable, row.time, OtherVariedValues(row)}].push_back(&row);
    }
    const int swept = SweptGlobal();
    auto xOf = [&](const ResultRow& row) {
        double v = row.experiment;
        if (swept >= 0) catalog.GlobalValue(row.experiment, catalog.globalNames[swept], v);
        return v;
    };
    auto xText = [&](const ResultRow& row) {
        return swept >= 0 ? catalog.GlobalText(static_cast<size_t>(swept), xOf(row)) : Num(xOf(row));
    };
    bool logX = swept >= 0;
    for (const ResultRow& row : rows) logX = logX && xOf(row) > 0;
    auto errLow = [](const ResultRow& r) { return r.stopping.valid ? r.stopping.low : r.mean; };
    auto errHigh = [](const ResultRow& r) { return r.stopping.valid ? r.stopping.high : r.mean; };

    s << "$bytime << EOD\n";
    for (const auto& [exp, list] : byExperiment) {
        for (const ResultRow* r : list)
            s << Num(std::isfinite(r->time) ? r->time : r->variableIndex) << " " << Num(r->mean) << " " << Num(errLow(*r)) << " " << Num(errHigh(*r)) << "\n";
        s << "\n\n";
    }
    s << "EOD\n$bysweep << EOD\n";
    for (const auto& [key, list] : byPoint) {
        std::vector<const ResultRow*> sorted = list;
        std::sort(sorted.begin(), sorted.end(), [&](auto a, auto b) { return xOf(*a) < xOf(*b); });
        for (const ResultRow* r : sorted)
            s << xText(*r) << " " << Num(r->mean) << " " << Num(errLow(*r)) << " " << Num(errHigh(*r)) << "\n";
        s << "\n\n";
    }
    s << "EOD\n";
    s << "set terminal " << terminal << " noenhanced size 1400,600\n";
    s << "set output '" << pngPath << "'\n";
    s << "set multiplot layout 1,2 title '" << (partial ? "PARTIAL: " : "")
      << "estimates with " << std::lround(confidence * 100) << "% intervals'\n";
    s << "set key top left inside\nset grid\nset offsets graph 0.04, graph 0.04, 0, 0\n";
    s << "set xlabel 'time'\nset ylabel 'mean'\nset title 'each measure against time'\n";
    s << "plot ";
    int i = 0;
    for (const auto& [exp, list] : byExperiment) {
        s << (i ? ", " : "") << "$bytime index " << i << " using 1:2:3:4 with yerrorlines title '"
          << catalog.ExperimentName(exp) << "'";
        ++i;
    }
    if (i == 0) s << "0 notitle";
    s << "\n";
    const std::string xname = swept >= 0 ? catalog.globalNames[swept] : std::string("experiment");
    s << "set xlabel '" << xname << (logX ? " (log scale)" : "") << "'\n";
    s << "set title 'against " << xname << "'\n";
    if (logX) s << "set logscale x 2\nset xtics rotate by -40\n";
    s << "plot ";
    i = 0;
    for (const auto& [key, list] : byPoint) {
        s << (i ? ", " : "") << "$bysweep index " << i << " using 1:2:3:4 with yerrorlines title '"
          << std::get<0>(key) << " at t=" << Num(std::get<1>(key), 6) << std::get<2>(key) << "'";
        ++i;
    }
    if (i == 0) s << "0 notitle";
    s << "\nunset multiplot\n";
    return s.str();
}

bool Report::WritePlot(const std::string& pngPath, std::string& error) const {
    if (pngPath.find('\'') != std::string::npos) {
        error = "plot file name " + pngPath + " must not contain a quote";
        return false;
    }
    char logName[] = "/tmp/simmgr-gnuplot-XXXXXX";
    const int logFd = mkstemp(logName);
    if (logFd < 0) {
        error = "cannot create a temporary file for gnuplot's messages";
        return false;
    }
    close(logFd);
    std::string complaint;
    bool drawn = false;
    for (const char* terminal : {"pngcairo", "png"}) {
        const std::string command = std::string("gnuplot 2>") + logName;
        FILE* gp = popen(command.c_str(), "w");
        if (gp == nullptr) break;
        const std::string script = PlotScript(pngPath, terminal);
        std::fwrite(script.data(), 1, script.size(), gp);
        const int status = pclose(gp);
        if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            drawn = true;
            break;
        }
        std::ifstream log(logName);
        std::string line;
        complaint.clear();
        while (std::getline(log, line))
            if (!line.empty()) complaint = line;
    }
    unlink(logName);
    if (!drawn) {
        error = "gnuplot could not draw " + pngPath + (complaint.empty() ? "" : ": " + complaint);
    }
    return drawn;
}

bool WriteFileWith(const std::string& path, std::string& error, const std::function<void(std::ostream&)>& render) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    render(out);
    out.flush();
    if (!out) {
        error = "error while writing " + path;
        return false;
    }
    return true;
}

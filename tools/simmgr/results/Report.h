// The results of a run or a merge and their renderings: the console table,
// the JSON and CSV files and the gnuplot picture. Holds references to the
// results and the catalog, which outlive it. A weighted run's table also
// shows per cell the non-zero observations, the relative error, the largest
// observation's share of the sum and whether the weights have settled.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "simmgr/results/ExperimentResult.h"
#include "simmgr/results/ResultRow.h"
#include "simmgr/study/StudyCatalog.h"

class Report {
public:
    // weighted: the goal of a weighted run; null for a plain run.
    Report(const std::vector<ExperimentResult>& results, const StudyCatalog& catalog, double confidence,
           bool partial, const PrecisionGoal* weighted = nullptr);

    void WriteTable(std::ostream& out) const;
    void WriteJson(std::ostream& out) const;
    void WriteCsv(std::ostream& out) const;
    // Runs gnuplot to draw pngPath; false with a reason if it cannot.
    bool WritePlot(const std::string& pngPath, std::string& error) const;

    // The gnuplot script WritePlot feeds to gnuplot (data inline).
    std::string PlotScript(const std::string& pngPath, const std::string& terminal) const;

private:
    // The global variable the experiments sweep (the first varied by the
    // study, else the first whose value differs between them), or -1.
    int SweptGlobal() const;
    // " ram_size=64" for the varied globals after the swept one; empty
    // unless a --vary study varies two or more.
    std::string OtherVariedValues(const ResultRow& row) const;

    const std::vector<ExperimentResult>& results;
    const StudyCatalog& catalog;
    double confidence;
    bool partial;
    bool weighted;
    std::vector<ResultRow> rows;
};

// Writes a file through the given renderer; false with a message naming
// the file when it cannot be written.
bool WriteFileWith(const std::string& path, std::string& error, const std::function<void(std::ostream&)>& render);

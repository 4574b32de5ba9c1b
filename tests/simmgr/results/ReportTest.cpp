// Every rendering of the results shows a global variable's value as the
// shortest text that reads back to the value simulated, so that values a
// study tells apart stay apart in the table, the files and the plot.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "simmgr/blocks/BlockLedger.h"
#include "simmgr/results/Report.h"

namespace {

// Two experiments whose ram_size differs in the last bit of a float, each
// with a few observations of one variable.
struct CloseValues {
    CloseValues() {
        catalog.globalNames = {"flash_size", "ram_size"};
        catalog.globalTypes = {"float", "float"};
        catalog.varied = {0, 1};
        catalog.variables = {VariableInfo{"reliability", 30.0}};
        for (float ram : {1.0000001f, 1.0000002f}) {
            ExperimentInfo info;
            info.globals = {64.0, static_cast<double>(ram)};
            catalog.experiments.push_back(info);
        }
        for (int e = 0; e < 2; ++e) {
            ExperimentResult r;
            r.experiment = e;
            r.status = ExperimentStatus::Finished;
            for (double x : {0.5, 0.7, 0.9}) r.variables[0].Add(x + e);
            results.push_back(r);
        }
    }
    StudyCatalog catalog;
    std::vector<ExperimentResult> results;
};

}  // namespace

TEST(ReportValues, GlobalsAreShownWithTheDigitsThatTellThemApart) {
    const CloseValues study;
    const Report report(study.results, study.catalog, 0.95, false);

    std::ostringstream table, csv, json;
    report.WriteTable(table);
    EXPECT_NE(table.str().find("flash_size=64  ram_size=1.0000001  ["), std::string::npos) << table.str();
    EXPECT_NE(table.str().find("flash_size=64  ram_size=1.0000002  ["), std::string::npos) << table.str();

    report.WriteCsv(csv);
    EXPECT_NE(csv.str().find(",64,1.0000001,"), std::string::npos) << csv.str();
    EXPECT_NE(csv.str().find(",64,1.0000002,"), std::string::npos) << csv.str();

    report.WriteJson(json);
    EXPECT_NE(json.str().find("\"ram_size\": 1.0000001\n"), std::string::npos) << json.str();
    const auto doc = nlohmann::json::parse(json.str());
    EXPECT_EQ(doc["experiments"][1]["globals"]["ram_size"].get<float>(), 1.0000002f);

    // One line per value of the second varied global.
    const std::string plot = report.PlotScript("p.png", "png");
    EXPECT_NE(plot.find("title 'reliability at t=30 ram_size=1.0000001'"), std::string::npos) << plot;
    EXPECT_NE(plot.find("title 'reliability at t=30 ram_size=1.0000002'"), std::string::npos) << plot;
}

TEST(ReportValues, TheLargestFloatAndIntegersKeepTheirDigits) {
    CloseValues study;
    study.catalog.globalTypes = {"int", "float"};
    study.catalog.experiments[0].globals = {2147483647.0, 3.4028234663852886e38};
    const Report report(study.results, study.catalog, 0.95, false);
    std::ostringstream table;
    report.WriteTable(table);
    EXPECT_NE(table.str().find("flash_size=2147483647  ram_size=3.4028235e+38  ["), std::string::npos) << table.str();
}

TEST(ReportValues, AWeightedSumThatOverflowsIsShownUnreliable) {
    CloseValues study;
    study.results.resize(1);
    RunningStats huge;
    for (int i = 0; i < 100; ++i) huge.Add(1e307);
    study.results[0].variables[0] = huge;
    PrecisionGoal goal;
    goal.weighted = true;
    goal.minReps = 10;
    const Report report(study.results, study.catalog, 0.95, false, &goal);

    std::ostringstream table, json;
    report.WriteTable(table);
    EXPECT_NE(table.str().find("          -  unreliable: the sum is not finite\n"), std::string::npos) << table.str();
    report.WriteJson(json);
    const auto cell = nlohmann::json::parse(json.str())["experiments"][0]["variables"][0];
    EXPECT_TRUE(cell["largest_share"].is_null());
    EXPECT_EQ(cell["diagnostic"], "unreliable: the sum is not finite");

    const StoppingRule rule(goal);
    BlockLedger judged(1, 100, &rule, 1);
    BlockOutcome block;
    block.stats[0] = huge;
    block.replications = 100;
    judged.Record(0, block);
    EXPECT_EQ(judged.State(), BlockLedger::Verdict::Capped) << "never converged";
}

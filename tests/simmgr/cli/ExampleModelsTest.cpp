// The manager runs simulators of models of one's own as it runs
// basic_model's: it learns each model from its simulator, and --set,
// --vary, --bias, --rare, plan and merge work on it. The pool example's
// failure probabilities are known exactly (its birth-death chain, solved
// in tests/sanc/PoolExampleTest.cpp), so its estimates are held to them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "simmgr/testing/TestSupport.h"

namespace {

std::string Sim(const std::string& name) { return BinDir() + "/" + name; }

#define REQUIRE_SIMULATOR(name) \
    if (access(Sim(name).c_str(), X_OK) != 0) GTEST_SKIP() << name << " is not built"

// P(failed by t) at t = 10, 100, 1000 of the pool's experiments 3 (nominal)
// and 4 (rare), to five digits.
const std::map<int, std::vector<double>> kExactPool = {{3, {1.9094e-7, 2.3380e-6, 2.3808e-5}},
                                                       {4, {1.9191e-10, 2.3506e-9, 2.3938e-8}}};

// A cell's standard error from its 95 % interval's half-width.
double StandardError(const CsvRow& row) { return std::stod(row.at("half_width")) / 1.96; }

}  // namespace

// Plain simulation sees no failure of the rare experiments; under the
// model's shipped change of measure the manager converges them, within 4
// standard errors of the exact values.
TEST(ExampleModels, ThePoolsShippedChangeOfMeasureMeetsTheExactChain) {
    REQUIRE_SIMULATOR("pool_sim");
    ScratchDir dir;
    const auto r = RunShell(Simmgr() + " run --sim " + Sim("pool_sim") + " --rare --experiments 3,4 --csv " +
                                (dir / "rare.csv"),
                            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = ParseCsv(ReadFile(dir / "rare.csv"));
    ASSERT_EQ(rows.size(), 6u);
    for (const CsvRow& row : rows) {
        const int e = std::stoi(row.at("experiment"));
        const double exact = kExactPool.at(e).at(std::stoul(row.at("variable_index")));
        EXPECT_EQ(row.at("status"), "converged");
        EXPECT_EQ(row.at("units"), "4") << "an int global is shown as one";
        EXPECT_LE(std::fabs(std::stod(row.at("mean")) - exact), 4 * StandardError(row))
            << "experiment " << e << ", t = " << row.at("time");
    }
}

// Where failure is likely, --bias with the same file and plain runs agree
// (the rates the file multiplies read the marking), cell by cell.
TEST(ExampleModels, BiasedAndPlainRunsOfThePoolAgree) {
    REQUIRE_SIMULATOR("pool_sim");
    ScratchDir dir;
    const std::string study = " --sim " + Sim("pool_sim") + " --experiments 0 --reps 20000 --block-size 5000 ";
    auto r = RunShell(Simmgr() + " run" + study + "--csv " + (dir / "plain.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell(Simmgr() + " run" + study + "--bias " + SAN_SOURCE_DIR + "/models/pool_rare.bias --csv " +
                     (dir / "biased.csv"),
                 dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto plain = ParseCsv(ReadFile(dir / "plain.csv")), biased = ParseCsv(ReadFile(dir / "biased.csv"));
    ASSERT_EQ(plain.size(), 3u);
    ASSERT_EQ(biased.size(), 3u);
    for (size_t i = 0; i < plain.size(); ++i) {
        const double difference = std::stod(plain[i].at("mean")) - std::stod(biased[i].at("mean"));
        EXPECT_LE(std::fabs(difference), 4 * std::hypot(StandardError(plain[i]), StandardError(biased[i])))
            << "t = " << plain[i].at("time");
        EXPECT_NE(biased[i].at("nonzero"), "") << "the biased cells are weighted";
    }
}

// A --vary study of the repairable pair over double globals, planned, run
// as jobs and merged, gives the answer of run; the values are the model's.
TEST(ExampleModels, APlannedVaryStudyOfTheRepairablePairMergesToTheRunsAnswer) {
    REQUIRE_SIMULATOR("repairable_sim");
    ScratchDir dir;
    const std::string study =
        " --sim " + Sim("repairable_sim") + " --vary mu=0.05,0.5 --set coverage=0.9 --reps 400 --block-size 200 ";
    auto r = RunShell(Simmgr() + " run" + study + "--csv " + (dir / "run.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("mu=0.05 (#0, -e 0)"), std::string::npos) << r.out;
    r = RunShell(Simmgr() + " plan" + study + "--out " + (dir / "plan"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell("bash " + (dir / "plan/jobs.txt"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(RunShell("ls " + (dir / "plan") + " | grep -c '^units-[0-9a-f]\\{16\\}_e[01]_b[01]_.*\\.bin$'", dir).out,
              "4\n")
        << "every block is named by the model's identity";
    r = RunShell(Simmgr() + " merge" + study + "--store " + (dir / "plan") + " --csv " + (dir / "merged.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "merged.csv"), ReadFile(dir / "run.csv"));
    const auto rows = ParseCsv(ReadFile(dir / "run.csv"));
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].at("coverage"), "0.9");
    EXPECT_EQ(rows[5].at("mu"), "0.5");
}

// The storage example's int globals are set as ints, and a value that is
// not one is refused before any work, naming the model's variable.
TEST(ExampleModels, TheStorageModelsIntGlobalsAreSetAsInts) {
    REQUIRE_SIMULATOR("storage_sim");
    ScratchDir dir;
    const std::string run = Simmgr() + " run --sim " + Sim("storage_sim") + " --experiments 0 --reps 100 ";
    auto r = RunShell(run + "--set disks=8", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("disks=8 "), std::string::npos) << r.out;
    r = RunShell(run + "--set disks=8.5", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--set disks=8.5"), std::string::npos) << r.err;
    r = RunShell(run + "--set ram_size=8", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ram_size"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("disks"), std::string::npos) << "the model's own globals are listed: " << r.err;
}

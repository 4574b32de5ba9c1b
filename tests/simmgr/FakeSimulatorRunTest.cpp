// The manager end to end against the stand-in simulator: estimates,
// stopping, caps, failures of single experiments, interruption, and the
// plan / parallel / merge route.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "TestSupport.h"

namespace {

std::string FakeRun(const std::string& args) { return Simmgr() + " run --sim " + FakeSim() + " " + args; }

const double kP[] = {0.2, 0.5, 0.8};   // the stand-in's default probabilities

}  // namespace

TEST(FakeSimulatorRun, ConvergesToTheTrueProbabilities) {
    ScratchDir dir;
    const auto r = RunShell(FakeRun("--experiments 0,1 --jobs 2 --procs-per-exp 2 --report-size 100 "
                                "--rel-precision 0.05 --min-reps 500 --csv " + (dir / "r.csv") +
                                " --json " + (dir / "r.json")),
                            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = ParseCsv(ReadFile(dir / "r.csv"));
    ASSERT_EQ(rows.size(), 6u);
    for (const CsvRow& row : rows) {
        const int v = std::stoi(row.at("variable_index"));
        const double mean = std::stod(row.at("mean"));
        const double half = std::stod(row.at("half_width"));
        EXPECT_EQ(row.at("status"), "converged");
        EXPECT_LE(half / mean, 0.05) << "stopped before the precision was reached";
        EXPECT_LT(std::fabs(mean - kP[v % 3]), 2 * half) << "estimate far from the truth";
        EXPECT_LE(std::stod(row.at("ci_low")), mean);
        EXPECT_GE(std::stod(row.at("ci_high")), mean);
    }
    const auto json = nlohmann::json::parse(ReadFile(dir / "r.json"));
    EXPECT_FALSE(json["partial"].get<bool>());
    EXPECT_EQ(json["experiments"].size(), 2u);
    EXPECT_EQ(json["experiments"][0]["processes"], 2);
}

TEST(FakeSimulatorRun, CapsAndFixedCountsAreExact) {
    ScratchDir dir;
    // Precision out of reach: the cap ends it, split over three processes.
    auto r = RunShell(FakeRun("--experiments 0 --procs-per-exp 3 --report-size 64 --rel-precision 0.0001 "
                          "--min-reps 100 --max-reps 500 --csv " + (dir / "cap.csv")),
                      dir);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const CsvRow& row : ParseCsv(ReadFile(dir / "cap.csv"))) {
        EXPECT_EQ(row.at("n"), "500");
        EXPECT_EQ(row.at("status"), "capped");
    }
    // Without --procs-per-exp an experiment is split over every job slot,
    // an odd count included, and still runs exactly the replications asked.
    r = RunShell(FakeRun("--experiments 2 --jobs 2 --reps 301 --report-size 1000 --csv " + (dir / "fixed.csv") +
                         " --json " + (dir / "fixed.json")),
                 dir);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const CsvRow& row : ParseCsv(ReadFile(dir / "fixed.csv"))) {
        EXPECT_EQ(row.at("n"), "301");
        EXPECT_EQ(row.at("status"), "finished");
        EXPECT_EQ(row.at("experiment"), "2");
    }
    EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "fixed.json"))["experiments"][0]["processes"], 2);
}

TEST(FakeSimulatorRun, AFailingExperimentIsReportedAndTheOthersFinish) {
    ScratchDir dir;
    struct Case {
        const char* mode;
        const char* expect;
    };
    const Case cases[] = {
        {"die", "exited with status 3; its error stream ended with:\n    fake simulator: fatal error"},
        {"crash", "was killed by signal 6"},
        {"malformed", "sent a malformed message at byte offset"},
        {"badgreeting", "greeted with process id 1"},
        {"early", "exited after sending 200 of"},
        {"wrongexp", "experiment 2"},
    };
    for (const Case& c : cases) {
        const auto r = RunShell(std::string("FAKE_SIM_MODE_1=") + c.mode + " FAKE_SIM_AFTER=2 " +
                                    FakeRun("--experiments 0,1,2 --report-size 100 --min-reps 200 --rel-precision 0.2 "
                                        "--csv " + (dir / "r.csv")),
                                dir);
        EXPECT_EQ(r.status, 1) << c.mode;
        EXPECT_NE(r.err.find("Experiment 2 (-e 1) failed"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.mode << ": " << r.err;
        EXPECT_NE(r.out.find("[failed]"), std::string::npos);
        int converged = 0;
        for (const CsvRow& row : ParseCsv(ReadFile(dir / "r.csv")))
            converged += row.at("status") == "converged" && row.at("experiment") != "1";
        EXPECT_EQ(converged, 6) << c.mode << ": the healthy experiments must still be reported";
    }
}

TEST(FakeSimulatorRun, WatchdogsEndSilentAndStubbornSimulators) {
    ScratchDir dir;
    auto r = RunShell("FAKE_SIM_MODE=silent " + FakeRun("--experiments 0 --start-timeout 1"), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("never registered"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("pretending to hang"), std::string::npos) << "the error stream's tail is shown";

    r = RunShell("FAKE_SIM_MODE=ignorequit " +
                     FakeRun("--experiments 0 --procs-per-exp 1 --report-size 100 --min-reps 100 --rel-precision 0.5 "
                             "--quit-timeout 1"),
                 dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("did not stop within 1 s of the quit command"), std::string::npos) << r.err;
}

TEST(FakeSimulatorRun, InterruptStopsEverySimulatorAndSavesPartialResults) {
    ScratchDir dir;
    for (const char* sig : {"INT", "TERM"}) {
        const std::string cmd = "FAKE_SIM_DELAY_MS=40 " +
                                FakeRun("--experiments 0-3 --jobs 2 --procs-per-exp 1 --report-size 20 --rel-precision 0.001 "
                                    "--json " + (dir / "p.json") + " --csv " + (dir / "p.csv")) +
                                " & pid=$!; sleep 1.5; kill -" + sig + " $pid; wait $pid";
        const auto r = RunShell(cmd, dir);
        EXPECT_EQ(r.status, 130) << r.err;
        EXPECT_NE(r.out.find("PARTIAL RESULTS"), std::string::npos);
        EXPECT_NE(r.err.find("interrupted"), std::string::npos);
        const auto json = nlohmann::json::parse(ReadFile(dir / "p.json"));
        EXPECT_TRUE(json["partial"].get<bool>());
        int partial = 0, notRun = 0;
        for (const auto& e : json["experiments"]) {
            partial += e["status"] == "partial";
            notRun += e["status"] == "not-run";
            if (e["status"] == "partial") {
                EXPECT_GT(e["variables"][0]["n"].get<int>(), 0);
            }
        }
        EXPECT_EQ(partial, 2) << "the two running experiments keep what they gathered";
        EXPECT_EQ(notRun, 2);
        for (const CsvRow& row : ParseCsv(ReadFile(dir / "p.csv"))) EXPECT_EQ(row.at("partial"), "true");
    }
}

TEST(FakeSimulatorRun, RefusesBadRequests) {
    ScratchDir dir;
    EXPECT_EQ(RunShell(Simmgr() + " run --sim /nonexistent/sim --experiments 0", dir).status, 2);
    EXPECT_EQ(RunShell(FakeRun("--experiments 0,x"), dir).status, 2);
    EXPECT_EQ(RunShell(FakeRun("--experiments 0 --seed 0"), dir).status, 2) << "seed 0 aliases the default seed";
    EXPECT_EQ(RunShell(FakeRun("--experiments 0 --min-reps 500 --max-reps 100"), dir).status, 2);
    EXPECT_NE(RunShell(FakeRun("--confidence 1.5"), dir).status, 0);
}

TEST(PlanAndMerge, ParallelJobsMergeToTheirAsciiFiles) {
    ScratchDir dir;
    const std::string plan = dir / "plan";
    auto r = RunShell(Simmgr() + " plan --sim " + FakeSim() + " --experiments 0,3 --jobs-per-exp 2 --reps 300 " +
                          "--report-size 70 --seed 100 --ascii --out " + plan,
                      dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string jobs = ReadFile(plan + "/jobs.txt");
    EXPECT_NE(jobs.find(" -s 100 "), std::string::npos);
    EXPECT_NE(jobs.find(" -s 103 "), std::string::npos);
    EXPECT_NE(ReadFile(plan + "/slurm.sh").find("#SBATCH --array=1-4"), std::string::npos);
    r = RunShell("parallel --will-cite --jobs 2 < " + plan + "/jobs.txt", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell(Simmgr() + " merge " + plan + "/*.bin --csv " + (dir / "m.csv") + " --plot " + (dir / "m.png"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(ReadFile(dir / "m.png").empty());

    // The same sums straight from the ASCII files.
    std::map<std::pair<int, int>, AsciiCell> ascii;
    for (int j = 0; j < 4; ++j) {
        const int e = j < 2 ? 0 : 3;
        AddAsciiFile(plan + "/e" + std::to_string(e) + "_j" + std::to_string(j) + ".txt", e, ascii);
    }
    const auto rows = ParseCsv(ReadFile(dir / "m.csv"));
    ASSERT_EQ(rows.size(), ascii.size());
    for (const CsvRow& row : rows) {
        const int e = std::stoi(row.at("experiment"));
        const auto& cell = ascii.at({e, std::stoi(row.at("variable_index"))});
        EXPECT_EQ(std::stoi(row.at("n")), cell.n);
        EXPECT_EQ(cell.n, 600);
        EXPECT_NEAR(std::stod(row.at("mean")), cell.sum / cell.n, 1e-9);
        EXPECT_EQ(row.at("status"), "finished");
    }

    // A truncated file and a file given twice are refused, by name.
    const std::string whole = ReadFile(plan + "/e0_j0.bin");
    WriteBytes(dir / "cut.bin", whole.substr(0, whole.size() - 5));
    r = RunShell(Simmgr() + " merge " + plan + "/e0_j0.bin " + (dir / "cut.bin"), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir / "cut.bin"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("truncated at byte offset"), std::string::npos) << r.err;
    r = RunShell(Simmgr() + " merge " + plan + "/e0_j0.bin " + plan + "/e0_j0.bin", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("same observations"), std::string::npos) << r.err;
}

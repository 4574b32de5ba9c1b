// Runs under a change of measure against the stand-in simulator, which then
// reports weights instead of 1: the weighted columns, cells whose weights
// have not settled, one answer for any --jobs, a rerun from the store and
// plan -> merge, and the refusals of --bias and --rare.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <nlohmann/json.hpp>

#include "simmgr/testing/TestSupport.h"

namespace {

// Variable 2 is hit so rarely that its few weights never settle.
const std::string kWeighted = "FAKE_SIM_P=0.2,0.5,0.002 ";
const std::string kStudy = " --bias b.bias --experiments 0,1 --block-size 500 --max-reps 6000 --report-size 100";
// The mean weight of a hit, log-uniform in [1e-9, 1e-6].
const double kMeanWeight = (1e-6 - 1e-9) / std::log(1000.0);

std::string InDir(const ScratchDir& dir, const std::string& command) { return "cd '" + dir.Path() + "' && " + command; }

}  // namespace

TEST(WeightedRun, ReportsTheWeightsOfEveryCell) {
    ScratchDir dir;
    WriteBytes(dir / "b.bias", "sefi x 40\n");
    const auto r = RunShell(InDir(dir, kWeighted + Simmgr() + " run --sim " + FakeSim() + kStudy +
                                           " --jobs 2 --store st --csv r.csv --json r.json"),
                            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("unreliable: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("max share"), std::string::npos) << r.out;

    const auto rows = ParseCsv(ReadFile(dir / "r.csv"));
    ASSERT_EQ(rows.size(), 6u);
    const double p[] = {0.2, 0.5, 0.002};
    for (const CsvRow& row : rows) {
        const int v = std::stoi(row.at("variable_index"));
        const double mean = std::stod(row.at("mean"));
        EXPECT_EQ(row.at("status"), "capped") << "variable 2 keeps every experiment from converging";
        EXPECT_EQ(row.at("n"), "6000");
        EXPECT_LE(std::stod(row.at("ci_low")), std::stod(row.at("t_low"))) << "judged by Student-t, the variance bounded";
        EXPECT_GE(std::stod(row.at("ci_high")), std::stod(row.at("t_high")));
        EXPECT_EQ(row.at("wilson_low"), "");
        const int64_t nonzero = std::stoll(row.at("nonzero"));
        if (v == 2) {
            EXPECT_LT(nonzero, 30);
            EXPECT_EQ(row.at("diagnostic"), "unreliable: " + std::to_string(nonzero) + " non-zero");
            continue;
        }
        EXPECT_EQ(row.at("diagnostic"), "ok");
        EXPECT_GT(nonzero, 1000);
        EXPECT_LE(std::stod(row.at("largest_share")), 0.05);
        const double relErr = std::stod(row.at("relative_error"));
        EXPECT_LT(std::fabs(mean - p[v] * kMeanWeight), 4 * relErr * mean) << "the weights' mean is the estimate";
    }
    const auto json = nlohmann::json::parse(ReadFile(dir / "r.json"));
    EXPECT_TRUE(json["weighted"].get<bool>());
    EXPECT_EQ(json["experiments"][0]["variables"][2]["diagnostic"], rows[2].at("diagnostic"));

    // The block names carry the change of measure by its content hash.
    const auto ls = RunShell("cd '" + (dir / "st") + "' && ls *.bin", dir);
    EXPECT_NE(ls.out.find("e0_b0_s31415_n500_o-B%20"), std::string::npos) << ls.out;
    EXPECT_EQ(ls.out.find("b.bias"), std::string::npos) << ls.out;
}

TEST(WeightedRun, OneAnswerForAnyJobsRerunAndPlanMerge) {
    ScratchDir dir;
    WriteBytes(dir / "b.bias", "sefi x 40\n");
    const std::string run = kWeighted + Simmgr() + " run --sim " + FakeSim() + kStudy;
    auto r = RunShell(InDir(dir, run + " --jobs 1 --store st --csv one.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell(InDir(dir, run + " --jobs 2 --csv two.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell(InDir(dir, run + " --jobs 2 --store st --csv again.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("0 run here"), std::string::npos) << "a rerun computes nothing: " << r.err;

    r = RunShell(InDir(dir, Simmgr() + " plan --sim " + FakeSim() + kStudy + " --out plan"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ReadFile(dir / "plan/jobs.txt").find(" '-B' '" + dir.Path() + "/plan/bias-"), std::string::npos)
        << "jobs may run elsewhere: the absolute path of the plan's copy";
    r = RunShell(InDir(dir, kWeighted + "bash plan/jobs.txt"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    // Moved and renamed, the same content is the same change of measure.
    ASSERT_EQ(mkdir((dir / "moved").c_str(), 0777), 0);
    ASSERT_EQ(rename((dir / "b.bias").c_str(), (dir / "moved/other.bias").c_str()), 0);
    const std::string merge = Simmgr() + " merge --sim " + FakeSim() + " --store plan --experiments 0,1 --block-size 500 --max-reps 6000";
    r = RunShell(InDir(dir, merge + " --bias moved/other.bias --csv merged.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;

    const std::string one = ReadFile(dir / "one.csv");
    ASSERT_FALSE(one.empty());
    EXPECT_EQ(ReadFile(dir / "two.csv"), one);
    EXPECT_EQ(ReadFile(dir / "again.csv"), one);
    EXPECT_EQ(ReadFile(dir / "merged.csv"), one);

    // Without the change of measure the planned blocks are not this study's.
    r = RunShell(InDir(dir, merge), dir);
    EXPECT_EQ(r.status, 1);
    WriteBytes(dir / "moved/other.bias", "sefi x 41\n");
    r = RunShell(InDir(dir, merge + " --bias moved/other.bias"), dir);
    EXPECT_EQ(r.status, 1) << "an edited change of measure never mixes with the old blocks";
    EXPECT_NE(r.err.find("which blocks there ran under: plan/bias-"), std::string::npos) << r.err;
}

TEST(WeightedRun, UnusableChangesOfMeasureAreRefusedBeforeAnyWork) {
    ScratchDir dir;
    WriteBytes(dir / "b.bias", "sefi x 40\n");
    WriteBytes(dir / "empty.bias", "");
    WriteBytes(dir / "refuse.bias", "refuse\n");
    struct Case {
        std::string args, expect;
    };
    const Case cases[] = {
        {"--bias missing.bias", "--bias missing.bias: No such file or directory"},
        {"--bias .", "--bias .: not a regular file"},
        {"--bias empty.bias", "--bias empty.bias: the file is empty"},
        {"--rare --bias b.bias", "--rare and --bias both name a change of measure"},
        {"--sim-arg -B --sim-arg b.bias", "simmgr sets -B for every block itself"},
        {"--bias refuse.bias", "the simulator refused the change of measure refuse.bias (exit status 1)\n"
                               "  ERROR: refuse.bias:1:1: the stand-in refuses"},
    };
    for (const Case& c : cases) {
        const auto r = RunShell(InDir(dir, Simmgr() + " run --sim " + FakeSim() + " --store st " + c.args), dir);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.args << ": " << r.err;
        EXPECT_NE(access((dir / "st").c_str(), F_OK), 0) << c.args << ": no store made";
    }

    // --rare looks beside the simulator, by default the one next to simmgr:
    // <bin>/../share/<simulator>/<model>_rare.bias.
    ASSERT_EQ(mkdir((dir / "bin").c_str(), 0777), 0);
    ASSERT_EQ(RunShell("cp '" + Simmgr() + "' '" + (dir / "bin/simmgr") + "'", dir).status, 0);
    ASSERT_EQ(RunShell("cp '" + FakeSim() + "' '" + (dir / "bin/basic_model_sim") + "'", dir).status, 0);
    const std::string shipped = dir / "share/basic_model_sim/fake_model_rare.bias";
    const std::string plan = (dir / "bin/simmgr") + " plan --rare --experiments 0 --reps 100 --out " + (dir / "plan");
    auto r = RunShell(plan, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--rare: the shipped change of measure was not found at " + shipped), std::string::npos)
        << r.err;
    ASSERT_EQ(RunShell("mkdir -p '" + (dir / "share/basic_model_sim") + "'", dir).status, 0);
    WriteBytes(shipped, "sefi x 40\n");
    r = RunShell(plan, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ReadFile(dir / "plan/jobs.txt").find(" '-B' '" + dir.Path() + "/plan/bias-"), std::string::npos);
    EXPECT_EQ(RunShell("cat '" + dir.Path() + "'/plan/bias-*.bias", dir).out, "sefi x 40\n");
}

// Every block runs the change of measure that was read and hashed when the
// run began: an edit of the user's file during the run changes nothing,
// and a block whose simulator was handed other content is refused.
TEST(WeightedRun, BlocksRunTheContentReadEvenWhenTheFileIsEdited) {
    ScratchDir dir;
    WriteBytes(dir / "b.bias", "sefi x 40\n");
    const std::string study = " --bias b.bias --experiments 0 --block-size 100 --reps 400 --report-size 100 --jobs 1";
    auto r = RunShell(InDir(dir, Simmgr() + " run --sim " + FakeSim() + study + " --csv clean.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    // Simulators that, when block 1 (seed 31424) starts, edit the user's
    // file, or the file they are handed.
    const std::string atBlock1 = "case \" $* \" in *\" -s 31424 \"*) ";
    WriteBytes(dir / "edits-file.sh", "#!/bin/sh\n" + atBlock1 + "echo 'sefi x 41' > " + (dir / "b.bias") +
                                          ";; esac\nexec " + FakeSim() + " \"$@\"\n");
    WriteBytes(dir / "edits-copy.sh", "#!/bin/sh\nfor a; do [ \"$prev\" = -B ] && copy=$a; prev=$a; done\n" + atBlock1 +
                                          "chmod u+w \"$copy\"; echo 'sefi x 41' > \"$copy\";; esac\nexec " + FakeSim() +
                                          " \"$@\"\n");
    chmod((dir / "edits-file.sh").c_str(), 0755);
    chmod((dir / "edits-copy.sh").c_str(), 0755);
    r = RunShell(InDir(dir, Simmgr() + " run --sim ./edits-file.sh" + study + " --csv edited.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "edited.csv"), ReadFile(dir / "clean.csv"));

    WriteBytes(dir / "b.bias", "sefi x 40\n");
    r = RunShell(InDir(dir, Simmgr() + " run --sim ./edits-copy.sh" + study + " --store st"), dir);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("Experiment 1 (-e 0) failed: block 1: the change of measure handed to the simulators"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("no longer holds the content of " + (dir / "b.bias")), std::string::npos) << r.err;
    EXPECT_NE(RunShell("ls " + (dir / "st/*_e0_b1_*"), dir).status, 0) << "the block was stored";
}

// The plan / parallel / merge route against the stand-in simulator: the
// merged sums equal those of the ASCII files, and damaged or foreign block
// files are refused by name.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "simmgr/testing/TestSupport.h"

TEST(PlanAndMerge, ParallelJobsMergeToTheirAsciiFiles) {
    ScratchDir dir;
    const std::string plan = dir / "plan";
    const std::string blocks = "--experiments 0,3 --block-size 150 --reps 300 --seed 100";
    auto r = RunShell(Simmgr() + " plan --sim " + FakeSim() + " " + blocks + " --report-size 70 --ascii --out " + plan,
                      dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string jobs = ReadFile(plan + "/jobs.txt");
    EXPECT_NE(jobs.find(" -s 100 "), std::string::npos);
    EXPECT_NE(jobs.find(" -s 112 "), std::string::npos) << "block 1 of experiment 3: 100 + 9 + 3";
    EXPECT_NE(ReadFile(plan + "/slurm.sh").find("#SBATCH --array=1-4"), std::string::npos);
    r = RunShell("parallel --will-cite --jobs 2 < " + plan + "/jobs.txt", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell(Simmgr() + " merge --store " + plan + " " + blocks + " --csv " + (dir / "m.csv") + " --plot " +
                     (dir / "m.png"),
                 dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(ReadFile(dir / "m.png").empty());

    // The same sums straight from the ASCII files.
    std::map<std::pair<int, int>, AsciiCell> ascii;
    for (const char* name : {"e0_b0_s100_n150", "e0_b1_s109_n150", "e3_b0_s103_n150", "e3_b1_s112_n150"})
        AddAsciiFile(plan + "/" + name + ".txt", name[1] - '0', ascii);
    const auto rows = ParseCsv(ReadFile(dir / "m.csv"));
    ASSERT_EQ(rows.size(), ascii.size());
    for (const CsvRow& row : rows) {
        const int e = std::stoi(row.at("experiment"));
        const auto& cell = ascii.at({e, std::stoi(row.at("variable_index"))});
        EXPECT_EQ(std::stoi(row.at("n")), cell.n);
        EXPECT_EQ(cell.n, 300);
        EXPECT_NEAR(std::stod(row.at("mean")), cell.sum / cell.n, 1e-9);
        EXPECT_EQ(row.at("status"), "finished");
    }

    // Refused, by name: a truncated block, a file that is no block of this
    // study, one block given twice, and a block copied under another name.
    const std::string b0 = plan + "/e0_b0_s100_n150.bin", b1 = plan + "/e0_b1_s109_n150.bin";
    const std::string whole = ReadFile(b0);
    r = RunShell("mkdir " + (dir / "cut") + " && cp " + b0 + " " + b1 + " " + (dir / "cut"), dir);
    WriteBytes(dir / "cut/e0_b0_s100_n150.bin", whole.substr(0, whole.size() - 5));
    r = RunShell(Simmgr() + " merge --store " + (dir / "cut") + " " + blocks, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cut/e0_b0_s100_n150.bin: truncated at byte offset"), std::string::npos) << r.err;
    r = RunShell(Simmgr() + " merge " + b0 + " " + b1 + " --experiments 0,3 --block-size 150 --reps 300 --seed 101",
                 dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(b0 + ": not a block of this study"), std::string::npos) << r.err;
    r = RunShell(Simmgr() + " merge " + b0 + " " + b0 + " " + blocks, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("claim the same block"), std::string::npos) << r.err;
    WriteBytes(dir / "e0_b1_s109_n150.bin", whole);
    r = RunShell(Simmgr() + " merge " + b0 + " " + (dir / "e0_b1_s109_n150.bin") + " --experiments 0 --block-size 150 "
                 "--reps 300 --seed 100", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("same observations"), std::string::npos) << r.err;
}

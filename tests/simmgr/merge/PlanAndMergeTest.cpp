// The plan / parallel / merge route against the stand-in simulator: the
// merged sums equal those of the ASCII files, and damaged or foreign block
// files are refused by name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
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
    r = RunShell(Simmgr() + " merge --sim " + FakeSim() + " --store " + plan + " " + blocks + " --csv " + (dir / "m.csv") + " --plot " +
                     (dir / "m.png"),
                 dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(ReadFile(dir / "m.png").empty());

    // The same sums straight from the ASCII files.
    std::map<std::pair<int, int>, AsciiCell> ascii;
    for (const char* name : {"e0_b0_s100_n150", "e0_b1_s109_n150", "e3_b0_s103_n150", "e3_b1_s112_n150"})
        AddAsciiFile(plan + "/" + FakeBlock(name) + ".txt", name[1] - '0', ascii);
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
    const std::string b0 = plan + "/" + FakeBlock("e0_b0_s100_n150.bin"), b1 = plan + "/" + FakeBlock("e0_b1_s109_n150.bin");
    const std::string whole = ReadFile(b0);
    r = RunShell("mkdir " + (dir / "cut") + " && cp " + b0 + " " + b1 + " " + (dir / "cut"), dir);
    WriteBytes(dir / ("cut/" + FakeBlock("e0_b0_s100_n150.bin")), whole.substr(0, whole.size() - 5));
    r = RunShell(Simmgr() + " merge --sim " + FakeSim() + " --store " + (dir / "cut") + " " + blocks, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cut/" + FakeBlock("e0_b0_s100_n150.bin") + ": truncated at byte offset"), std::string::npos) << r.err;
    r = RunShell(Simmgr() + " merge --sim " + FakeSim() + " " + b0 + " " + b1 + " --experiments 0,3 --block-size 150 --reps 300 --seed 101",
                 dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(b0 + ": not a block of this study"), std::string::npos) << r.err;
    r = RunShell(Simmgr() + " merge --sim " + FakeSim() + " " + b0 + " " + b0 + " " + blocks, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("claim the same block"), std::string::npos) << r.err;
    WriteBytes(dir / FakeBlock("e0_b1_s109_n150.bin"), whole);
    r = RunShell(Simmgr() + " merge --sim " + FakeSim() + " " + b0 + " " + (dir / FakeBlock("e0_b1_s109_n150.bin")) + " --experiments 0 --block-size 150 "
                 "--reps 300 --seed 100", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("e0_b1_s109_n150.bin: holds the observations of client 0, not 1 (block 1)"),
              std::string::npos)
        << r.err;
}

namespace {

// Names, sizes and modification times of a directory's entries.
std::map<std::string, std::pair<uintmax_t, std::filesystem::file_time_type>> Snapshot(const std::string& dir) {
    std::map<std::string, std::pair<uintmax_t, std::filesystem::file_time_type>> seen;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        seen[entry.path().filename().string()] = {entry.is_regular_file() ? entry.file_size() : 0,
                                                  entry.last_write_time()};
    return seen;
}

}  // namespace

// Merging only reads: a plan on read-only storage merges, and nothing in it
// changes, not even a temporary left by a dead writer (root ignores the
// permission, so the directory is compared before and after).
TEST(PlanAndMerge, MergeReadsAReadOnlyStoreAndChangesNothing) {
    ScratchDir dir;
    const std::string plan = dir / "plan";
    const std::string study = " --experiments 0 --block-size 100 --reps 300 ";
    auto r = RunShell(Simmgr() + " plan --sim " + FakeSim() + study + "--out " + plan, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell("FAKE_SIM_DELAY_MS=0 parallel --will-cite --jobs 2 < " + plan + "/jobs.txt", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    WriteBytes(plan + "/" + FakeBlock("e0_b2_s31417_n100.bin.part.999999999"), "left by a writer that died");
    chmod(plan.c_str(), 0555);
    const auto before = Snapshot(plan);
    r = RunShell(Simmgr() + " merge --sim " + FakeSim() + " --store " + plan + study + "--csv " + (dir / "m.csv"), dir);
    chmod(plan.c_str(), 0755);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ParseCsv(ReadFile(dir / "m.csv")).size(), 3u);
    EXPECT_EQ(Snapshot(plan), before);
}

// Blocks of a rare event are all zeros, so blocks 256 apart (same client
// number) are byte for byte the same; merge must take them as run does.
TEST(PlanAndMerge, IdenticalBlocksOfRareEventsMergeAsRunCountsThem) {
    ScratchDir dir;
    const std::string store = dir / "store";
    const std::string study = " --experiments 0 --block-size 1 --reps 258 ";
    auto r = RunShell("FAKE_SIM_P=0,0,0 FAKE_SIM_DELAY_MS=0 " + Simmgr() + " run --sim " + FakeSim() + study +
                          "--store " + store + " --csv " + (dir / "run.csv"),
                      dir);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(ReadFile(store + "/" + FakeBlock("e0_b0_s31415_n1.bin")), ReadFile(store + "/" + FakeBlock("e0_b256_s33719_n1.bin")));
    r = RunShell(Simmgr() + " merge --sim " + FakeSim() + " --store " + store + study + "--csv " + (dir / "merged.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "merged.csv"), ReadFile(dir / "run.csv"));
}

// A Slurm array task runs lines k, k + 1000, …: one failing line must not
// keep the later ones from running, and the task must report the failure.
TEST(PlanAndMerge, ASlurmTaskRunsEveryLineAndFailsIfOneFailed) {
    ScratchDir dir;
    const std::string sim = dir / "fails-on-first-seed.sh";
    WriteBytes(sim, "#!/bin/sh\ncase \" $* \" in *\" -s 31415 \"*) exit 7;; esac\nexec " + FakeSim() + " \"$@\"\n");
    chmod(sim.c_str(), 0755);
    const std::string plan = dir / "plan";
    auto r = RunShell(Simmgr() + " plan --sim " + sim + " --experiments 0 --block-size 1 --reps 1002 --out " + plan, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell("SLURM_ARRAY_TASK_ID=1 bash " + plan + "/slurm.sh", dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("line 1 of jobs.txt failed"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(plan + "/" + FakeBlock("e0_b0_s31415_n1.bin")));
    EXPECT_TRUE(std::filesystem::exists(plan + "/" + FakeBlock("e0_b1000_s40415_n1.bin"))) << "line 1001 of task 1 never ran";
    r = RunShell("SLURM_ARRAY_TASK_ID=2 bash " + plan + "/slurm.sh", dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(plan + "/" + FakeBlock("e0_b1001_s40424_n1.bin")));
    // Submitted as another array (here 3-502, so 500 tasks), task k runs
    // lines k - 2, k - 2 + 500, …: the second task of it runs line 502.
    r = RunShell("SLURM_ARRAY_TASK_ID=4 SLURM_ARRAY_TASK_MIN=3 SLURM_ARRAY_TASK_COUNT=500 bash " + plan + "/slurm.sh",
                 dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(plan + "/" + FakeBlock("e0_b501_s35924_n1.bin"))) << "the array's own size was not used";
}

// Without --experiments a merge judges the whole study, as run and plan do:
// an experiment none of whose jobs ran is incomplete, not left out.
TEST(PlanAndMerge, MergeJudgesTheWholeStudyNotTheFilesItFinds) {
    ScratchDir dir;
    struct Case {
        std::string study, skipped, heading;
    };
    const Case cases[] = {
        {" --reps 100 --block-size 100 ", "_e3_b", "Experiment 4 (-e 3)"},
        {" --vary ram_size=1,2,3 --reps 100 --block-size 100 ", "_e1_b", "ram_size=2 (#1, -e 0)"},
    };
    for (const Case& c : cases) {
        const std::string plan = dir / "plan";
        auto r = RunShell("rm -rf " + plan + " && " + Simmgr() + " plan --sim " + FakeSim() + c.study + "--out " + plan,
                          dir);
        ASSERT_EQ(r.status, 0) << r.err;
        r = RunShell("grep -v '" + c.skipped + "' " + plan + "/jobs.txt | FAKE_SIM_DELAY_MS=0 bash", dir);
        ASSERT_EQ(r.status, 0) << r.err;
        r = RunShell(Simmgr() + " merge --sim " + FakeSim() + " --store " + plan + c.study, dir);
        EXPECT_EQ(r.status, 1) << c.study << r.err;
        const size_t heading = r.out.find(c.heading);
        ASSERT_NE(heading, std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("[incomplete]", heading), r.out.find("[", r.out.find(")", heading))) << r.out;
        EXPECT_NE(r.err.find("some experiments lack blocks"), std::string::npos) << r.err;
    }
}

// The jobs of a plan under a change of measure run the content that was
// hashed, even when the file is edited between plan and jobs; a copy
// changed behind the plan's back is refused by the job, not simulated.
TEST(PlanAndMerge, JobsRunTheChangeOfMeasurePlannedNotTheFileAsEdited) {
    ScratchDir dir;
    WriteBytes(dir / "b.bias", "sefi x 40\n");
    const std::string study = " --bias " + (dir / "b.bias") + " --experiments 0 --block-size 100 --reps 300 ";
    auto r = RunShell(Simmgr() + " run --sim " + FakeSim() + study + "--csv " + (dir / "run.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string plan = dir / "plan";
    r = RunShell(Simmgr() + " plan --sim " + FakeSim() + study + "--out " + plan, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    WriteBytes(dir / "b.bias", "sefi x 41\n");
    r = RunShell("FAKE_SIM_DELAY_MS=0 bash " + plan + "/jobs.txt", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    WriteBytes(dir / "b.bias", "sefi x 40\n");
    r = RunShell(Simmgr() + " merge --sim " + FakeSim() + " --store " + plan + study + "--csv " + (dir / "merged.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "merged.csv"), ReadFile(dir / "run.csv"));

    const auto copy = RunShell("ls " + plan + "/bias-*.bias", dir).out;
    ASSERT_FALSE(copy.empty());
    const std::string copyPath = copy.substr(0, copy.find('\n'));
    EXPECT_EQ(ReadFile(copyPath), "sefi x 40\n");
    chmod(copyPath.c_str(), 0644);
    WriteBytes(copyPath, "sefi x 42\n");
    r = RunShell("rm " + plan + "/*_e0_b1_*.bin && while read -r line; do FAKE_SIM_DELAY_MS=0 bash -c \"$line\" || exit 1; done < " + plan + "/jobs.txt", dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(copyPath + ": not the change of measure planned"), std::string::npos) << r.err;
    EXPECT_NE(RunShell("ls " + plan + "/*_e0_b1_*.bin*", dir).status, 0) << "the block was simulated";
}

// Two models' simulators share one store: each finds only its own blocks
// (they are named by the model's identity), and a merge given a simulator
// of a third model says whose blocks the store holds.
TEST(PlanAndMerge, AStoreSharedByTwoModelsKeepsTheirBlocksApart) {
    ScratchDir dir;
    const std::string study = " --sim " + FakeSim() + " --experiments 0 --reps 200 --block-size 100 --store " +
                              (dir / "st") + " ";
    const auto alpha = RunShell("FAKE_SIM_MODEL=alpha " + Simmgr() + " run" + study + "--csv " + (dir / "a.csv"), dir);
    ASSERT_EQ(alpha.status, 0) << alpha.err;
    const auto beta = RunShell("FAKE_SIM_MODEL=beta " + Simmgr() + " run" + study, dir);
    ASSERT_EQ(beta.status, 0) << beta.err;
    EXPECT_NE(beta.err.find("2 run here"), std::string::npos) << "alpha's blocks were taken: " << beta.err;
    const auto again = RunShell("FAKE_SIM_MODEL=alpha " + Simmgr() + " run" + study, dir);
    EXPECT_NE(again.err.find("0 run here"), std::string::npos) << again.err;
    EXPECT_NE(again.err.find("2 reused from the store"), std::string::npos) << again.err;

    const std::string merge = Simmgr() + " merge" + study;
    auto r = RunShell("FAKE_SIM_MODEL=alpha " + merge + "--csv " + (dir / "m.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "m.csv"), ReadFile(dir / "a.csv"));
    r = RunShell("FAKE_SIM_MODEL=gamma " + merge, dir);
    EXPECT_EQ(r.status, 1);
    for (const char* other : {"alpha-", "beta-"})
        EXPECT_NE(r.err.find(std::string("the store holds blocks of model ") + other), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("give merge the --sim those blocks ran on"), std::string::npos) << r.err;
}

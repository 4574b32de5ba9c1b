// Studies of the user's own through the command line and the real
// simulator: refusals before any work, the values shown are the ones
// simulated, and a --vary study gives the same answers from run as from
// plan, the jobs and merge.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "simmgr/testing/TestSupport.h"

namespace {

#define REQUIRE_REAL_SIMULATOR()                                         \
    if (RealSim().empty()) GTEST_SKIP() << "basic_model_sim is not built"

}  // namespace

TEST(Studies, BadSettingsAreRefusedBeforeAnyWork) {
    ScratchDir dir;
    const std::string store = dir / "store";
    for (const std::string& command :
         {"run --set ram_sise=1 --store " + store, "plan --out " + (dir / "plan") + " --vary ram_sise=1,2",
          "merge --store " + dir.Path() + " --set ram_size=lots"}) {
        const auto r = RunShell(Simmgr() + " " + command, dir);
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_NE(r.err.find("ram_s"), std::string::npos) << r.err;
    }
    auto r = RunShell(Simmgr() + " run --set ram_sise=1", dir);
    EXPECT_NE(r.err.find("(its global variables: flash_size, power_cycle_rate, ram_size, random_failure_rate)"),
              std::string::npos)
        << r.err;
    r = RunShell(Simmgr() + " run --vary ram_size=1,2 --experiments 0-2", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--vary starts from one built-in experiment"), std::string::npos) << r.err;
    r = RunShell(Simmgr() + " run --experiments 0 --sim-arg=-Of:ram_size", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("the override string is incomplete"), std::string::npos) << r.err;
    EXPECT_EQ(RunShell("test -e " + store + " || test -e " + (dir / "plan"), dir).status, 1) << "nothing was created";
}

TEST(Studies, TheHeaderAndCsvShowARawOverride) {
    REQUIRE_REAL_SIMULATOR();
    ScratchDir dir;
    for (const char* form : {"--sim-arg=-Of:ram_size:1", "--sim-arg=-O --sim-arg=f:ram_size:1"}) {
        const auto r = RunShell(Simmgr() + " run --experiments 0 --reps 20 " + std::string(form) + " --csv " + (dir / "o.csv"), dir);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("Experiment 1 (-e 0)  flash_size=64  power_cycle_rate=0.03125  ram_size=1  "),
                  std::string::npos)
            << r.out;
        for (const CsvRow& row : ParseCsv(ReadFile(dir / "o.csv"))) EXPECT_EQ(row.at("ram_size"), "1");
    }
}

TEST(Studies, VaryRunsTheCrossProductAndMergesToTheSameAnswer) {
    REQUIRE_REAL_SIMULATOR();
    ScratchDir dir;
    const std::string study = "--vary power_cycle_rate=0.5,1 --vary ram_size=64,128 --set flash_size=32 --reps 200 "
                              "--block-size 100 --seed 500";
    auto r = RunShell(Simmgr() + " run " + study + " --report-size 50 --store " + (dir / "store") + " --csv " +
                          (dir / "run.csv") + " --plot " + (dir / "run.png"),
                      dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("power_cycle_rate=0.5 ram_size=64 (#0, -e 0)  flash_size=32  power_cycle_rate=0.5  ram_size=64"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("power_cycle_rate=1 ram_size=64 (#2, -e 0)  flash_size=32  power_cycle_rate=1  ram_size=64"),
              std::string::npos)
        << r.out;
    const auto rows = ParseCsv(ReadFile(dir / "run.csv"));
    ASSERT_EQ(rows.size(), 12u) << "4 experiments of 3 variables";
    const char* order[] = {"0.5,64", "0.5,128", "1,64", "1,128"};
    for (const CsvRow& row : rows) {
        const int e = std::stoi(row.at("experiment"));
        EXPECT_EQ(row.at("power_cycle_rate") + "," + row.at("ram_size"), order[e]);
        EXPECT_EQ(row.at("experiment_name"), "power_cycle_rate=" + row.at("power_cycle_rate") +
                                                 " ram_size=" + row.at("ram_size"));
        EXPECT_EQ(row.at("flash_size"), "32");
        EXPECT_EQ(row.at("n"), "200");
    }
    // Seed stride 4: block 1 of experiment 3 has seed 500 + 4 + 3.
    // The name begins with the model's identity: its name and its file's hash.
    EXPECT_TRUE(std::regex_match(RunShell("cd " + (dir / "store") + " && ls *_e3_b1_s507_*", dir).out,
                                 std::regex("basic_model-[0-9a-f]{16}_e3_b1_s507_n100_o-e0%20-Of:flash%5Fsize:32:"
                                            "f:power%5Fcycle%5Frate:1:f:ram%5Fsize:128\\.bin\n")));
    EXPECT_FALSE(ReadFile(dir / "run.png").empty());

    const std::string plan = dir / "plan";
    r = RunShell(Simmgr() + " plan " + study + " --report-size 50 --out " + plan, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell("while read -r line; do bash -c \"$line\" || exit 1; done < " + plan + "/jobs.txt", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(RunShell("cat " + plan + "/*_e1_b0_s501_n100_o*.log", dir).out.find("OverrideString is f:flash_size:32:f:power_cycle_rate:0.5:f:ram_size:128"),
              std::string::npos);
    r = RunShell(Simmgr() + " merge --store " + plan + " " + study + " --csv " + (dir / "merge.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "merge.csv"), ReadFile(dir / "run.csv"));

    // Another starting experiment is another study: none of these blocks are its.
    r = RunShell(Simmgr() + " merge --store " + plan + " " + study + " --experiments 4", dir);
    EXPECT_EQ(r.status, 1);
}

// The manager end to end against the stand-in simulator: estimates,
// stopping, caps, failures of single experiments and interruption.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "simmgr/testing/TestSupport.h"

namespace {

std::string FakeRun(const std::string& args) { return Simmgr() + " run --sim " + FakeSim() + " " + args; }

const double kP[] = {0.2, 0.5, 0.8};   // the stand-in's default probabilities

}  // namespace

TEST(FakeSimulatorRun, ConvergesToTheTrueProbabilities) {
    ScratchDir dir;
    const auto r = RunShell(FakeRun("--experiments 0,1 --jobs 2 --block-size 250 --report-size 50 "
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
    const auto& e0 = json["experiments"][0];
    EXPECT_EQ(e0["block_size"], 250);
    EXPECT_EQ(e0["replications"].get<int>(), 250 * e0["blocks"].get<int>()) << "whole blocks only are counted";
}

TEST(FakeSimulatorRun, CapsAndFixedCountsAreExact) {
    ScratchDir dir;
    // Precision out of reach: the cap ends it, the last block cut short.
    auto r = RunShell(FakeRun("--experiments 0 --block-size 150 --report-size 64 --rel-precision 0.0001 "
                          "--min-reps 100 --max-reps 500 --csv " + (dir / "cap.csv")),
                      dir);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const CsvRow& row : ParseCsv(ReadFile(dir / "cap.csv"))) {
        EXPECT_EQ(row.at("n"), "500");
        EXPECT_EQ(row.at("status"), "capped");
    }
    // An odd fixed count over several job slots still runs exactly the
    // replications asked for.
    r = RunShell(FakeRun("--experiments 2 --jobs 2 --reps 301 --block-size 100 --csv " + (dir / "fixed.csv") +
                         " --json " + (dir / "fixed.json")),
                 dir);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const CsvRow& row : ParseCsv(ReadFile(dir / "fixed.csv"))) {
        EXPECT_EQ(row.at("n"), "301");
        EXPECT_EQ(row.at("status"), "finished");
        EXPECT_EQ(row.at("experiment"), "2");
    }
    EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "fixed.json"))["experiments"][0]["blocks"], 4);
}

// A bad command line exits with 2 whatever the option parser would say,
// and an output file that could not be written is found out before any
// simulator starts, not after the study has run.
TEST(FakeSimulatorRun, UsageErrorsAndUnwritableOutputsStopBeforeWork) {
    ScratchDir dir;
    const std::string sim = dir / "sim.sh";
    // Asked to describe its model (-D) it does not simulate, so it does not count.
    WriteBytes(sim, "#!/bin/sh\ncase \" $* \" in *\" -D \"*) ;; *) touch " + (dir / "started") + ";; esac\nexec " +
                        FakeSim() + " \"$@\"\n");
    chmod(sim.c_str(), 0755);
    WriteBytes(dir / "file", "not a directory");
    EXPECT_EQ(RunShell(Simmgr() + " run --bogus", dir).status, 2);
    EXPECT_EQ(RunShell(Simmgr() + " run --jobs", dir).status, 2);
    EXPECT_EQ(RunShell(Simmgr() + " frobnicate", dir).status, 2);
    EXPECT_EQ(RunShell(Simmgr() + " run --help", dir).status, 0);
    EXPECT_EQ(RunShell(Simmgr() + " --version", dir).status, 0);
    const std::string cases[] = {"--csv " + (dir / "no/such/dir/r.csv"), "--json " + (dir / "file/r.json"),
                                 "--plot " + dir.Path(), "--plot " + (dir / "it's.png")};
    for (const std::string& output : cases) {
        const auto r = RunShell(Simmgr() + " run --sim " + sim + " --experiments 0 --reps 10 --block-size 10 " +
                                    output, dir);
        EXPECT_EQ(r.status, 2) << output;
        EXPECT_NE(r.err.find(output.substr(0, output.find(' '))), std::string::npos) << r.err;
        EXPECT_NE(access((dir / "started").c_str(), F_OK), 0) << output << ": a simulator started";
        const auto m = RunShell(Simmgr() + " merge --sim " + FakeSim() + " --store " + dir.Path() + " --experiments 0 " + output, dir);
        EXPECT_EQ(m.status, 2) << "merge " << output << ": " << m.err;
    }
}

// A cell that saw no event has met only its absolute precision: it is
// bounded, never "converged", in the table, the CSV and the JSON; an
// experiment whose cells all are is bounded, and both end the run with 0.
TEST(FakeSimulatorRun, ACellThatSawNothingIsBoundedNotConverged) {
    ScratchDir dir;
    // No event in n: the bound 1 - 0.005^(1/n) first falls to 0.001 at
    // n = 5296, so the run stops after six blocks of 1000.
    const std::string bound = "no event in 6000 replications; p ≤ 0.00088266 at 95 %";
    auto r = RunShell("FAKE_SIM_P=0,0.3,0 " + FakeRun("--experiments 0 --json " + (dir / "mixed.json") +
                                                      " --csv " + (dir / "mixed.csv")),
                      dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(bound), std::string::npos) << r.out;
    const auto mixed = nlohmann::json::parse(ReadFile(dir / "mixed.json"))["experiments"][0];
    EXPECT_EQ(mixed["status"], "converged");
    const char* expected[] = {"bounded", "converged", "bounded"};
    for (int v = 0; v < 3; ++v) EXPECT_EQ(mixed["variables"][v]["status"], expected[v]) << v;
    const auto rows = ParseCsv(ReadFile(dir / "mixed.csv"));
    ASSERT_EQ(rows.size(), 3u);
    for (int v = 0; v < 3; ++v) EXPECT_EQ(rows[static_cast<size_t>(v)].at("status"), expected[v]) << v;
    EXPECT_EQ(rows[0].at("ci_low"), "0");
    EXPECT_EQ(rows[0].at("ci_high"), "0.000882663118");

    r = RunShell("FAKE_SIM_P=0,0,0 " + FakeRun("--experiments 0 --json " + (dir / "none.json")), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("[bounded]"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("1 experiment(s): 1 bounded"), std::string::npos) << r.err;
    EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "none.json"))["experiments"][0]["status"], "bounded");
}

TEST(FakeSimulatorRun, AFailingExperimentIsReportedAndTheOthersFinish) {
    ScratchDir dir;
    struct Case {
        const char* mode;
        const char* expect;
    };
    const Case cases[] = {
        {"die", "exited with status 3; its error stream ended with:\n    fake simulator: fatal error"},
        {"die", "its output ended with:\n    Wait For Socket Enabled\n    Experiment: 1"},
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

    // A simulator that ignores the quit of an interrupted run is killed.
    r = RunShell("FAKE_SIM_MODE=ignorequit FAKE_SIM_DELAY_MS=50 " +
                     FakeRun("--experiments 0 --block-size 100 --report-size 10 --quit-timeout 1") +
                     " & pid=$!; sleep 0.5; kill -INT $pid; wait $pid",
                 dir);
    EXPECT_EQ(r.status, 130);
    EXPECT_NE(r.err.find("did not stop within 1 s of the quit command"), std::string::npos) << r.err;

    // A faulty simulator deaf to SIGTERM is killed once the grace is over.
    r = RunShell("FAKE_SIM_MODE=malformed FAKE_SIM_IGNORE_TERM=1 timeout -s KILL 60 " +
                     FakeRun("--experiments 0 --block-size 100 --report-size 10 --quit-timeout 1"),
                 dir);
    EXPECT_EQ(r.status, 1) << "the run must end, not hang";
    EXPECT_NE(r.err.find("it ignored SIGTERM for 1 s and was killed (SIGKILL)"), std::string::npos) << r.err;
}

TEST(FakeSimulatorRun, InterruptSavesPartialResultsAndTheStoreResumes) {
    ScratchDir dir;
    const std::string study = "--experiments 0-3 --jobs 2 --block-size 20 --report-size 10 --rel-precision 0.05 "
                              "--min-reps 100 --max-reps 2000 --store " + (dir / "store");
    for (const char* sig : {"INT", "TERM"}) {
        const std::string cmd = "FAKE_SIM_DELAY_MS=20 " + FakeRun(study + " --json " + (dir / "p.json") + " --csv " +
                                                                   (dir / "p.csv")) +
                                " & pid=$!; sleep 1; kill -" + sig + " $pid; wait $pid";
        const auto r = RunShell(cmd, dir);
        EXPECT_EQ(r.status, 130) << r.err;
        EXPECT_NE(r.out.find("PARTIAL RESULTS"), std::string::npos);
        EXPECT_NE(r.err.find("interrupted"), std::string::npos);
        const auto json = nlohmann::json::parse(ReadFile(dir / "p.json"));
        EXPECT_TRUE(json["partial"].get<bool>());
        for (const auto& e : json["experiments"]) {
            EXPECT_EQ(e["status"], "partial");
            EXPECT_EQ(e["replications"].get<int>() % 20, 0) << "only whole blocks count";
        }
        for (const CsvRow& row : ParseCsv(ReadFile(dir / "p.csv"))) EXPECT_EQ(row.at("partial"), "true");
    }
    const auto resumed = RunShell("FAKE_SIM_DELAY_MS=0 " + FakeRun(study + " --csv " + (dir / "resumed.csv")), dir);
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(resumed.err.find(" 0 reused from the store"), std::string::npos) << resumed.err;
    const auto fresh = RunShell(FakeRun("--experiments 0-3 --jobs 3 --block-size 20 --report-size 10 "
                                        "--rel-precision 0.05 --min-reps 100 --max-reps 2000 --csv " +
                                        (dir / "fresh.csv")),
                                dir);
    ASSERT_EQ(fresh.status, 0) << fresh.err;
    EXPECT_EQ(ReadFile(dir / "resumed.csv"), ReadFile(dir / "fresh.csv"));

    // A damaged stored block is named, computed again, and changes nothing.
    const auto stored = ParseCsv(ReadFile(dir / "fresh.csv"));
    const std::string victim = dir / ("store/" + FakeBlock("e2_b1_s31426_n20.bin"));
    const std::string whole = ReadFile(victim);
    ASSERT_FALSE(whole.empty());
    WriteBytes(victim, whole.substr(0, whole.size() - 3));
    const auto repaired = RunShell(FakeRun(study + " --csv " + (dir / "repaired.csv")), dir);
    ASSERT_EQ(repaired.status, 0) << repaired.err;
    EXPECT_NE(repaired.err.find("warning: stored block " + victim + ": truncated"), std::string::npos) << repaired.err;
    EXPECT_NE(repaired.err.find(" 1 run here"), std::string::npos) << repaired.err;
    EXPECT_EQ(ReadFile(dir / "repaired.csv"), ReadFile(dir / "fresh.csv"));
    EXPECT_EQ(ReadFile(victim), whole);
}

// Signals arriving while simulators start must not break a connection
// under way (the simulator serves the first connection it accepts).
TEST(FakeSimulatorRun, ASignalFloodDuringStartsBreaksNoConnection) {
    ScratchDir dir;
    const std::string cmd = FakeRun("--experiments 0-8 --jobs 4 --reps 600 --block-size 20 --report-size 10") +
                            " >/dev/null & pid=$!; while kill -CHLD $pid 2>/dev/null; do :; done; wait $pid";
    const auto r = RunShell(cmd, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("270 run here"), std::string::npos) << r.err;
}

TEST(FakeSimulatorRun, RefusesBadRequests) {
    ScratchDir dir;
    EXPECT_EQ(RunShell(Simmgr() + " run --sim /nonexistent/sim --experiments 0", dir).status, 2);
    EXPECT_EQ(RunShell(FakeRun("--experiments 0,x"), dir).status, 2);
    EXPECT_EQ(RunShell(FakeRun("--experiments 0 --seed 0"), dir).status, 2) << "seed 0 aliases the default seed";
    EXPECT_EQ(RunShell(FakeRun("--experiments 0 --min-reps 500 --max-reps 100"), dir).status, 2);
    auto r = RunShell(FakeRun("--experiments 0 --seed 1073741000"), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("leave 1 to 1073741821"), std::string::npos) << r.err;
    r = RunShell(FakeRun("--experiments 0 --procs-per-exp 2"), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--block-size"), std::string::npos) << r.err;
    EXPECT_EQ(RunShell(FakeRun("--experiments 0 --sim-arg -s7"), dir).status, 2) << "the seed is the manager's";
    EXPECT_NE(RunShell(FakeRun("--confidence 1.5"), dir).status, 0);
}

// The experiments are the simulator's: the refusal of a missing one names
// how many its model's study has, and the seed help says how they space
// the seeds without a model of its own to count.
TEST(FakeSimulatorRun, TheExperimentsAreTheSimulators) {
    ScratchDir dir;
    const auto refused = RunShell(FakeRun("--experiments 60000"), dir);
    ASSERT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("the study has 9, numbered 0 to 8"), std::string::npos) << refused.err;
    const auto help = RunShell(Simmgr() + " run --help", dir);
    EXPECT_NE(help.out.find("seed + E*j + e, E the number of experiments in the study"), std::string::npos) << help.out;
}

// A block is kept only when its file is the block a merge and the next run
// accept (its client number and experiment) and holds what its simulator
// sent over the link; otherwise its experiment fails, saying why.
TEST(FakeSimulatorRun, ABlockWhoseFileDisagreesIsRefusedByTheRun) {
    struct Case {
        const char* mode;
        const char* expect;
    };
    const Case cases[] = {
        {"fileclient", "holds the observations of client 1, not 0 (block 0): a block stored under another name"},
        {"filediffers", "wrote a block file that differs from what it sent: variable 0: 100 observations summing to"},
    };
    const std::string study = " --reps 200 --block-size 100 ";
    for (const Case& c : cases) {
        ScratchDir dir;
        const auto r = RunShell(std::string("FAKE_SIM_AFTER=1 FAKE_SIM_MODE_1=") + c.mode + " " +
                                    FakeRun("--experiments 0,1 --report-size 50" + study + "--store " + (dir / "st")),
                                dir);
        EXPECT_EQ(r.status, 1) << c.mode;
        EXPECT_NE(r.err.find("Experiment 2 (-e 1) failed"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.mode << ": " << r.err;
        EXPECT_NE(RunShell("ls " + (dir / "st/*_e1_*"), dir).status, 0) << c.mode << ": a refused block was stored";
        const auto merged = RunShell(Simmgr() + " merge --sim " + FakeSim() + " --store " + (dir / "st") + " --experiments 0" + study, dir);
        EXPECT_EQ(merged.status, 0) << c.mode << ": every stored block is one a merge accepts: " << merged.err;
    }
}

// Lengths the simulator or the file system would refuse for every block are
// refused before any simulator starts: a raw -O over the simulator's 128
// characters, and a block file name over 255 bytes with its temporary
// ending.
TEST(FakeSimulatorRun, TooLongOptionsAndNamesAreRefusedBeforeAnyWork) {
    ScratchDir dir;
    const std::string sim = dir / "sim.sh";
    // Asked to describe its model (-D) it does not simulate, so it does not count.
    WriteBytes(sim, "#!/bin/sh\ncase \" $* \" in *\" -D \"*) ;; *) touch " + (dir / "started") + ";; esac\nexec " +
                        FakeSim() + " \"$@\"\n");
    chmod(sim.c_str(), 0755);
    const std::string longValue = "1." + std::string(130, '0');
    const std::string longWord(240, 'x');
    struct Case {
        std::string command, expect;
    };
    const Case cases[] = {
        {"run --sim " + sim + " --experiments 0 --sim-arg=-Of:ram_size:" + longValue,
         "characters; the simulator takes at most 128 per option"},
        {"run --sim " + sim + " --experiments 0 --sim-arg=-t --sim-arg=" + longWord,
         "bytes, more than the 255 a file name may have"},
        {"plan --sim " + sim + " --experiments 0 --out " + (dir / "plan") + " --sim-arg=-t --sim-arg=" + longWord,
         "bytes, more than the 255 a file name may have"},
    };
    for (const Case& c : cases) {
        const auto r = RunShell(Simmgr() + " " + c.command + " --reps 10 --block-size 10", dir);
        EXPECT_EQ(r.status, 2) << c.command;
        EXPECT_NE(r.err.find(c.expect), std::string::npos) << c.command << ": " << r.err;
        EXPECT_NE(access((dir / "started").c_str(), F_OK), 0) << c.command << ": a simulator started";
        EXPECT_NE(access((dir / "plan").c_str(), F_OK), 0) << c.command << ": a plan was written";
    }
    // The value of a bare option is taken whole by the simulator, so it may be longer.
    const auto r = RunShell(Simmgr() + " run --sim " + sim + " --experiments 0 --reps 10 --block-size 10 "
                            "--sim-arg=-t --sim-arg=" + std::string(129, 'y'), dir);
    EXPECT_EQ(r.status, 0) << r.err;
}

// A simulator that died after announcing its port leaves the port to the
// next simulator started; the manager must not take that one's connection.
TEST(FakeSimulatorRun, ADeadSimulatorsPortIsNeverConnected) {
    ScratchDir dir;
    const std::string foreign = dir / "foreign.out";
    const std::string cmd = FakeSim() + " -w -p 23000 > " + foreign + " & other=$!; " +
                            "until grep -q REGISTER " + foreign + "; do sleep 0.05; done; " +
                            "port=$(sed -n 's/^REGISTER:  Port: \\[\\([0-9]*\\)\\]$/\\1/p' " + foreign + "); " +
                            "FAKE_SIM_MODE=orphan " + FakeRun("--experiments 0 --reps 100 --block-size 100") +
                            " --port $port; status=$?; kill $other; exit $status";
    const auto r = RunShell(cmd, dir);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("exited before greeting the manager"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("greeted with process id"), std::string::npos) << "took another simulator's link: " << r.err;
}

// Blocks the manager stops itself (here on an interrupt) are not failures,
// whatever goes wrong with them afterwards.
TEST(FakeSimulatorRun, ACancelledBlockNeverFailsItsExperiment) {
    ScratchDir dir;
    // Deaf to SIGTERM and never registering: the start limit ends it after
    // the interrupt has cancelled it.
    const auto r = RunShell("FAKE_SIM_MODE=silent FAKE_SIM_IGNORE_TERM=1 " +
                                FakeRun("--experiments 0 --start-timeout 2 --json " + (dir / "p.json")) +
                                " & pid=$!; sleep 0.5; kill -INT $pid; wait $pid",
                            dir);
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(r.err.find("failed"), std::string::npos) << r.err;
    EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "p.json"))["experiments"][0]["status"], "partial");
}

TEST(FakeSimulatorRun, AStoreNamedLikeAnOptionIsPassedAsAPath) {
    ScratchDir dir;
    const auto r = RunShell("cd '" + dir.Path() + "' && " +
                                FakeRun("--experiments 0 --reps 200 --block-size 100 --store=-st"),
                            dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / ("-st/" + FakeBlock("e0_b1_s31424_n100.bin"))).size() > 256, true) << r.err;
}

// Each simulator holds three of the manager's descriptors.
TEST(FakeSimulatorRun, TheDescriptorLimitIsRaisedOrTheJobsRefused) {
    ScratchDir dir;
    const std::string study = "--experiments 0-8 --jobs 16 --reps 400 --block-size 100 --report-size 50";
    auto r = RunShell("ulimit -n 30 && " + FakeRun(study), dir);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("--jobs 16 needs"), std::string::npos) << r.err;
    r = RunShell("ulimit -Sn 30 && " + FakeRun(study), dir);
    EXPECT_EQ(r.status, 0) << "the soft limit is raised: " << r.err;
}

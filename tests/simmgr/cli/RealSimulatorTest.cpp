// The manager against the real simulator: the protocol at the byte level
// (greeting, query, quit, observations equal to the ASCII file of the same
// run), a full run through simmgr, and the same answers however it is run.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "simmgr/testing/TestSupport.h"
#include "simmgr/run/SimProcess.h"

namespace {

#define REQUIRE_REAL_SIMULATOR()                                         \
    if (RealSim().empty()) GTEST_SKIP() << "basic_model_sim is not built"

// Drives one process until it has exited, calling onStep after each poll.
template <typename Step>
void Drive(SimProcess& p, Step onStep, double timeoutSeconds = 120) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (p.phase != SimProcess::Phase::Exited && std::chrono::steady_clock::now() < deadline) {
        pollfd fds[3];
        nfds_t n = 0;
        for (int fd : {p.StdoutFd(), p.StderrFd(), p.SocketFd()})
            if (fd >= 0) fds[n++] = {fd, POLLIN, 0};
        poll(fds, n, 20);
        p.ReadStdout();
        p.ReadStderr();
        p.TryConnect();
        p.ReadSocket();
        onStep(p);
        p.Reap();
    }
}

}  // namespace

TEST(RealSimulator, ObservationsOnTheWireEqualTheAsciiFile) {
    REQUIRE_REAL_SIMULATOR();
    ScratchDir dir;
    SimProcess p(2, 5, 40, 3);
    std::string err;
    ASSERT_TRUE(p.Start(RealSim(), {"-w", "-e", "2", "-c", "5", "-n", "7", "-N", "40", "-s", "777", "-a", dir / "a.txt"},
                        err))
        << err;
    bool queried = false;
    Drive(p, [&](SimProcess& s) {
        if (!queried && s.phase == SimProcess::Phase::Running) queried = s.SendCommand(1);
    });
    ASSERT_EQ(p.phase, SimProcess::Phase::Exited);
    EXPECT_TRUE(p.greeted);
    EXPECT_TRUE(queried);
    EXPECT_EQ(p.queriesOutstanding, 0) << "the query was answered";
    EXPECT_EQ(p.ExitProblem(), "") << p.ErrorTail();
    EXPECT_EQ(p.received.replications, 40);
    EXPECT_GE(p.cpuSeconds, 0.0);
    std::map<std::pair<int, int>, AsciiCell> ascii;
    AddAsciiFile(dir / "a.txt", 2, ascii);
    ASSERT_EQ(ascii.size(), 3u);
    for (const auto& [key, cell] : ascii) {
        const RunningStats& s = p.received.stats.at(key.second);
        EXPECT_EQ(s.Count(), cell.n);
        EXPECT_DOUBLE_EQ(s.Mean() * s.Count(), cell.sum) << "variable " << key.second;
        EXPECT_TRUE(s.AllBinary());
    }
}

TEST(RealSimulator, QuitStopsAnUnboundedRunWithItsReply) {
    REQUIRE_REAL_SIMULATOR();
    SimProcess p(0, 9, 0, 3);
    std::string err;
    ASSERT_TRUE(p.Start(RealSim(), {"-w", "-e", "0", "-c", "9", "-n", "20"}, err)) << err;
    Drive(p, [](SimProcess& s) {
        if (!s.quitSent && s.received.replications > 0) s.SendCommand(2);
    });
    ASSERT_EQ(p.phase, SimProcess::Phase::Exited);
    EXPECT_TRUE(p.quitAcknowledged);
    EXPECT_TRUE(p.exitedNormally);
    EXPECT_EQ(p.exitCode, 0);
    EXPECT_EQ(p.ExitProblem(), "");
    EXPECT_EQ(p.received.replications % 20, 0) << "only whole reports arrive";
}

TEST(RealSimulator, SimmgrRunsTheStudyAndStopsByPrecision) {
    REQUIRE_REAL_SIMULATOR();
    ScratchDir dir;
    auto r = RunShell(Simmgr() + " run --experiments 0,8 --reps 300 --report-size 50 --csv " + (dir / "f.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Experiment 9 (-e 8)  flash_size=64  power_cycle_rate=8  ram_size=128"), std::string::npos)
        << r.out;
    auto rows = ParseCsv(ReadFile(dir / "f.csv"));
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].at("variable"), "reliability");
    EXPECT_EQ(rows[0].at("time"), "30");
    EXPECT_EQ(rows[2].at("time"), "365");
    EXPECT_EQ(rows[5].at("power_cycle_rate"), "8");
    for (const CsvRow& row : rows) EXPECT_EQ(row.at("n"), "300");

    r = RunShell(Simmgr() + " run --experiments 8 --rel-precision 0.3 --min-reps 100 --report-size 50 --csv " +
                     (dir / "p.csv"),
                 dir);
    ASSERT_EQ(r.status, 0) << r.err;
    rows = ParseCsv(ReadFile(dir / "p.csv"));
    ASSERT_EQ(rows.size(), 3u);
    for (const CsvRow& row : rows) {
        EXPECT_EQ(row.at("status"), "converged");
        EXPECT_LE(std::stod(row.at("half_width")) / std::stod(row.at("mean")), 0.3);
    }
}

namespace {

// The answers a command published: its table, CSV and JSON, without the CPU
// figures (they measure the machine, not the study).
struct Answers {
    std::string table, csv;
    nlohmann::json json;
};

Answers Published(const CommandResult& r, const ScratchDir& dir) {
    Answers a{r.out, ReadFile(dir / "a.csv"), nlohmann::json::parse(ReadFile(dir / "a.json"))};
    for (auto& e : a.json["experiments"]) e.erase("simulator_cpu_seconds");
    return a;
}

void ExpectSameAnswers(const Answers& a, const Answers& b, const std::string& how) {
    EXPECT_EQ(a.table, b.table) << how;
    EXPECT_EQ(a.csv, b.csv) << how;
    EXPECT_EQ(a.json, b.json) << how;
}

}  // namespace

// The study's answer depends only on its options: not on the number of jobs,
// not on a rerun from the store, not on running the blocks elsewhere.
TEST(RealSimulator, TheAnswerIsTheSameFromAnyJobsRerunOrCluster) {
    REQUIRE_REAL_SIMULATOR();
    ScratchDir dir;
    const std::string study = " --experiments 0,4,8 --block-size 200 --rel-precision 0.3 --min-reps 200 "
                              "--max-reps 4000 --seed 4242";
    const std::string outputs = " --csv " + (dir / "a.csv") + " --json " + (dir / "a.json");
    auto run = [&](const std::string& args) {
        const auto r = RunShell(Simmgr() + " run" + study + outputs + args, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        return r;
    };
    const CommandResult first = run(" --jobs 1");
    const Answers reference = Published(first, dir);
    ASSERT_EQ(reference.json["experiments"].size(), 3u);
    EXPECT_EQ(reference.json["experiments"][0]["status"], "capped");
    EXPECT_EQ(reference.json["experiments"][2]["status"], "converged");
    for (const char* jobs : {" --jobs 2", " --jobs 3"}) ExpectSameAnswers(reference, Published(run(jobs), dir), jobs);

    const std::string store = " --store " + (dir / "store");
    ExpectSameAnswers(reference, Published(run(" --jobs 2" + store), dir), "into the store");
    const CommandResult rerun = run(" --jobs 3" + store);
    ExpectSameAnswers(reference, Published(rerun, dir), "rerun from the store");
    EXPECT_NE(rerun.err.find(" 0 run here"), std::string::npos) << rerun.err;

    const std::string plan = dir / "plan";
    auto r = RunShell(Simmgr() + " plan --sim " + RealSim() + study + " --out " + plan, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell("parallel --will-cite --jobs 2 < " + plan + "/jobs.txt", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell(Simmgr() + " merge --store " + plan + study + outputs, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectSameAnswers(reference, Published(r, dir), "plan, parallel, merge");

    // A tighter precision starts from every block already stored.
    r = RunShell("ls " + (dir / "store") + " | wc -l", dir);
    const int stored = std::stoi(r.out);
    r = RunShell(Simmgr() + " run" + study + store + " --rel-precision 0.2", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(" " + std::to_string(stored) + " reused from the store"), std::string::npos) << r.err;
}

// Every block's simulator starts on the same first port; the ports its
// predecessors used must be free again at once, or a study of small blocks
// runs out of them (65000 leaves 535).
TEST(RealSimulator, SmallBlocksDoNotRunOutOfPorts) {
    REQUIRE_REAL_SIMULATOR();
    ScratchDir dir;
    const auto r = RunShell(Simmgr() + " run --sim " + RealSim() +
                                " --experiments 0 --jobs 2 --reps 600 --block-size 1 --report-size 1 --port 65000",
                            dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("600 run here"), std::string::npos) << r.err;
}

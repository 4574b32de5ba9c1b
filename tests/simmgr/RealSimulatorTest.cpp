// The manager against the real simulator: the protocol at the byte level
// (greeting, query, quit, observations equal to the ASCII file of the same
// run), a full run through simmgr, and plan / parallel / merge.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "simmgr/SimProcess.h"

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
    EXPECT_EQ(p.replicationsReceived, 40);
    EXPECT_GE(p.cpuSeconds, 0.0);
    std::map<std::pair<int, int>, AsciiCell> ascii;
    AddAsciiFile(dir / "a.txt", 2, ascii);
    ASSERT_EQ(ascii.size(), 3u);
    for (const auto& [key, cell] : ascii) {
        const RunningStats& s = p.stats.at(key.second);
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
        if (!s.quitSent && s.replicationsReceived > 0) s.SendCommand(2);
    });
    ASSERT_EQ(p.phase, SimProcess::Phase::Exited);
    EXPECT_TRUE(p.quitAcknowledged);
    EXPECT_TRUE(p.exitedNormally);
    EXPECT_EQ(p.exitCode, 0);
    EXPECT_EQ(p.ExitProblem(), "");
    EXPECT_EQ(p.replicationsReceived % 20, 0) << "only whole reports arrive";
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

TEST(RealSimulator, PlanThroughParallelMergesToTheAsciiFiles) {
    REQUIRE_REAL_SIMULATOR();
    ScratchDir dir;
    const std::string plan = dir / "plan";
    auto r = RunShell(Simmgr() + " plan --sim " + RealSim() + " --experiments 1,5 --jobs-per-exp 2 --reps 150 " +
                          "--report-size 40 --ascii --out " + plan,
                      dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell("parallel --will-cite --jobs 2 < " + plan + "/jobs.txt", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunShell(Simmgr() + " merge " + plan + "/*.bin --csv " + (dir / "m.csv"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::pair<int, int>, AsciiCell> ascii;
    for (int j = 0; j < 4; ++j) {
        const int e = j < 2 ? 1 : 5;
        AddAsciiFile(plan + "/e" + std::to_string(e) + "_j" + std::to_string(j) + ".txt", e, ascii);
    }
    const auto rows = ParseCsv(ReadFile(dir / "m.csv"));
    ASSERT_EQ(rows.size(), 6u);
    for (const CsvRow& row : rows) {
        const AsciiCell& cell = ascii.at({std::stoi(row.at("experiment")), std::stoi(row.at("variable_index"))});
        EXPECT_EQ(cell.n, 300);
        EXPECT_EQ(std::stoi(row.at("n")), cell.n);
        EXPECT_NEAR(std::stod(row.at("mean")), cell.sum / cell.n, 1e-12);
    }
}

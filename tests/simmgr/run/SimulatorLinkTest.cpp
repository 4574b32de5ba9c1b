// The manager's side of the link against stand-in simulators that are slow
// or unwilling to take the connection, run in process so that the limits
// can be set in fractions of a minute.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <utility>

#include "simmgr/blocks/BlockStore.h"
#include "simmgr/run/RunManager.h"
#include "simmgr/testing/TestSupport.h"

namespace {

// An environment setting for the simulators launched while it lives.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value) : name(std::move(name)) {
        setenv(this->name.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() { unsetenv(name.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name;
};

// One experiment of one block of 100 replications on the stand-in, with
// the given limits.
ExperimentResult RunOneBlock(const WatchdogLimits& limits) {
    StudyCatalog catalog;
    catalog.variables.resize(3);
    RunOptions options;
    options.simulator = FakeSim();
    options.experiments = {0};
    options.jobs = 1;
    options.layout.blockSize = 100;
    options.layout.maxReps = 100;
    options.reportSize = 50;
    options.fixedReps = true;
    options.watchdog = limits;
    std::string error;
    std::optional<BlockStore> store = BlockStore::Open("", error);
    EXPECT_TRUE(store) << error;
    RunManager manager(options, catalog, *store);
    return manager.Run().results.at(0);
}

}  // namespace

// The start limit covers launch to registration; the connect limit counts
// from registration, so a simulator slow to start is not blamed for it twice.
TEST(SimulatorLink, ALateRegistrationGetsTheWholeConnectLimit) {
    // Registers after 1.5 s, and listens 50 ms after announcing its port.
    ScopedEnv late("FAKE_SIM_REGISTER_MS", "1500"), refuse("FAKE_SIM_MODE", "refuse"), brief("FAKE_SIM_REFUSE_MS", "50");
    WatchdogLimits limits;
    limits.start = 10;
    limits.connect = 1;
    const ExperimentResult r = RunOneBlock(limits);
    EXPECT_EQ(r.status, ExperimentStatus::Finished) << r.message;
    EXPECT_EQ(r.MinCount(), 100);
}

// A refused connection fails at once; the manager must wait between
// attempts instead of spinning (and taking the CPU from the simulator).
TEST(SimulatorLink, ARefusingPortIsRetriedWithBackOff) {
    ScopedEnv env("FAKE_SIM_MODE", "refuse");
    WatchdogLimits limits;
    limits.connect = 1.5;
    const ExperimentResult r = RunOneBlock(limits);
    ASSERT_EQ(r.status, ExperimentStatus::Failed);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.message, m, std::regex("refused the connection \\(([0-9]+) attempts\\)"))) << r.message;
    EXPECT_LE(std::stoi(m[1]), 40) << "about 10 attempts a second at most once backed off";
    EXPECT_GE(std::stoi(m[1]), 5) << "retried, not given up after one refusal";

    // Refusing for a while, then listening, costs nothing but the wait.
    ScopedEnv late("FAKE_SIM_REFUSE_MS", "700");
    const ExperimentResult ok = RunOneBlock(limits);
    EXPECT_EQ(ok.status, ExperimentStatus::Finished) << ok.message;
}

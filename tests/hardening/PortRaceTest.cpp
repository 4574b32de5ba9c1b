// Simulators started at the same moment with the same first port: each must
// end up listening on a port of its own and greet only its own manager.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "ChildProcess.h"
#include "ManagerClient.h"
#include "RunSupport.h"

namespace {

using namespace hardening;

TEST(PortRaceTest, SimulatorsStartedTogetherEachGetTheirOwnPort) {
  constexpr int kSimulators = 3;
  // A first port away from the default range other runs on this machine use.
  std::random_device entropy;
  const int firstPort = 20000 + static_cast<int>(entropy() % 30000);
  std::vector<std::unique_ptr<ScratchDirectory>> dirs;
  std::vector<std::unique_ptr<ChildProcess>> sims;
  for (int i = 0; i < kSimulators; ++i) {
    dirs.push_back(std::make_unique<ScratchDirectory>());
    sims.push_back(std::make_unique<ChildProcess>(
        ChildProcess::SimulatorPath(),
        std::vector<std::string>{"-w", "-p", std::to_string(firstPort), "-n", "1", "-N", "3"},
        dirs.back()->Path()));
  }
  std::set<int> ports;
  for (auto& sim : sims) {
    const int port = sim->WaitForRegisteredPort(kStartTimeout);
    ASSERT_GE(port, firstPort) << Console(*sim);
    ports.insert(port);
  }
  ASSERT_EQ(ports.size(), static_cast<size_t>(kSimulators));

  // The greeting carries the process id: the port announced by a simulator
  // leads to that simulator.
  for (auto& sim : sims) {
    const int port = sim->WaitForRegisteredPort(1s);
    ManagerClient manager;
    ASSERT_TRUE(manager.Connect(port));
    auto greeting = manager.ReadMessage(kStartTimeout);
    ASSERT_TRUE(greeting);
    ASSERT_EQ(greeting->size(), 10u);
    EXPECT_EQ(static_cast<unsigned char>((*greeting)[4]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>((*greeting)[5]), 0x01);
    EXPECT_EQ(static_cast<pid_t>(ReadBigEndian32(*greeting, 6)), sim->Pid());
    std::string rest;
    EXPECT_TRUE(manager.ReadUntilClosed(rest, kStopTimeout)) << Console(*sim);
    const auto ending = sim->WaitForExit(kStopTimeout);
    ASSERT_TRUE(ending && ending->exited);
    EXPECT_EQ(ending->status, 0);
  }
}

}  // namespace

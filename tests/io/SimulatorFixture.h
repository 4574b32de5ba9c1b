// A simulator with field defaults only (no options, no model), set up for
// exercising its reporting and manager-link operations, plus helpers for
// files written by them.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "io/DataPacket.h"
#include "simulator/SimulatorClass.h"

class SimulatorFixture : public testing::Test {
 protected:
  SimulatorFixture() : sim(std::make_unique<SimulatorClass>(SimulatorClass::FieldsOnly{})) {
    sim->numPVs = 2;
    sim->reportSize = 3;
    sim->clientID = 5;
    sim->experiment = 1;
    sim->selectTimeoutMs = 20;
  }

  // A path in the test's scratch directory, unique to this test.
  static std::string ScratchPath(const std::string& leaf) {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    return testing::TempDir() + "io_" + info->test_suite_name() + "_" + info->name() + "_" + leaf;
  }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static char* CopyName(const std::string& name) {
    char* copy = new char[name.size() + 1];
    name.copy(copy, name.size());
    copy[name.size()] = '\0';
    return copy;
  }

  // Fills the current pair as a simulation loop does: count observations
  // of variable 0 with values first, first + 1, …; squares in the other.
  void FillPair(int count, double first) {
    if (sim->valuePacket == nullptr) sim->valuePacket = sim->CreateDataPacket(sim->numPVs);
    if (sim->squaredPacket == nullptr) sim->squaredPacket = sim->CreateDataPacket(sim->numPVs);
    for (int j = 0; j < count; ++j) {
      sim->valuePacket->values[0][static_cast<size_t>(j)] = first + j;
      sim->squaredPacket->values[0][static_cast<size_t>(j)] = (first + j) * (first + j);
    }
    sim->valuePacket->counts = {count, 0};
    sim->squaredPacket->counts = {count, 0};
  }

  std::unique_ptr<SimulatorClass> sim;
};

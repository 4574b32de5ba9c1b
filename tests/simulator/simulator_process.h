// A fixture for tests that run the simulator executable as a user would: each
// test gets a directory of its own (removed afterwards), runs the simulator
// there with its standard output and error captured, and reads the files the
// run wrote.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace simulator_process {

namespace fs = std::filesystem;

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

class SimulatorProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("sim_run_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
  }

  // Runs the simulator in the test's directory; `environment` is prefixed to
  // the command (for example "SIMTEST=3").
  RunResult Run(const std::string& arguments, const std::string& environment = "") {
    const std::string command = "cd '" + dir.string() + "' && " + environment + " '" +
                                std::string(SAN_TEST_BIN_DIR) + "/basic_model_sim' " + arguments +
                                " > out.txt 2> err.txt";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir / "out.txt"), ReadFile(dir / "err.txt")};
  }

  fs::path dir;
};

}  // namespace simulator_process

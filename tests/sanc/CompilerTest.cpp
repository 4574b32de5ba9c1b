// sanc as a program: its exit statuses, its messages, and the files it
// writes (rewritten only when their content changes, so a build recompiles
// only what a change of the model touched).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "ModelText.h"

namespace {

namespace fs = std::filesystem;

class CompilerTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("sanc_compiler_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void WriteModel(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }
  // Runs sanc in the scratch directory; returns its exit status.
  int Sanc(const std::string& arguments) {
    const std::string command = "cd '" + dir_.string() + "' && '" + SAN_TEST_BIN_DIR + "/sanc' " + arguments + " 2> err.txt";
    const int status = std::system(command.c_str());
    std::ifstream in(dir_ / "err.txt");
    err_.assign(std::istreambuf_iterator<char>(in), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path dir_;
  std::string err_;
};

}  // namespace

TEST_F(CompilerTest, WritesEveryClassAndRewritesOnlyWhatChanged) {
  WriteModel("m.san", sanc_test::kSmallModel);
  ASSERT_EQ(Sanc("m.san -o out --unity out/all.cpp"), 0) << err_;
  for (const char* file : {"machineSAN.h", "machineSAN.cpp", "spareSAN.cpp", "plantRJ.cpp", "rPVModel.cpp", "rPV0.cpp",
                           "sRangeStudy.cpp", "GlobalVariables.h", "all.cpp"})
    EXPECT_TRUE(fs::exists(dir_ / "out" / file)) << file;
  std::ifstream unity(dir_ / "out" / "all.cpp");
  const std::string all((std::istreambuf_iterator<char>(unity)), {});
  EXPECT_NE(all.find("#include \"model/machineSAN.cpp\"\n"), std::string::npos);
  EXPECT_EQ(all.find(".h\""), std::string::npos);  // sources only

  const auto machine = fs::last_write_time(dir_ / "out" / "machineSAN.cpp");
  const auto study = fs::last_write_time(dir_ / "out" / "sRangeStudy.cpp");
  WriteModel("m.san", sanc_test::Edited("experiment big set size = 256", "experiment big set size = 512"));
  ::sleep(1);  // file times of one second apart at worst
  ASSERT_EQ(Sanc("m.san -o out"), 0) << err_;
  EXPECT_EQ(fs::last_write_time(dir_ / "out" / "machineSAN.cpp"), machine);
  EXPECT_NE(fs::last_write_time(dir_ / "out" / "sRangeStudy.cpp"), study);
}

TEST_F(CompilerTest, MistakesAndBadCommandLinesHaveTheirStatus) {
  WriteModel("bad.san", sanc_test::Edited("output arc broken", "output arc brokn"));
  EXPECT_EQ(Sanc("bad.san -o out"), 1);
  EXPECT_EQ(err_.rfind("bad.san:13:18: unknown place 'brokn'", 0), 0u) << err_;
  EXPECT_FALSE(fs::exists(dir_ / "out"));  // nothing is written for a refused model
  EXPECT_EQ(Sanc("missing.san -o out"), 2);
  EXPECT_EQ(err_, "sanc: cannot read missing.san\n");
  EXPECT_EQ(Sanc("bad.san"), 2);
  EXPECT_NE(err_.find("usage: sanc MODEL.san -o DIR"), std::string::npos);
  EXPECT_EQ(Sanc("bad.san -o out --frobnicate"), 2);
  EXPECT_NE(err_.find("unexpected argument '--frobnicate'"), std::string::npos);
}

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "BaseClasses/state/Place.h"
#include "model/basic_modelRJ.h"
#include "model/basic_rewardPVModel.h"
#include "trace/TraceFileContainer.h"
#include "trace/TraceFileTarvek.h"

namespace {

const std::string kBanner(38, '*');

std::string id(const BaseModelClass* m) { return "(" + std::to_string(m->modelId) + ")"; }

class TarvekTraceTest : public ::testing::Test {
 protected:
  basic_rewardPVModel rewardModel{true};
  basic_modelRJ* join = static_cast<basic_modelRJ*>(rewardModel.TopModel);
  std::ostringstream out;
  TraceFileTarvek writer{&out};
};

TEST_F(TarvekTraceTest, HeaderThenOneLinePerBatchThroughTheContainer) {
  TraceFileContainer container;
  container.addPVModel(&rewardModel);
  container.AddTraceFile(&writer);
  container.printHeader();
  container.newBatch();
  container.newBatch();
  container.printFooter();
  container.printf(1, "ignored %d", 1);
  EXPECT_EQ(out.str(), kBanner + "\n\t\tTRACE\n" + kBanner +
                           "\n##### NEW BATCH #####\n##### NEW BATCH #####\n");
}

TEST_F(TarvekTraceTest, ModelBlockListsEveryModelAndItsPlaces) {
  join->ram_system->system_failed->setMark(1);
  writer.printInitialState(join);
  const std::string expected = "Initial Model State:\n"
                               "  Model: " + id(join) + "Join1\n"
                               "  Model: " + id(join->flash_system) + "flash_system\n"
                               "    flash_corrupted = 0\n"
                               "    flash_working = 1\n"
                               "  Model: " + id(join->ram_system) + "ram_system\n"
                               "    flash_corrupted = 0\n"
                               "    ram_working = 1\n"
                               "    ram_corrupted = 0\n"
                               "    system_failed = 1\n";
  EXPECT_EQ(out.str(), expected);
  out.str("");
  writer.printState(static_cast<PVModel*>(&rewardModel));
  EXPECT_EQ(out.str(), "Model State:\n" + expected.substr(std::string("Initial Model State:\n").size()));
}

TEST_F(TarvekTraceTest, FiringLinesAtLevelOne) {
  BaseActionClass* sefi = join->flash_system->sefi;
  writer.printFireAction(sefi, 12.345678);
  writer.printPreFireAction(sefi);
  writer.printPostFireAction(sefi, sefi);
  const std::string flash = id(join->flash_system);
  EXPECT_EQ(out.str(), "#### Firing: 12.3457  Action: " + flash + "flash_system->sefi\n"
                       "#### After: " + flash + "sefi->sefi\n");
}

TEST_F(TarvekTraceTest, LevelTwoAddsEnablingAndAffectedState) {
  writer.setTraceLevel(2);
  BaseActionClass* sefi = join->flash_system->sefi;
  writer.printPreFireAction(sefi);
  writer.printPostFireAction(sefi, sefi);
  const std::string flash = id(join->flash_system);
  EXPECT_EQ(out.str(), "Enabling state before action firing:\n"
                       "  flash_working = 1\n"
                       "#### After: " + flash + "sefi->sefi\n"
                       "Affected state after firing: \n"
                       "  flash_working = 1\n"
                       "  flash_corrupted = 0\n");
}

TEST_F(TarvekTraceTest, LevelZeroWritesNoFiringLines) {
  writer.setTraceLevel(0);
  BaseActionClass* sefi = join->flash_system->sefi;
  writer.printFireAction(sefi, 1.0);
  writer.printPostFireAction(sefi, sefi);
  // Actions without a model cannot be described; nothing is written.
  writer.setTraceLevel(2);
  BaseActionClass loose;
  writer.printFireAction(&loose, 1.0);
  writer.printPostFireAction(&loose, nullptr);
  EXPECT_EQ(out.str(), "");
}

TEST(TarvekTrace, QualifiedNamesCarryThePrefix) {
  Place memory("memory", 7);
  EXPECT_EQ(TraceFile::qualifiedName(&memory), "memory");
  memory.SetPrefix("ram_system");
  EXPECT_EQ(TraceFile::qualifiedName(&memory), "ram_system.memory");

  BaseActionClass action;
  action.addEnablingSV(&memory);
  std::ostringstream out;
  TraceFileTarvek writer(&out);
  writer.setTraceLevel(2);
  writer.printPreFireAction(&action);
  EXPECT_EQ(out.str(), "Enabling state before action firing:\n  ram_system.memory = 7\n");
}

TEST(TarvekTrace, FileWriterOwnsAndFlushesItsFile) {
  const std::string path = ::testing::TempDir() + "tarvek_trace_test.txt";
  {
    TraceFileTarvek writer(path.c_str());
    writer.newBatch();
    std::ifstream early(path);  // each line is flushed as written
    std::string line;
    std::getline(early, line);
    EXPECT_EQ(line, "##### NEW BATCH #####");
  }
  std::remove(path.c_str());
  // A file that cannot be opened is silently a writer that writes nothing.
  TraceFileTarvek broken("/nonexistent-dir/trace.txt");
  broken.newBatch();
}

}  // namespace

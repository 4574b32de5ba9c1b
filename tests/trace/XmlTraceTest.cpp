#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "model/basic_modelRJ.h"
#include "model/basic_rewardPVModel.h"
#include "trace/TraceFileContainer.h"
#include "trace/TraceFileXML.h"

namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string p(const BaseModelClass* m) { return "p" + std::to_string(m->modelId); }
std::string a(const BaseActionClass* action) { return "a" + std::to_string(action->actionId); }

// The block of lines from the one equal to `first` up to and including the
// next one equal to `last`.
std::vector<std::string> block(const std::vector<std::string>& lines, const std::string& first,
                               const std::string& last) {
  std::vector<std::string> result;
  bool inside = false;
  for (const std::string& line : lines) {
    if (line == first) inside = true;
    if (inside) result.push_back(line);
    if (inside && line == last) break;
  }
  return result;
}

class XmlTraceTest : public ::testing::Test {
 protected:
  basic_rewardPVModel rewardModel{true};
  basic_modelRJ* join = static_cast<basic_modelRJ*>(rewardModel.TopModel);
  flash_systemSAN* flash = join->flash_system;
  ram_systemSAN* ram = join->ram_system;
  std::ostringstream out;
  TraceFileXML writer{&out};

  // A run's trace: header, the first replication's body, then closing.
  void writeRun() {
    TraceFileContainer container;
    container.addPVModel(&rewardModel);
    container.AddTraceFile(&writer);
    container.printHeader();
    container.newBatch();
    container.printInitialState();
    container.printFireAction(flash->sefi, 4.25);
    container.printPostFireAction(flash->sefi, flash->sefi);
    container.printFireAction(ram->random_failure, 7.5);
    container.printPostFireAction(ram->random_failure, ram->random_failure);
    container.newBatch();
    container.printInitialState();
    container.printPostFireAction(flash->sefi, flash->sefi);
    container.newBatch();
    container.printFooter();
  }
};

TEST_F(XmlTraceTest, JoinIsDeclaredFirstWithTheSharedPlaceOnly) {
  writeRun();
  const auto lines = linesOf(out.str());
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0], "<?xml version=\"1.0\" encoding=\"utf-8\" ?>");
  EXPECT_EQ(lines[1], "<!DOCTYPE Trace");
  EXPECT_EQ(lines[2], "  SYSTEM \"san_trace.dtd\">");
  EXPECT_EQ(lines[3], "<Trace model=\"Example_Tarvek\" generator=\"manually_generated\" >");
  EXPECT_EQ(lines[7], "<Process id=\"" + p(join) + "\" name=\"Join1\" >");
  EXPECT_EQ(lines[8], "<Var id=\"" + p(join) + "flash_corrupted\" name=\"flash_corrupted\" />");
  EXPECT_EQ(lines[9], "</Process>");
}

TEST_F(XmlTraceTest, AtomicProcessesLeaveOutSharedPlaceAndItsWriters) {
  writeRun();
  const auto lines = linesOf(out.str());
  const std::string flashOpen = "<Process id=\"" + p(flash) + "\" name=\"flash_system" +
                                std::to_string(flash->modelId) + "\" >";
  const std::vector<std::string> flashProcess = {
      flashOpen,
      "<Action id=\"" + a(flash->seu_case1) + "\" name=\"seu_case1\" />",
      "<Var id=\"" + p(flash) + "flash_working\" name=\"flash_working\" />",
      "</Process>"};
  EXPECT_EQ(block(lines, flashOpen, "</Process>"), flashProcess);

  const std::string ramOpen = "<Process id=\"" + p(ram) + "\" name=\"ram_system" +
                              std::to_string(ram->modelId) + "\" >";
  auto ramProcess = block(lines, ramOpen, "</Process>");
  ASSERT_FALSE(ramProcess.empty());
  // Nothing in the memory model writes the shared place: all seven actions
  // are its own; its three unshared places are declared.
  int actions = 0;
  for (const std::string& line : ramProcess) {
    if (line.rfind("<Action ", 0) == 0) ++actions;
    EXPECT_EQ(line.find("flash_corrupted"), std::string::npos) << line;
  }
  EXPECT_EQ(actions, 7);
  EXPECT_EQ(ramProcess[ramProcess.size() - 2],
            "<Var id=\"" + p(ram) + "system_failed\" name=\"system_failed\" />");
}

TEST_F(XmlTraceTest, InteractionsTouchTheSharingProcessThenTheActor) {
  writeRun();
  const auto lines = linesOf(out.str());
  auto interactions = block(lines, "<Interactions>", "</Interactions>");
  std::vector<std::string> expected = {"<Interactions>"};
  for (const Activity* action : {static_cast<Activity*>(flash->seu_case2),
                                 static_cast<Activity*>(flash->sefi),
                                 static_cast<Activity*>(flash->power_cycle)}) {
    expected.push_back("<Undiraction id=\"" + a(action) + "\" name=\"" + action->name + "\">");
    expected.push_back("<Touch>" + p(join) + "</Touch>");
    expected.push_back("<Touch>" + p(flash) + "</Touch>");
    expected.push_back("</Undiraction>");
  }
  expected.push_back("</Interactions>");
  EXPECT_EQ(interactions, expected);
}

TEST_F(XmlTraceTest, BodyCoversTheFirstReplicationOnly) {
  writeRun();
  const auto lines = linesOf(out.str());
  auto body = block(lines, "<Sequence type=\"StateActionType\">", "</Trace>");
  const std::vector<std::string> expected = {
      "<Sequence type=\"StateActionType\">",
      "<S>",
      "<V id=\"" + p(join) + "flash_corrupted\" val=\"0\" />",
      "<V id=\"" + p(flash) + "flash_working\" val=\"1\" />",
      "<V id=\"" + p(ram) + "ram_working\" val=\"1\" />",
      "<V id=\"" + p(ram) + "ram_corrupted\" val=\"0\" />",
      "<V id=\"" + p(ram) + "system_failed\" val=\"0\" />",
      "</S>",
      "<A id=\"" + a(flash->sefi) + "\" t=\"4.25\">",
      "  <V id=\"" + p(flash) + "flash_working\"  val=\"1\" />",
      "  <V id=\"" + p(join) + "flash_corrupted\"  val=\"0\" />",
      "</A>",
      "<A id=\"" + a(ram->random_failure) + "\" t=\"7.5\">",
      "  <V id=\"" + p(ram) + "ram_corrupted\"  val=\"0\" />",
      "</A>",
      "</Sequence>",
      "</Trace>"};
  EXPECT_EQ(body, expected);
  EXPECT_EQ(lines.back(), "</Trace>");  // nothing after the document is closed
}

TEST_F(XmlTraceTest, HeaderAfterFirstBatchWritesNothing) {
  writer.newBatch();
  writer.printHeader(&rewardModel);
  EXPECT_EQ(out.str(), "");
  writer.newBatch();
  EXPECT_EQ(out.str(), "</Sequence>\n</Trace>\n");
  writer.newBatch();
  writer.printFooter();
  EXPECT_EQ(out.str(), "</Sequence>\n</Trace>\n");
}

TEST_F(XmlTraceTest, FooterClosesADocumentLeftOpen) {
  writer.printHeader(&rewardModel);
  writer.printHeader(&rewardModel);  // the head is written once
  writer.newBatch();
  writer.printFooter();
  std::string text = out.str();
  EXPECT_EQ(text.find("<?xml"), text.rfind("<?xml"));
  EXPECT_TRUE(text.ends_with("<Sequence type=\"StateActionType\">\n</Sequence>\n</Trace>\n")) << text;
  writer.newBatch();
  writer.printInitialState(join);
  EXPECT_EQ(out.str(), text);
}

TEST(XmlTrace, UsedStateNamesFollowTheDeclaringModels) {
  TraceFileXML writer;
  char name[] = "shared";
  EXPECT_FALSE(writer.inUsedStateName(name));
  EXPECT_TRUE(writer.addUsedStateName(name, 2, 2));
  EXPECT_TRUE(writer.inUsedStateName(name));
  // An inner composer below model 2 does not declare it again ...
  EXPECT_FALSE(writer.addUsedStateName(name, 2, 3));
  // ... but a model outside (numbered below the first declarer) may.
  EXPECT_TRUE(writer.addUsedStateName(name, 1, 1));
  EXPECT_TRUE(writer.addState(name));
  EXPECT_FALSE(writer.addState(name));
  EXPECT_EQ(writer.getModelMap(name, 5), -1);  // declared under no process
}

TEST(XmlTrace, SpecialCharactersInNamesAreEscaped) {
  basic_rewardPVModel rewardModel(false);
  rewardModel.TopModel->DefineName("A&B \"<x>\"");
  std::ostringstream out;
  TraceFileXML writer(&out);
  writer.printHeader(&rewardModel);
  EXPECT_NE(out.str().find("name=\"A&amp;B &quot;&lt;x&gt;&quot;\" >"), std::string::npos);
}

// The trace of this build's model must be well formed and valid against the
// shipped document type definition.
TEST_F(XmlTraceTest, TraceValidatesAgainstTheShippedDtd) {
  if (std::system("command -v xmllint > /dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint missing";
  writeRun();
  // The document names its type by a relative system identifier: the
  // definition is looked up beside the trace.
  const std::string dir = ::testing::TempDir() + "san_trace_xml_test";
  const std::string path = dir + "/trace.xml";
  const std::string dtd = std::string(SAN_SOURCE_DIR) + "/src/trace/" + TraceFileXML::SystemIdentifier;
  ASSERT_EQ(std::system(("mkdir -p '" + dir + "' && cp '" + dtd + "' '" + dir + "/'").c_str()), 0);
  std::ofstream(path) << out.str();
  const std::string command = "xmllint --noout --valid '" + path + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string diagnostics;
  char chunk[256];
  while (fgets(chunk, sizeof chunk, pipe) != nullptr) diagnostics += chunk;
  EXPECT_EQ(pclose(pipe), 0) << diagnostics;
  EXPECT_EQ(diagnostics, "");
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace

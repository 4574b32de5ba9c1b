#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/basic_rewardPVModel.h"
#include "trace/TraceFileContainer.h"

namespace {

// Writes "<tag>:<call>" into a shared log for every call it receives.
class RecordingWriter : public TraceFile {
 public:
  RecordingWriter(std::string tagName, std::vector<std::string>* sharedLog)
      : tag(std::move(tagName)), log(sharedLog) {}
  void printHeader(PVModel* p) override { note("header", p); }
  void printFooter() override { note("footer"); }
  void printInitialState(BaseModelClass* m) override { note("initial", m); }
  void printState(BaseModelClass* m) override { note("state(model)", m); }
  void printState(PVModel* p) override { note("state(pv)", p); }
  void printFireAction(BaseActionClass* a, double t) override {
    note("fire " + std::to_string(t), a);
  }
  void printPreFireAction(BaseActionClass* a) override { note("pre", a); }
  void printPostFireAction(BaseActionClass* a, BaseActionClass* b) override {
    note(std::string("post") + (a == b ? " same" : " other"), a);
  }
  void newBatch() override { note("batch"); }
  void printStr(int level, const char* text) override {
    log->push_back(tag + ":str " + std::to_string(level) + " " + text);
  }

  void note(const std::string& call, const void* arg = nullptr) {
    log->push_back(tag + ":" + call + (arg ? " *" : ""));
  }
  std::string tag;
  std::vector<std::string>* log;
};

class TraceFileContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    container.AddTraceFile(&first);
    container.AddTraceFile(&second);
  }
  std::vector<std::string> log;
  RecordingWriter first{"1", &log};
  RecordingWriter second{"2", &log};
  TraceFileContainer container;
};

TEST_F(TraceFileContainerTest, ForwardsEveryCallInOrderOfAddition) {
  BaseActionClass action;
  container.printFooter();
  container.newBatch();
  container.printFireAction(&action, 2.5);
  container.printPreFireAction(&action);
  container.printPostFireAction(&action, &action);
  container.printStr(3, "text");
  const std::vector<std::string> expected = {
      "1:footer",      "2:footer",      "1:batch", "2:batch", "1:fire 2.500000 *",
      "2:fire 2.500000 *", "1:pre *", "2:pre *", "1:post same *", "2:post same *",
      "1:str 3 text",  "2:str 3 text"};
  EXPECT_EQ(log, expected);
}

TEST_F(TraceFileContainerTest, ModelCallsUseTheRememberedRewardModel) {
  // Without a reward model, the header gets none and no state is asked for.
  container.printHeader();
  container.printInitialState();
  EXPECT_EQ(log, (std::vector<std::string>{"1:header", "2:header"}));
  log.clear();

  basic_rewardPVModel rewardModel(true);
  container.addPVModel(&rewardModel);
  container.printHeader();
  container.printState();
  container.printInitialState();
  EXPECT_EQ(log, (std::vector<std::string>{"1:header *", "2:header *", "1:state(pv) *", "2:state(pv) *",
                                           "1:initial *", "2:initial *"}));
  log.clear();
  // The writer-level forms taking a model are not forwarded.
  container.printHeader(&rewardModel);
  container.printState(&rewardModel);
  container.printState(rewardModel.TopModel);
  container.printInitialState(rewardModel.TopModel);
  EXPECT_TRUE(log.empty());
}

TEST_F(TraceFileContainerTest, PrintfFormatsOnceForAllWriters) {
  container.printf(2, "%s=%d", "count", 42);
  EXPECT_EQ(log, (std::vector<std::string>{"1:str 2 count=42", "2:str 2 count=42"}));
}

TEST_F(TraceFileContainerTest, PrintfKeepsTextLongerThanItsBuffer) {
  const std::string longText(5000, 'x');
  container.printf(1, "<%s>", longText.c_str());
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "1:str 1 <" + longText + ">");
  EXPECT_EQ(log[1], "2:str 1 <" + longText + ">");
  log.clear();
  const std::string edge(1023, 'y');  // exactly fills the fixed buffer
  container.printf(1, "%s", edge.c_str());
  EXPECT_EQ(log[0], "1:str 1 " + edge);
}

TEST_F(TraceFileContainerTest, RemovedWriterIsNoLongerCalled) {
  container.RemoveTraceFile(&first);
  container.newBatch();
  container.RemoveTraceFile(&first);  // unknown now: ignored
  container.newBatch();
  EXPECT_EQ(log, (std::vector<std::string>{"2:batch", "2:batch"}));
}

TEST(TraceFileContainer, WithoutWritersEveryCallIsHarmless) {
  TraceFileContainer container;
  basic_rewardPVModel rewardModel(false);
  container.addPVModel(&rewardModel);
  container.printHeader();
  container.printState();
  container.printInitialState();
  container.newBatch();
  container.printFooter();
  container.printf(1, "%d", 1);
  SUCCEED();
}

TEST(TraceFile, BaseWriterStateGoesToTheRewardedModel) {
  struct StateCatcher : TraceFile {
    void printState(BaseModelClass* m) override { seen = m; }
    using TraceFile::printState;
    BaseModelClass* seen = nullptr;
  } catcher;
  basic_rewardPVModel rewardModel(false);
  catcher.printState(static_cast<PVModel*>(&rewardModel));
  EXPECT_EQ(catcher.seen, rewardModel.TopModel);
}

}  // namespace

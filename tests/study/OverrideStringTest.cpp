#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "study/BaseStudyClass.h"

namespace {

// A study with one variable of each of several types; like a generated study
// it copies as many bytes as the variable's own type has.
class MixedStudy : public BaseStudyClass {
 public:
  MixedStudy() {
    NumGVs = 4;
    NumExps = 1;
    GVNames = {"rate", "count", "precise", "small"};
    GVTypes = {"float", "int", "double", "short"};
  }
  void* GetGVValue(char* name) override {
    if (std::strcmp(name, "rate") == 0) return &rate;
    if (std::strcmp(name, "count") == 0) return &count;
    if (std::strcmp(name, "precise") == 0) return &precise;
    if (std::strcmp(name, "small") == 0) return &small;
    return nullptr;
  }
  void OverrideGVValue(char* name, void* value) override {
    ++calls;
    lastName = name;
    void* target = GetGVValue(name);
    if (target == nullptr) return;
    const std::string type = GVTypes[IndexOf(name)];
    const size_t size = type == "float" ? sizeof(float) : type == "int" ? sizeof(int)
                        : type == "double" ? sizeof(double) : sizeof(short);
    std::memcpy(target, value, size);
  }
  void Apply(const char* text) {
    std::string copy(text);
    overrideGVs(copy.data());
  }

  float rate = 1.0f;
  int count = 1;
  double precise = 1.0;
  short small = 1;
  int calls = 0;
  std::string lastName;

 private:
  int IndexOf(const char* name) const {
    for (int i = 0; i < NumGVs; ++i)
      if (GVNames[i] == name) return i;
    return -1;
  }
};

TEST(OverrideString, MatchingLettersStoreTheValueAsRead) {
  MixedStudy study;
  study.Apply("f:rate:0.5:i:count:0x10:d:precise:2.25:s:small:-7");
  EXPECT_EQ(study.rate, 0.5f);
  EXPECT_EQ(study.count, 16);  // %i reads hexadecimal
  EXPECT_EQ(study.precise, 2.25);
  EXPECT_EQ(study.small, -7);
}

TEST(OverrideString, EmptyFieldsBetweenColonsAreSkipped) {
  MixedStudy study;
  study.Apply("::f::rate:::3.5::");
  EXPECT_EQ(study.rate, 3.5f);
}

TEST(OverrideString, LetterNotMatchingTheTypeConvertsTheNumber) {
  MixedStudy study;
  study.Apply("d:rate:256:f:count:12.75:i:precise:-3:b:small:5");
  EXPECT_EQ(study.rate, 256.0f);
  EXPECT_EQ(study.count, 12);
  EXPECT_EQ(study.precise, -3.0);
  EXPECT_EQ(study.small, 1);  // b reads a flag: non-zero is true
}

TEST(OverrideString, ConversionSaturatesInsteadOfOverflowing) {
  MixedStudy study;
  study.Apply("d:count:1e300:d:small:-1e12");
  EXPECT_EQ(study.count, 2147483647);
  EXPECT_EQ(study.small, -32768);
}

TEST(OverrideString, RepeatedNamesLaterWins) {
  MixedStudy study;
  study.Apply("f:rate:2:f:rate:4");
  EXPECT_EQ(study.rate, 4.0f);
  EXPECT_EQ(study.calls, 2);
}

TEST(OverrideString, TrailingIncompleteTripleAppliesTheCompleteOnesFirst) {
  MixedStudy study;
  testing::internal::CaptureStdout();
  study.Apply("f:rate:2:i:count");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Not enough double override tokens");
  EXPECT_EQ(study.rate, 2.0f);
  EXPECT_EQ(study.count, 1);
}

TEST(OverrideString, UnknownLetterIsReportedAndOnlyItsTripleSkipped) {
  MixedStudy study;
  testing::internal::CaptureStdout();
  study.Apply("x:rate:9:f:rate:6");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Type x not recognized\n");
  EXPECT_EQ(study.rate, 6.0f);
  EXPECT_EQ(study.calls, 1);
}

TEST(OverrideString, UnreadableValueIsReportedAndChangesNothing) {
  MixedStudy study;
  testing::internal::CaptureStderr();
  study.Apply("f:rate:abc:i:count:7");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("abc"), std::string::npos);
  EXPECT_NE(err.find("rate"), std::string::npos);
  EXPECT_EQ(study.rate, 1.0f);
  EXPECT_EQ(study.count, 7);
}

TEST(OverrideString, UnknownNameIsPassedOnForTheStudyToReport) {
  MixedStudy study;
  study.Apply("f:nothing:3");
  EXPECT_EQ(study.calls, 1);
  EXPECT_EQ(study.lastName, "nothing");
  EXPECT_EQ(study.rate, 1.0f);
}

TEST(OverrideString, NullEmptyAndHugeInputsAreSafe) {
  MixedStudy study;
  study.overrideGVs(nullptr);
  study.Apply("");
  study.Apply(":::");
  const std::string longName(100000, 'n');
  study.Apply(("f:" + longName + ":1").c_str());
  EXPECT_EQ(study.lastName, longName);
  EXPECT_EQ(study.rate, 1.0f);
}

TEST(BaseStudy, NamesTypesAndExperimentNames) {
  MixedStudy study;
  EXPECT_STREQ(study.GetGVName(1), "count");
  EXPECT_STREQ(study.GetGVType(2), "double");
  EXPECT_EQ(study.GetGVName(4), nullptr);
  EXPECT_EQ(study.GetGVType(-1), nullptr);
  EXPECT_STREQ(BaseStudyClass::GetExpName(8), "Experiment 9");
  EXPECT_TRUE(study.IsValidExperiment(0));
  EXPECT_FALSE(study.IsValidExperiment(1));
  EXPECT_FALSE(study.IsValidExperiment(-1));
}

TEST(BaseStudy, BaseOperationsDoNothingButReport) {
  BaseStudyClass base;
  testing::internal::CaptureStdout();
  base.SetGVs(0);
  base.PrintGlobalValues(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "basestudyclass::SetGVs\n");
  char name[] = "x";
  EXPECT_EQ(base.GetGVValue(name), nullptr);
  EXPECT_EQ(base.GetPVModel(true), nullptr);
}

}  // namespace

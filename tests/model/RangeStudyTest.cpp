#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "model/GlobalVariables.h"
#include "model/basic_modelRJ.h"
#include "model/basic_model_studyRangeStudy.h"
#include "rewards/PVModel.h"

namespace {

uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

void Apply(BaseStudyClass* study, const char* text) {
  std::string copy(text);
  study->overrideGVs(copy.data());
}

class RangeStudy : public testing::Test {
 protected:
  void SetUp() override { study = GenerateStudy(); }
  void TearDown() override { DestructStudy(); }
  BaseStudyClass* study = nullptr;
};

TEST_F(RangeStudy, OneStudyPerProcessUntilDestroyed) {
  EXPECT_EQ(GenerateStudy(), study);
  EXPECT_NE(dynamic_cast<basic_model_studyRangeStudy*>(study), nullptr);
  EXPECT_EQ(study->GetNumGVs(), 4);
  EXPECT_EQ(study->GetNumExps(), 9);
  EXPECT_STREQ(study->GetGVName(0), "flash_size");
  EXPECT_STREQ(study->GetGVName(3), "random_failure_rate");
  EXPECT_STREQ(study->GetGVType(2), "float");
  EXPECT_STREQ(study->GetExpName(8), "Experiment 9");
}

TEST_F(RangeStudy, ExperimentsOneAndNine) {
  study->SetGVs(0);
  EXPECT_EQ(flash_size, 64.0f);
  EXPECT_EQ(power_cycle_rate, 0.03125f);
  EXPECT_EQ(ram_size, 128.0f);
  EXPECT_EQ(Bits(random_failure_rate), 0x3BA3D70Au);
  study->SetGVs(8);
  EXPECT_EQ(flash_size, 64.0f);
  EXPECT_EQ(power_cycle_rate, 8.0f);
  EXPECT_EQ(ram_size, 128.0f);
  EXPECT_EQ(Bits(random_failure_rate), 0x3BA3D70Au);
  study->SetGVs(3);
  EXPECT_EQ(power_cycle_rate, 0.25f);
}

TEST_F(RangeStudy, ExperimentOutsideTheTableChangesNothing) {
  study->SetGVs(2);
  for (int bad : {9, -1, 1000000}) {
    testing::internal::CaptureStderr();
    study->SetGVs(bad);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Experiment index " + std::to_string(bad) + " does not exist"), std::string::npos) << err;
    EXPECT_EQ(power_cycle_rate, 0.125f);
  }
  EXPECT_FALSE(study->IsValidExperiment(9));
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  study->PrintGlobalValues(9);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

TEST_F(RangeStudy, PrintsTheValuesOfAnExperiment) {
  testing::internal::CaptureStdout();
  study->PrintGlobalValues(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "The Global Variable values for experiment Experiment 1 are:\n"
            "flash_size\tfloat\t64\n"
            "power_cycle_rate\tfloat\t0.03125\n"
            "ram_size\tfloat\t128\n"
            "random_failure_rate\tfloat\t0.005\n");
  EXPECT_EQ(power_cycle_rate, 0.03125f);  // printing also selects the experiment
}

TEST_F(RangeStudy, GlobalValueLookupAndItsMessages) {
  char known[] = "ram_size";
  EXPECT_EQ(study->GetGVValue(known), &ram_size);
  char unknown[] = "disk_size";
  testing::internal::CaptureStderr();
  EXPECT_EQ(study->GetGVValue(unknown), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "!! basic_model_studyRangeStudy::GetGVValue: Global Variable disk_size does not exist.\n");
  float value = 3.0f;
  testing::internal::CaptureStderr();
  study->OverrideGVValue(unknown, &value);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "!! basic_model_studyRangeStudy::OverrideGVValue: Global Variable disk_size does not exist.\n");
  study->OverrideGVValue(known, &value);
  EXPECT_EQ(ram_size, 3.0f);
}

TEST_F(RangeStudy, OverrideStringsSetTheFloats) {
  study->SetGVs(0);
  Apply(study, "f:power_cycle_rate:0.5:f:ram_size:256");
  EXPECT_EQ(power_cycle_rate, 0.5f);
  EXPECT_EQ(ram_size, 256.0f);
  // Letters of other types store the number written, not foreign bytes.
  Apply(study, "d:ram_size:64:i:flash_size:32:s:random_failure_rate:2:l:power_cycle_rate:4");
  EXPECT_EQ(ram_size, 64.0f);
  EXPECT_EQ(flash_size, 32.0f);
  EXPECT_EQ(random_failure_rate, 2.0f);
  EXPECT_EQ(power_cycle_rate, 4.0f);
  Apply(study, "f:ram_size:1:f:ram_size:2");
  EXPECT_EQ(ram_size, 2.0f);
}

TEST_F(RangeStudy, ShortOrUnknownOverridesAreReportedOnly) {
  study->SetGVs(0);
  testing::internal::CaptureStdout();
  Apply(study, "f:ram_size:100:q:flash_size:1:f:power_cycle_rate");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Type q not recognized\nNot enough double override tokens");
  EXPECT_EQ(ram_size, 100.0f);
  EXPECT_EQ(flash_size, 64.0f);
  EXPECT_EQ(power_cycle_rate, 0.03125f);
  testing::internal::CaptureStderr();
  Apply(study, "f:no_such_variable:1");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Global Variable no_such_variable does not exist."),
            std::string::npos);
}

TEST_F(RangeStudy, EachRewardModelReplacesTheOneBefore) {
  study->SetGVs(0);
  PVModel* first = study->GetPVModel(true);
  ASSERT_NE(first, nullptr);
  EXPECT_NE(dynamic_cast<basic_modelRJ*>(first->TopModel), nullptr);
  EXPECT_EQ(first->numActions, 11);
  PVModel* second = study->GetPVModel(false);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(study->ThePVModel, second);
}

}  // namespace

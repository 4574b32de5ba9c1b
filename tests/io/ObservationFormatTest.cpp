#include "io/ObservationFormat.h"

#include <gtest/gtest.h>

#include <cfloat>

namespace {

TEST(ObservationFormatTest, TrailingZerosGoButOneDecimalStays) {
  EXPECT_EQ(FormatObservationValue(0.5), "0.5");
  EXPECT_EQ(FormatObservationValue(2.0), "2.0");
  EXPECT_EQ(FormatObservationValue(3.25), "3.25");
  EXPECT_EQ(FormatObservationValue(100.0), "100.0");
  EXPECT_EQ(FormatObservationValue(0.0), "0.0");
  EXPECT_EQ(FormatObservationValue(-7.5), "-7.5");
}

TEST(ObservationFormatTest, TenDecimalsAreKeptAndRounded) {
  EXPECT_EQ(FormatObservationValue(0.1234567891), "0.1234567891");
  EXPECT_EQ(FormatObservationValue(1e-12), "0.0");
  EXPECT_EQ(FormatObservationValue(0.99999999999), "1.0");
  EXPECT_EQ(FormatObservationValue(1e-10), "0.0000000001");
}

TEST(ObservationFormatTest, HugeValuesAreWrittenInFull) {
  const std::string text = FormatObservationValue(DBL_MAX);
  EXPECT_EQ(text.size(), 311u);  // 309 digits, ".0"
  EXPECT_EQ(text.substr(0, 6), "179769");
  EXPECT_EQ(text.substr(text.size() - 2), ".0");
}

}  // namespace

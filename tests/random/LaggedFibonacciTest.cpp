#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ReferenceLaggedFibonacci.h"
#include "random/LaggedFibonacci.h"
#include "random/LaggedFibonacciCore.h"

namespace {

constexpr int32_t kLargestSeed = INT32_MAX - 2;

// The block that LaggedFibonacci::srnd(seed) leaves in its buffer is the
// second one after seeding; `extra` further blocks follow it.
std::vector<std::vector<double>> ReferenceBlocksAfterSrnd(int64_t seed, int extra) {
  ReferenceLaggedFibonacci reference(seed);
  reference.Block();
  std::vector<std::vector<double>> blocks;
  for (int i = 0; i <= extra; ++i) blocks.push_back(reference.Block());
  return blocks;
}

TEST(LaggedFibonacciCore, SeedingAndBlocksMatchIndependentRendering) {
  for (int32_t seed : {0, 1, 2, 3, 31415, 123456789, 1 << 30, kLargestSeed}) {
    ASSERT_TRUE(ranf_start(seed));
    ReferenceLaggedFibonacci reference(seed);
    ASSERT_EQ(0, std::memcmp(ran_u, reference.state, sizeof ran_u)) << "seed " << seed;
    double block[100];
    for (int b = 0; b < 5; ++b) {
      ranf_array(block, 100);
      std::vector<double> expected = reference.Block();
      for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(block[i], expected[i]) << "seed " << seed << " block " << b << " i " << i;
      }
    }
  }
}

// The published check value of this generator: after seeding with 310952,
// the state after 2009 arrays of 1009 values, and equally after 1009 arrays
// of 2009 values.
TEST(LaggedFibonacciCore, PublishedCheckValue) {
  std::vector<double> a(2009);
  ASSERT_TRUE(ranf_start(310952));
  for (int m = 0; m < 2009; ++m) ranf_array(a.data(), 1009);
  EXPECT_EQ(ran_u[0], 0.27452626307394156768);
  ASSERT_TRUE(ranf_start(310952));
  for (int m = 0; m < 1009; ++m) ranf_array(a.data(), 2009);
  EXPECT_EQ(ran_u[0], 0.27452626307394156768);
}

TEST(LaggedFibonacciCore, LongerArraysContinueTheSameStream) {
  ASSERT_TRUE(ranf_start(31415));
  std::vector<double> longBlock(250);
  ranf_array(longBlock.data(), 250);
  double nextShort[100];
  ranf_array(nextShort, 100);

  ASSERT_TRUE(ranf_start(31415));
  // The state after one long call depends on all 250 values; the first 100
  // values equal the first short block.
  double first[100];
  ranf_array(first, 100);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(first[i], longBlock[i]);
  // Every value of a long call obeys the lag relation.
  for (int j = 100; j < 250; ++j) {
    double sum = longBlock[j - 100] + longBlock[j - 37];
    EXPECT_EQ(longBlock[j], sum - std::trunc(sum));
  }
  for (double v : nextShort) EXPECT_TRUE(v >= 0.0 && v < 1.0);
}

TEST(LaggedFibonacciCore, OutOfRangeSeedsAreRefusedWithoutTouchingState) {
  ASSERT_TRUE(ranf_start(777));
  double before[100];
  std::memcpy(before, ran_u, sizeof before);
  for (int32_t seed : {-1, -31415, INT32_MIN, INT32_MAX - 1, INT32_MAX}) {
    EXPECT_FALSE(ranf_valid_seed(seed)) << seed;
    EXPECT_FALSE(ranf_start(seed)) << seed;
    EXPECT_EQ(0, std::memcmp(before, ran_u, sizeof before)) << seed;
  }
  EXPECT_TRUE(ranf_valid_seed(0));
  EXPECT_TRUE(ranf_valid_seed(kLargestSeed));
}

class LaggedFibonacciTest : public ::testing::Test {
 protected:
  // The read position is program-wide; every test states where it starts.
  void SetUp() override { savedK = LaggedFibonacci::k; }
  void TearDown() override { LaggedFibonacci::k = savedK; }
  int32_t savedK = 0;
};

TEST_F(LaggedFibonacciTest, SimulatorStartupDrawsSecondBlockThenRefills) {
  // Start-up: the program-wide object is built seeded with 31415 at read
  // position 0, then the simulator seeds the live generator again.
  LaggedFibonacci::k = 0;
  LaggedFibonacci generator;
  generator.srnd(31415);
  generator.srnd(31415);
  auto blocks = ReferenceBlocksAfterSrnd(31415, 2);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(generator.rnd(), blocks[0][i]) << i;
  EXPECT_EQ(LaggedFibonacci::k, 100);
  // The 101st draw comes from a freshly made block.
  EXPECT_EQ(generator.rnd(), blocks[1][0]);
  EXPECT_EQ(LaggedFibonacci::k, 1);
  for (int i = 1; i < 100; ++i) ASSERT_EQ(generator.rnd(), blocks[1][i]);
  EXPECT_EQ(generator.rnd(), blocks[2][0]);
}

TEST_F(LaggedFibonacciTest, ReseedKeepsTheSharedReadPosition) {
  LaggedFibonacci::k = 0;
  LaggedFibonacci generator;
  generator.srnd(5);
  for (int i = 0; i < 37; ++i) generator.rnd();
  generator.srnd(31415);
  EXPECT_EQ(LaggedFibonacci::k, 37);
  auto blocks = ReferenceBlocksAfterSrnd(31415, 1);
  EXPECT_EQ(generator.rnd(), blocks[0][37]);

  // A second object reads from the same position.
  LaggedFibonacci other;
  other.srnd(31415);
  EXPECT_EQ(other.rnd(), blocks[0][38]);
}

TEST_F(LaggedFibonacciTest, EqualSeedsGiveEqualStreamsOfGrainedValues) {
  LaggedFibonacci a;
  LaggedFibonacci::k = 0;
  a.srnd(2024);
  std::vector<double> first;
  for (int i = 0; i < 350; ++i) first.push_back(a.rnd());
  LaggedFibonacci::k = 0;
  a.srnd(2024);
  for (int i = 0; i < 350; ++i) {
    double v = a.rnd();
    ASSERT_EQ(v, first[i]);
    ASSERT_TRUE(v >= 0.0 && v < 1.0);
    double scaled = std::ldexp(v, 52);
    ASSERT_EQ(scaled, std::floor(scaled)) << "not a multiple of 2^-52";
  }
}

TEST_F(LaggedFibonacciTest, InvalidSeedLeavesStreamAndSaysSo) {
  EXPECT_FALSE(LaggedFibonacci::IsValidSeed(-5));
  EXPECT_FALSE(LaggedFibonacci::IsValidSeed(INT32_MAX));
  EXPECT_FALSE(LaggedFibonacci::IsValidSeed(INT32_MAX - 1));
  EXPECT_TRUE(LaggedFibonacci::IsValidSeed(kLargestSeed));
  EXPECT_TRUE(LaggedFibonacci::IsValidSeed(0));

  LaggedFibonacci::k = 0;
  LaggedFibonacci generator;
  generator.srnd(99);
  auto blocks = ReferenceBlocksAfterSrnd(99, 1);
  EXPECT_EQ(generator.rnd(), blocks[0][0]);
  // Seeds of 2^31 and above arrive as negative 32-bit values.
  for (uint32_t bad : {0xFFFFFFFBu, 0x80000000u, 0x7FFFFFFFu, 0x7FFFFFFEu}) {
    ::testing::internal::CaptureStderr();
    generator.srnd(bad);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("not reseeded"), std::string::npos) << bad;
  }
  EXPECT_EQ(generator.rnd(), blocks[0][1]);
  LaggedFibonacci::k = 100;
  EXPECT_EQ(generator.rnd(), blocks[1][0]);
}

TEST_F(LaggedFibonacciTest, LargestValidSeedSeedsNormally) {
  LaggedFibonacci::k = 0;
  LaggedFibonacci generator;
  generator.srnd(static_cast<uint32_t>(kLargestSeed));
  auto blocks = ReferenceBlocksAfterSrnd(kLargestSeed, 0);
  EXPECT_EQ(generator.rnd(), blocks[0][0]);
}

}  // namespace

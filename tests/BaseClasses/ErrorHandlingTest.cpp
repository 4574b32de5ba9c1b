#include "BaseClasses/ErrorHandling.h"

#include <gtest/gtest.h>

#include <string>

#include "BaseClasses/Primes.h"

namespace {

template <class Report>
std::string stderrOf(Report report) {
  testing::internal::CaptureStderr();
  report();
  return testing::internal::GetCapturedStderr();
}

TEST(ErrorHandlingTest, ReturningReportsWriteTheirFixedTexts) {
  EXPECT_EQ(stderrOf([] { MemoryError(); }), "Memory Error\n");
  EXPECT_EQ(stderrOf([] { ErrorEmptyParameter("Join::Join"); }),
            "Join::Join: Parameter was an empty reference\n");
  EXPECT_EQ(stderrOf([] { SyncError::WrongDistributionType(); }),
            "You can only synchronize actions from one type,either exponential or instantenous\n");
  EXPECT_EQ(stderrOf([] { SyncError::NoAction(); }), " no Action found in model\n");
  EXPECT_EQ(stderrOf([] { InconsistantState(); }),
            "This program has entered into an inconsistant state. Please report this bug.\n");
  EXPECT_EQ(stderrOf([] { UserError(); }), "A user error has been detected\n");
  EXPECT_EQ(stderrOf([] { InvalidArrayType(); }), "ArrayType is not valid\n");
  EXPECT_EQ(stderrOf([] { InvalidUnorderedType(); }), "ArrayType is invalid for unordered element\n");
}

TEST(ErrorHandlingTest, MismatchReportsListBothNamesIndented) {
  EXPECT_EQ(stderrOf([] { ArrayTypeMismatchError("left", "right"); }),
            "Array types for equivalence sharing do not match for state variables: \n  left\n  right\n");
  EXPECT_EQ(stderrOf([] { StructTypeMismatchError("s1", "s2"); }),
            "Struct types for equivalence sharing do not match for state variables: \n  s1\n  s2\n");
}

TEST(ErrorHandlingTest, ArrayOutOfBoundsJoinsPrefixAndPlaceOnOneLine) {
  EXPECT_EQ(stderrOf([] { ArrayOutOfBoundsError("Array out of bounds (BaseGroupClass::setMember()"); }),
            "Array out of bounds error at Array out of bounds (BaseGroupClass::setMember()\n");
}

TEST(ErrorHandlingTest, NullNamesDoNotBreakTheReport) {
  EXPECT_EQ(stderrOf([] { ArrayOutOfBoundsError(nullptr); }), "Array out of bounds error at \n");
  EXPECT_EQ(stderrOf([] { ErrorEmptyParameter(nullptr); }), ": Parameter was an empty reference\n");
}

TEST(ErrorHandlingDeathTest, MemoryAllocationErrorExitsWithStatusOneAfterBothLines) {
  EXPECT_EXIT(MemoryAllocationError(), testing::ExitedWithCode(1),
              "Insufficient Memory to allocate dynamic data structures from heap memory\nExiting program...\n");
}

TEST(ErrorHandlingDeathTest, InvalidStructTypeStopsAbnormally) {
  EXPECT_DEATH(InvalidStructType(), "ArrayType is invalid for struct element\npreparing to segfault\n");
}

TEST(ErrorHandlingDeathTest, AssertionNamesExpressionAndSource) {
  EXPECT_DEATH(SAN_ASSERT(1 + 1 == 3, "1+1==3", "arith"), "Assertion failed: 1\\+1==3, file arith");
  int evaluated = 0;
  SAN_ASSERT(++evaluated == 1, "once", "arith");
  EXPECT_EQ(evaluated, 1);
}

TEST(PrimesTest, TableHoldsTheFirst256PrimesInOrder) {
  EXPECT_EQ(primes[0], 2);
  EXPECT_EQ(primes[255], 1619);
  for (int i = 1; i < 256; i++) {
    ASSERT_LT(primes[i - 1], primes[i]);
    for (int32_t d = 2; d * d <= primes[i]; d++) ASSERT_NE(primes[i] % d, 0) << primes[i];
  }
  // No prime is skipped: every number between neighbours is composite.
  for (int i = 1; i < 256; i++)
    for (int32_t n = primes[i - 1] + 1; n < primes[i]; n++) {
      bool composite = false;
      for (int32_t d = 2; d * d <= n && !composite; d++) composite = (n % d == 0);
      ASSERT_TRUE(composite) << n;
    }
}

}  // namespace

#include "BaseClasses/FastSet.h"

#include <gtest/gtest.h>

namespace {

TEST(FastSetTest, BuildsWithoutDuplicatesAndFreezesAscending) {
  FastSet set;
  EXPECT_TRUE(set.empty());
  EXPECT_TRUE(set.insert(5));
  EXPECT_TRUE(set.insert(1));
  EXPECT_FALSE(set.insert(5));
  EXPECT_TRUE(set.insert(3));
  EXPECT_TRUE(set.find(3));
  EXPECT_FALSE(set.find(4));
  EXPECT_FALSE(set.empty());

  int* frozen = set.NoMoreModifications();
  ASSERT_NE(frozen, nullptr);
  EXPECT_EQ(frozen[0], 1);
  EXPECT_EQ(frozen[1], 3);
  EXPECT_EQ(frozen[2], 5);
  EXPECT_TRUE(set.isFrozen());
  ASSERT_EQ(set.size(), 3);
  EXPECT_EQ(set[0], 1);
  EXPECT_EQ(set[2], 5);
  set[1] = 4;  // operator[] yields the stored element itself
  EXPECT_EQ(frozen[1], 4);
}

TEST(FastSetTest, EmptySetFreezesToNullArray) {
  FastSet set;
  EXPECT_EQ(set.NoMoreModifications(), nullptr);
  EXPECT_EQ(set.size(), 0);
}

TEST(FastSetTest, ClearKeepsTheMode) {
  FastSet building;
  building.insert(2);
  building.clear();
  EXPECT_TRUE(building.empty());
  EXPECT_TRUE(building.insert(2));

  FastSet frozen;
  frozen.insert(7);
  frozen.NoMoreModifications();
  frozen.clear();
  EXPECT_TRUE(frozen.isFrozen());
  EXPECT_EQ(frozen.size(), 0);
}

TEST(FastSetTest, CopiesOwnTheirRepresentation) {
  FastSet original;
  original.insert(1);
  FastSet copy(original);
  copy.insert(2);
  EXPECT_FALSE(original.find(2));

  original.NoMoreModifications();
  FastSet frozenCopy;
  frozenCopy = original;
  original.clear();
  ASSERT_EQ(frozenCopy.size(), 1);
  EXPECT_EQ(frozenCopy[0], 1);
}

TEST(FastSetDeathTest, WrongModeIsAFatalAssertion) {
  FastSet frozen;
  frozen.NoMoreModifications();
  EXPECT_DEATH(frozen.insert(1), "Assertion failed: !is_vec_rep, file FastSet");
  EXPECT_DEATH(frozen.find(1), "Assertion failed: !is_vec_rep, file FastSet");
  EXPECT_DEATH(frozen.empty(), "Assertion failed: !is_vec_rep, file FastSet");
  EXPECT_DEATH(frozen.NoMoreModifications(), "Assertion failed: !is_vec_rep, file FastSet");
  frozen.clear();
  EXPECT_DEATH(frozen.insert(1), "!is_vec_rep");

  FastSet building;
  EXPECT_DEATH(building.size(), "Assertion failed: is_vec_rep, file FastSet");
  EXPECT_DEATH(building[0], "Assertion failed: is_vec_rep, file FastSet");
}

}  // namespace

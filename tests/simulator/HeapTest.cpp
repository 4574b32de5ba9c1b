#include "simulator/Heap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// Checks the heap order and the id-to-position map.
template <class T>
void ExpectConsistent(const Heap<T>& heap) {
  for (int p = 1; p < heap.size; ++p) EXPECT_LE(heap.keys[(p - 1) / 2], heap.keys[p]) << p;
  for (int p = 0; p < heap.size; ++p) EXPECT_EQ(heap.positions[heap.ids[p]], p);
}

TEST(HeapTest, MinimumAndKeyChangesFollowTheIdMap) {
  Heap<double> heap(2);
  heap.Insert(5.0, 0);
  heap.Insert(3.0, 1);
  heap.Insert(8.0, 2);  // grows the slots beyond the initial two
  heap.Insert(1.0, 7);  // id beyond the positions map grows it
  EXPECT_EQ(heap.capacity, 4);
  EXPECT_GT(heap.positionsCapacity, 7);
  EXPECT_EQ(heap.MinId(), 7);
  EXPECT_EQ(heap.MinKey(), 1.0);
  ExpectConsistent(heap);

  heap.ChangeKey(7, 10.0);  // down
  EXPECT_EQ(heap.MinId(), 1);
  heap.ChangeKey(2, 0.5);   // up
  EXPECT_EQ(heap.MinId(), 2);
  heap.ChangeKey(2, 0.5);   // unchanged
  EXPECT_EQ(heap.MinId(), 2);
  EXPECT_EQ(heap.KeyOf(7), 10.0);
  ExpectConsistent(heap);
}

TEST(HeapTest, EqualKeysDoNotMove) {
  Heap<int> heap(4);
  heap.Insert(0, 3);
  heap.Insert(0, 1);
  heap.Insert(0, 2);
  EXPECT_EQ(heap.MinId(), 3);
  heap.ChangeKey(3, 0);
  EXPECT_EQ(heap.MinId(), 3);
}

TEST(HeapTest, RandomisedKeyChangesKeepTheOrder) {
  std::mt19937 random(7);
  Heap<int> heap(1);
  std::vector<int> keys(40);
  for (int id = 0; id < 40; ++id) {
    keys[id] = static_cast<int>(random() % 100) - 1;
    heap.Insert(keys[id], id);
  }
  for (int step = 0; step < 500; ++step) {
    int id = static_cast<int>(random() % 40);
    keys[id] = static_cast<int>(random() % 100) - 1;
    heap.ChangeKey(id, keys[id]);
    ASSERT_EQ(heap.MinKey(), *std::min_element(keys.begin(), keys.end()));
  }
  ExpectConsistent(heap);
}

TEST(HeapDeathTest, EmptyHeapHasNoMinimum) {
  Heap<double> heap(0);
  EXPECT_DEATH(heap.MinKey(), "Assertion failed: size > 0, file Heap");
}

}  // namespace

#include "io/PacketQueue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "io/DataPacket.h"

namespace {

class PacketQueueTest : public testing::Test {
 protected:
  PacketQueueTest() {
    for (int i = 0; i < 60; ++i) packets.push_back(new DataPacket(i, 0, 1, 1));
  }
  ~PacketQueueTest() override {
    for (DataPacket* packet : packets) delete packet;
  }
  std::vector<DataPacket*> packets;
};

TEST_F(PacketQueueTest, EmptyQueueYieldsNull) {
  PacketQueue queue;
  EXPECT_EQ(queue.capacity, 50);
  EXPECT_EQ(queue.Count(), 0);
  EXPECT_EQ(queue.Pop(), nullptr);
  EXPECT_EQ(queue.Count(), 0);
}

TEST_F(PacketQueueTest, FullQueueRefusesAndKeepsItsContents) {
  PacketQueue queue(50);
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(queue.Push(packets[static_cast<size_t>(i)]));
  EXPECT_TRUE(queue.wrapped);
  EXPECT_EQ(queue.Count(), 50);
  EXPECT_FALSE(queue.Push(packets[50]));
  EXPECT_EQ(queue.Count(), 50);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(queue.Pop(), packets[static_cast<size_t>(i)]);
  EXPECT_FALSE(queue.wrapped);
  EXPECT_EQ(queue.Pop(), nullptr);
}

TEST_F(PacketQueueTest, OrderAndCountSurviveWrappingAround) {
  PacketQueue queue(4);
  size_t nextIn = 0, nextOut = 0;
  // Three in, two out, repeatedly: the indices wrap several times.
  for (int round = 0; round < 6; ++round) {
    while (queue.Count() < 4 && nextIn - nextOut < 3) ASSERT_TRUE(queue.Push(packets[nextIn++]));
    ASSERT_EQ(queue.Count(), static_cast<int>(nextIn - nextOut));
    for (int k = 0; k < 2; ++k) ASSERT_EQ(queue.Pop(), packets[nextOut++]);
    ASSERT_EQ(queue.Count(), static_cast<int>(nextIn - nextOut));
  }
  while (nextOut < nextIn) EXPECT_EQ(queue.Pop(), packets[nextOut++]);
  EXPECT_EQ(queue.Pop(), nullptr);
}

TEST_F(PacketQueueTest, CountIsFullWhenWrappedWithEqualIndices) {
  PacketQueue queue(3);
  queue.Push(packets[0]);
  queue.Pop();
  for (int i = 1; i <= 3; ++i) queue.Push(packets[static_cast<size_t>(i)]);
  EXPECT_EQ(queue.readIndex, 1);
  EXPECT_EQ(queue.writeIndex, 1);
  EXPECT_TRUE(queue.wrapped);
  EXPECT_EQ(queue.Count(), 3);
  EXPECT_FALSE(queue.Push(packets[4]));
}

TEST_F(PacketQueueTest, EachQueueHasItsOwnNamedMutex) {
  PacketQueue first, second;
  const std::string a = first.mutex.GetName(), b = second.mutex.GetName();
  ASSERT_EQ(a.rfind("mutex", 0), 0u);
  ASSERT_EQ(b.rfind("mutex", 0), 0u);
  EXPECT_EQ(std::atoi(b.c_str() + 5), std::atoi(a.c_str() + 5) + 1);
}

}  // namespace

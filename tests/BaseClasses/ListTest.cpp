#include "BaseClasses/List.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct Item {
  int id;
};

class ListTest : public ::testing::Test {
 protected:
  Item pool[64];
  Item* a = &pool[0];
  Item* b = &pool[1];
  Item* c = &pool[2];
  Item* x = &pool[3];

  static std::vector<Item*> contents(const List<Item>& list) {
    return std::vector<Item*>(list.getList(), list.getList() + list.getNumItems());
  }

  static bool slotsBeyondCountAreNull(const List<Item>& list) {
    for (int i = list.numItems; i < list.arraySize; i++)
      if (list.items[i] != nullptr) return false;
    return true;
  }
};

TEST_F(ListTest, CapacityDoublesOnEachOverflowAndKeepsOrder) {
  List<Item> list;
  EXPECT_EQ(list.arraySize, 10);
  EXPECT_TRUE(slotsBeyondCountAreNull(list));
  for (int i = 0; i < 10; i++) list.append(&pool[i]);
  EXPECT_EQ(list.arraySize, 10);
  list.append(&pool[10]);
  EXPECT_EQ(list.arraySize, 20);
  EXPECT_TRUE(slotsBeyondCountAreNull(list));
  for (int i = 11; i < 21; i++) list.append(&pool[i]);
  EXPECT_EQ(list.arraySize, 40);
  ASSERT_EQ(list.getNumItems(), 21);
  for (int i = 0; i < 21; i++) EXPECT_EQ(list[i], &pool[i]);
  EXPECT_TRUE(slotsBeyondCountAreNull(list));
}

TEST_F(ListTest, DuplicateAppendKeepsCountButStillGrowsAFullList) {
  List<Item> list(2);
  list.append(a);
  list.append(a);
  EXPECT_EQ(list.getNumItems(), 1);
  list.append(b);
  EXPECT_EQ(list.arraySize, 2);
  list.append(b);  // full: the growth test comes before the presence test
  EXPECT_EQ(list.getNumItems(), 2);
  EXPECT_EQ(list.arraySize, 4);
}

TEST_F(ListTest, AppendArraySkipsHeldItemsAndIgnoresNonPositiveCount) {
  List<Item> list;
  Item* batch[] = {a, b, a, c};
  list.append(batch, 4);
  EXPECT_EQ(contents(list), (std::vector<Item*>{a, b, c}));
  list.append(batch, 0);
  list.append(batch, -3);
  EXPECT_EQ(list.getNumItems(), 3);
}

TEST_F(ListTest, AppendListGrowsOnceToTwiceTheCombinedSize) {
  List<Item> list;
  for (int i = 0; i < 6; i++) list.append(&pool[i]);
  List<Item> other;
  other.append(&pool[4]);
  other.append(&pool[5]);
  for (int i = 6; i < 10; i++) other.append(&pool[i]);
  list.append(&other);
  EXPECT_EQ(list.arraySize, 24);
  ASSERT_EQ(list.getNumItems(), 10);
  for (int i = 0; i < 10; i++) EXPECT_EQ(list[i], &pool[i]);
  EXPECT_TRUE(slotsBeyondCountAreNull(list));
}

TEST_F(ListTest, AppendListOntoItselfChangesNothingButCapacity) {
  List<Item> list(2);
  list.append(a);
  list.append(b);
  list.append(&list);
  EXPECT_EQ(contents(list), (std::vector<Item*>{a, b}));
  EXPECT_EQ(list.arraySize, 8);
}

TEST_F(ListTest, RemoveMovesTheLastItemIntoTheFreedSlot) {
  List<Item> list;
  list.append(a);
  list.append(b);
  list.append(c);
  list.remove(x);
  EXPECT_EQ(list.getNumItems(), 3);
  list.remove(a);
  EXPECT_EQ(contents(list), (std::vector<Item*>{c, b}));
  list.remove(b);
  list.remove(c);
  EXPECT_EQ(list.getNumItems(), 0);
}

TEST_F(ListTest, ReplaceItemKeepsOrderOrDropsTheDuplicate) {
  List<Item> list;
  list.append(a);
  list.append(b);
  list.append(c);
  list.replaceItem(x, a);  // old not held
  EXPECT_EQ(contents(list), (std::vector<Item*>{a, b, c}));
  list.replaceItem(a, x);
  EXPECT_EQ(contents(list), (std::vector<Item*>{x, b, c}));

  List<Item> both;
  both.append(a);
  both.append(b);
  both.append(c);
  both.replaceItem(a, c);
  EXPECT_EQ(contents(both), (std::vector<Item*>{c, b}));
}

TEST_F(ListTest, ReplaceItemWithItselfKeepsIt) {
  List<Item> list;
  list.append(a);
  list.append(b);
  list.replaceItem(a, a);
  EXPECT_EQ(contents(list), (std::vector<Item*>{a, b}));
}

TEST_F(ListTest, RemoveSetOfItemsKeepsRelativeOrderAndCapacity) {
  List<Item> list;
  for (int i = 0; i < 8; i++) list.append(&pool[i]);
  List<Item> set;
  set.append(&pool[6]);
  set.append(&pool[1]);
  set.append(&pool[3]);
  set.append(&pool[40]);  // not held
  list.removeSetOfItems(set);
  EXPECT_EQ(contents(list), (std::vector<Item*>{&pool[0], &pool[2], &pool[4], &pool[5], &pool[7]}));
  EXPECT_EQ(list.arraySize, 10);
  EXPECT_EQ(set.getNumItems(), 4);

  list.removeSetOfItems(list);  // a list removing its own items empties
  EXPECT_EQ(list.getNumItems(), 0);
}

TEST_F(ListTest, ClearListKeepsCapacityAndLaterAppendsOverwrite) {
  List<Item> list(3);
  list.append(a);
  list.append(b);
  list.append(c);
  list.append(x);
  list.clearList();
  EXPECT_EQ(list.getNumItems(), 0);
  EXPECT_EQ(list.arraySize, 6);
  EXPECT_FALSE(list.contains(a));
  list.append(c);
  EXPECT_EQ(list[0], c);
  EXPECT_EQ(list.getNumItems(), 1);
}

TEST_F(ListTest, ConstructorCapacityIsAtLeastOne) {
  List<Item> list(0);
  EXPECT_EQ(list.arraySize, 1);
  list.append(a);
  list.append(b);
  EXPECT_EQ(contents(list), (std::vector<Item*>{a, b}));
}

TEST_F(ListTest, IncreaseArraySizeNeverDropsHeldItems) {
  List<Item> list;
  list.append(a);
  list.append(b);
  list.increaseArraySize(7);
  EXPECT_EQ(list.arraySize, 7);
  EXPECT_TRUE(slotsBeyondCountAreNull(list));
  list.increaseArraySize(1);
  EXPECT_EQ(list.arraySize, 2);
  EXPECT_EQ(contents(list), (std::vector<Item*>{a, b}));
  List<Item> empty;
  empty.increaseArraySize(0);
  empty.append(a);  // a zero-capacity list must still be able to grow
  EXPECT_EQ(contents(empty), (std::vector<Item*>{a}));
}

TEST_F(ListTest, InsertItemOnAFullListGrowsInsteadOfOverrunning) {
  List<Item> list(1);
  list.insertItem(a);
  list.insertItem(a);
  list.insertItem(b);
  EXPECT_EQ(contents(list), (std::vector<Item*>{a, b}));
  EXPECT_GE(list.arraySize, 2);
}

TEST_F(ListTest, CopiesAreIndependent) {
  List<Item> list;
  list.append(a);
  List<Item> copy(list);
  copy.append(b);
  List<Item> assigned(1);
  assigned = copy;
  assigned.remove(a);
  EXPECT_EQ(contents(list), (std::vector<Item*>{a}));
  EXPECT_EQ(contents(copy), (std::vector<Item*>{a, b}));
  EXPECT_EQ(contents(assigned), (std::vector<Item*>{b}));
}

TEST_F(ListTest, PrintListWritesIndexAndAddressLines) {
  List<Item> list;
  testing::internal::CaptureStdout();
  list.printList();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "No items in the list\n");

  list.append(a);
  list.append(b);
  std::ostringstream expected;
  expected << "[0] " << static_cast<const void*>(a) << "\n[1] " << static_cast<const void*>(b) << "\n";
  testing::internal::CaptureStdout();
  list.printList();
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed, expected.str());
  EXPECT_NE(printed.find("] 0x"), std::string::npos);
}

}  // namespace

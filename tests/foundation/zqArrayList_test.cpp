#include "foundation/zqArrayList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/zqExceptions.h"

namespace lym {
namespace {

int CompareInts(int a, int b) { return a < b ? -1 : (a > b ? 1 : 0); }

// The message of the EzqArgumentOutOfRange that action raises, or "" when it raises none.
std::string OutOfRangeMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const EzqArgumentOutOfRange& e) {
    return e.what();
  }
  return "";
}

std::string OutOfRangeText(const std::string& where, const std::string& name, int64_t value) {
  return "Program error in " + where + ": Invalid parameter " + name +
         ": Out of range. Value: " + std::to_string(value);
}

void AddAll(TzqArrayList<int>& list, std::initializer_list<int> values) {
  for (int value : values) list.Add(value);
}

std::vector<int> ItemsOf(const TzqArrayList<int>& list) { return {list.begin(), list.end()}; }

TEST(ZqArrayListTest, CapacityGrowsByTheLargestOfNeedQuarterAndFourUpToTheLimit) {
  struct Case {
    int64_t capacity, newSize, expected;
  };
  for (const Case& c : {Case{0, 1, 4}, Case{80, 100, 105}, Case{4, 5, 8}, Case{20, 21, 25},
                        Case{4194000, 4194100, 4194304}}) {
    TzqArrayList<int64_t> list(c.capacity);
    list.SetSize(c.newSize);
    EXPECT_EQ(list.Capacity(), c.expected) << c.capacity << " -> " << c.newSize;
  }

  TzqArrayList<int64_t> full;
  EXPECT_EQ(full.Limit(), 4194304);
  EXPECT_EQ(OutOfRangeMessage([&] { full.SetSize(4194305); }),
            OutOfRangeText("TzqArrayBase.SetSize", "ANewSize", 4194305));
  full.SetSize(full.Limit());
  EXPECT_EQ(OutOfRangeMessage([&] { full.Add(1); }),
            OutOfRangeText("TzqArrayBase.TestGrowCapacity", "ANewSize", 4194305));
}

TEST(ZqArrayListTest, InvalidArgumentsRaiseAndLeaveTheListAsItWas) {
  EXPECT_EQ(OutOfRangeMessage([] { TzqArrayList<int> list(-1); }),
            OutOfRangeText("TzqArrayBase.Create", "ACapacity", -1));

  TzqArrayList<int> list;
  AddAll(list, {5, 6, 7});
  const int32_t capacity = list.Capacity();
  const std::string badIndex3 = OutOfRangeText("TzqArrayBase.pubItemPtr", "AIndex", 3);
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { list.SetCapacity(8388609); },
       OutOfRangeText("TzqArrayBase.SetCapacity", "ANewCapacity", 8388609)},
      {[&] { list.SetSize(-2); }, OutOfRangeText("TzqArrayBase.SetSize", "ANewSize", -2)},
      {[&] { list.TestGrowCapacity(1LL << 40); },
       OutOfRangeText("TzqArrayBase.TestGrowCapacity", "ANewSize", 1LL << 40)},
      {[&] { list.pubItemPtr(3); }, badIndex3},
      {[&] { (void)list[-1]; }, OutOfRangeText("TzqArrayBase.pubItemPtr", "AIndex", -1)},
      {[&] { list.Sort(1, 3, CompareInts); }, badIndex3},
      {[&] { list.Search(6, 0, 3, CompareInts); }, badIndex3},
  };
  for (const auto& [action, message] : cases) {
    EXPECT_EQ(OutOfRangeMessage(action), message);
    EXPECT_EQ(ItemsOf(list), (std::vector<int>{5, 6, 7}));
    EXPECT_EQ(list.Capacity(), capacity);
  }
}

TEST(ZqArrayListTest, ShrinkingDestroysItemsAndGrowingValueInitialises) {
  const auto tracker = std::make_shared<int>(0);
  {
    TzqArrayList<std::shared_ptr<int>> list;
    for (int i = 0; i < 10; ++i) list.Add(tracker);
    list.SetSize(6);
    EXPECT_EQ(tracker.use_count(), 7);
    list.SetCapacity(4);
    EXPECT_EQ(tracker.use_count(), 5);
    list.SetSize(5);
    EXPECT_EQ(list[4], nullptr);
  }
  EXPECT_EQ(tracker.use_count(), 1);
}

TEST(ZqArrayListTest, SortAgreesWithStdSort) {
  std::mt19937 random(12345);
  for (int count : {0, 1, 2, 3, 17, 5000}) {
    for (int range : {2, 50, 1000000}) {
      std::uniform_int_distribution<int> value(0, range - 1);
      TzqArrayList<int> list;
      for (int i = 0; i < count; ++i) list.Add(value(random));
      std::vector<int> expected = ItemsOf(list);
      std::sort(expected.begin(), expected.end());
      list.Sort(0, list.Count() - 1, CompareInts);
      EXPECT_EQ(ItemsOf(list), expected) << count << " items below " << range;
      std::reverse(list.begin(), list.end());
      list.Sort(0, list.Count() - 1, CompareInts);
      EXPECT_EQ(ItemsOf(list), expected) << count << " reversed items below " << range;
    }
  }

  TzqArrayList<int> partial;
  AddAll(partial, {9, 8, 7, 6, 5, 4});
  partial.Sort(1, 4, CompareInts);
  EXPECT_EQ(ItemsOf(partial), (std::vector<int>{9, 5, 6, 7, 8, 4}));
}

TEST(ZqArrayListTest, MoveOnlyItemsSurviveReallocationAndSort) {
  TzqArrayList<std::unique_ptr<std::string>> list;
  for (const char* text : {"delta", "alpha", "echo", "charlie", "bravo"})
    list.Add(std::make_unique<std::string>(text));
  list.SetCapacity(100);
  list.Sort(0, list.Count() - 1, [](const auto& a, const auto& b) { return a->compare(*b); });
  std::string joined;
  for (const auto& item : list) joined += *item + " ";
  EXPECT_EQ(joined, "alpha bravo charlie delta echo ");
}

TEST(ZqArrayListTest, SearchFindsFirstMatchOrInsertionPoint) {
  TzqArrayList<int> list;
  AddAll(list, {10, 20, 20, 20, 30, 40});
  struct Case {
    int key, first, last;
    bool found;
    int32_t index;
  };
  for (const Case& c : {Case{20, 0, 5, true, 1}, Case{40, 0, 5, true, 5}, Case{5, 0, 5, false, 0},
                        Case{25, 0, 5, false, 4}, Case{99, 0, 5, false, 6},
                        Case{10, 2, 4, false, 2}, Case{10, 0, -1, false, 0}}) {
    const TzqSearchResult result = list.Search(c.key, c.first, c.last, CompareInts);
    EXPECT_EQ(result.found, c.found) << c.key << " in " << c.first << ".." << c.last;
    EXPECT_EQ(result.index, c.index) << c.key << " in " << c.first << ".." << c.last;
  }
}

}  // namespace
}  // namespace lym

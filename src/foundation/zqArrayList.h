// Growable arrays of items for the library's lists (tag items, error records and the like).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace lym {

// The size bookkeeping shared by every item type, kept out of the template so that the growth rule
// and the argument checks (with their fixed operation and parameter names) exist only once.
class TzqArrayBase {
 public:
  int32_t Count() const { return count_; }
  int32_t Capacity() const { return capacity_; }
  // No array holds more than 32 MiB of items.
  int32_t Limit() const { return limit_; }

 protected:
  TzqArrayBase(size_t itemSize, int64_t capacity);
  ~TzqArrayBase() = default;

  // Grows by at least a quarter so that a long run of Add calls costs amortised constant time.
  int32_t GrowCapacity(int64_t newSize) const;

  // Each check raises EzqArgumentOutOfRange before anything changes, so a failed call leaves the
  // array as it was.
  void CheckCapacity(int64_t newCapacity) const;
  void CheckSize(int64_t newSize) const;
  void CheckGrowSize(int64_t newSize) const;
  void CheckIndex(int64_t index) const;

  int32_t count_ = 0;
  int32_t capacity_ = 0;

 private:
  int32_t limit_;
};

struct TzqSearchResult {
  bool found;
  // The first matching item when found, otherwise the position where the key would be inserted.
  int32_t index;
};

// The storage follows our own capacity rather than std::vector's, so that growth stays predictable
// and item addresses stay put until the capacity changes.
template <class T>
class TzqArrayList : public TzqArrayBase {
 public:
  explicit TzqArrayList(int64_t capacity = 0) : TzqArrayBase(sizeof(T), capacity) {
    items_.reserve(static_cast<size_t>(capacity_));
  }
  TzqArrayList(const TzqArrayList&) = delete;
  TzqArrayList& operator=(const TzqArrayList&) = delete;

  // Shrinking below the count drops the items beyond it; 0 releases the storage.
  void SetCapacity(int64_t newCapacity) {
    if (newCapacity == capacity_) return;
    CheckCapacity(newCapacity);
    if (newCapacity < count_) Truncate(newCapacity);
    std::vector<T> moved;
    moved.reserve(static_cast<size_t>(newCapacity));
    for (T& item : items_) moved.push_back(std::move_if_noexcept(item));
    items_.swap(moved);
    capacity_ = static_cast<int32_t>(newCapacity);
  }

  // Removed items are destroyed, new ones value-initialised.
  void SetSize(int64_t newSize) {
    CheckSize(newSize);
    if (newSize < count_) {
      Truncate(newSize);
    } else {
      TestGrowCapacity(newSize);
      items_.resize(static_cast<size_t>(newSize));
      count_ = static_cast<int32_t>(newSize);
    }
  }

  // Makes room for newSize items.
  void TestGrowCapacity(int64_t newSize) {
    if (newSize <= capacity_) return;
    CheckGrowSize(newSize);
    SetCapacity(GrowCapacity(newSize));
  }

  // Returns the index of the new item.
  int32_t Add(T item) {
    TestGrowCapacity(int64_t{count_} + 1);
    items_.push_back(std::move(item));
    return count_++;
  }

  T* pubItemPtr(int64_t index) {
    CheckIndex(index);
    return &At(static_cast<int32_t>(index));
  }
  const T* pubItemPtr(int64_t index) const {
    CheckIndex(index);
    return &At(static_cast<int32_t>(index));
  }
  T& operator[](int64_t index) { return *pubItemPtr(index); }
  const T& operator[](int64_t index) const { return *pubItemPtr(index); }

  T* begin() { return items_.data(); }
  T* end() { return items_.data() + count_; }
  const T* begin() const { return items_.data(); }
  const T* end() const { return items_.data() + count_; }

  // Sorts the items first..last (inclusive) by compare(a, b), which returns <0, 0 or >0. Not
  // stable. An empty range (last < first) is left alone.
  template <class Compare>
  void Sort(int64_t first, int64_t last, Compare compare) {
    if (first >= last) return;
    CheckIndex(first);
    CheckIndex(last);
    QuickSort(static_cast<int32_t>(first), static_cast<int32_t>(last), compare);
  }

  // Searches the sorted items first..last (inclusive) with compare(item, key), which returns <0, 0
  // or >0.
  template <class Key, class Compare>
  TzqSearchResult Search(const Key& key, int64_t first, int64_t last, Compare compare) const {
    if (first > last) return {false, static_cast<int32_t>(first)};
    CheckIndex(first);
    CheckIndex(last);
    auto low = static_cast<int32_t>(first);
    auto high = static_cast<int32_t>(last);
    bool found = false;
    while (low <= high) {
      const int32_t middle = low + (high - low) / 2;
      const int order = compare(At(middle), key);
      if (order < 0) {
        low = middle + 1;
      } else {
        // Keep narrowing to the left so that duplicates yield their first occurrence.
        high = middle - 1;
        found = found || order == 0;
      }
    }
    return {found, low};
  }

 private:
  T& At(int32_t index) { return items_[static_cast<size_t>(index)]; }
  const T& At(int32_t index) const { return items_[static_cast<size_t>(index)]; }

  void Truncate(int64_t newSize) {
    items_.erase(items_.begin() + static_cast<ptrdiff_t>(newSize), items_.end());
    count_ = static_cast<int32_t>(newSize);
  }

  // Hoare partition around the middle item. The pivot is followed by index instead of copied, so
  // move-only items sort too. Recursing into the smaller part and looping over the larger one
  // bounds the stack depth by log2(count) whatever the input order; the result does not depend on
  // which part goes first.
  template <class Compare>
  void QuickSort(int32_t left, int32_t right, Compare& compare) {
    while (left < right) {
      int32_t i = left;
      int32_t j = right;
      int32_t pivot = left + (right - left) / 2;
      do {
        while (compare(At(i), At(pivot)) < 0) ++i;
        while (compare(At(j), At(pivot)) > 0) --j;
        if (i <= j) {
          if (i != j) {
            std::swap(At(i), At(j));
            if (pivot == i) {
              pivot = j;
            } else if (pivot == j) {
              pivot = i;
            }
          }
          ++i;
          --j;
        }
      } while (i <= j);
      if (j - left < right - i) {
        QuickSort(left, j, compare);
        left = i;
      } else {
        QuickSort(i, right, compare);
        right = j;
      }
    }
  }

  std::vector<T> items_;
};

}  // namespace lym

#include "foundation/zqArrayList.h"

#include <algorithm>

#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int64_t kMaxItemBytes = 33554432;

void CheckRange(int64_t value, int64_t low, int64_t high, const char* where, const char* name) {
  if (value < low || value > high) throw EzqArgumentOutOfRange(where, value, name);
}

}  // namespace

TzqArrayBase::TzqArrayBase(size_t itemSize, int64_t capacity)
    : limit_(static_cast<int32_t>(kMaxItemBytes / static_cast<int64_t>(itemSize))) {
  CheckRange(capacity, 0, limit_, "TzqArrayBase.Create", "ACapacity");
  capacity_ = static_cast<int32_t>(capacity);
}

int32_t TzqArrayBase::GrowCapacity(int64_t newSize) const {
  const int64_t growth = std::max({newSize - capacity_, newSize / 4, int64_t{4}});
  return static_cast<int32_t>(std::min(capacity_ + growth, int64_t{limit_}));
}

void TzqArrayBase::CheckCapacity(int64_t newCapacity) const {
  CheckRange(newCapacity, 0, limit_, "TzqArrayBase.SetCapacity", "ANewCapacity");
}

void TzqArrayBase::CheckSize(int64_t newSize) const {
  CheckRange(newSize, 0, limit_, "TzqArrayBase.SetSize", "ANewSize");
}

void TzqArrayBase::CheckGrowSize(int64_t newSize) const {
  CheckRange(newSize, 0, limit_, "TzqArrayBase.TestGrowCapacity", "ANewSize");
}

void TzqArrayBase::CheckIndex(int64_t index) const {
  CheckRange(index, 0, int64_t{count_} - 1, "TzqArrayBase.pubItemPtr", "AIndex");
}

}  // namespace lym

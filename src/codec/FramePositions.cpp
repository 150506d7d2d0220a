#include "codec/FramePositions.h"

#include <algorithm>

#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int32_t kMinCellSize = 4;

constexpr int32_t DivisionsAt(int level) { return int32_t(64) << level; }

void CheckRange(const char* where, int64_t value, int64_t low, int64_t high, const char* name) {
  if (value < low || value > high) throw EzqArgumentOutOfRange(where, value, name);
}

}  // namespace

TFramePositions::TFramePositions(int32_t unit, int32_t minSize, int32_t alignment, int32_t maxCells,
                                 int maxLevel, int32_t frameLength)
    : frameLength_(frameLength) {
  const char* where = "TFramePositions.Create";
  if (alignment < 1 || (alignment & (alignment - 1)) != 0)
    throw EzqArgumentOutOfRange(where, alignment, "AAlignment");
  CheckRange(where, maxCells, 1, kMaxCells, "AMaxCells");
  CheckRange(where, maxLevel, 0, kMaxLevel, "AMaxLevel");
  CheckRange(where, frameLength, 0, INT32_MAX, "AFrameLength");

  minSize_ = std::max({minSize, kMinCellSize, alignment});
  for (int level = kMaxLevel; level >= 1 && allowedLevel_ == 0; --level) {
    if (minSize_ <= unit / DivisionsAt(level)) allowedLevel_ = level;
  }
  level_ = std::min(maxLevel, allowedLevel_);
  LayOutBorders(unit, alignment, maxCells);
}

// Borders are the cell edges of the grid rounded to the alignment. Each border lies at least one
// alignment step beyond the previous one: at any real sample rate the grid is far coarser than
// that and the rule changes nothing, but at absurdly low rates it keeps cells from being empty.
void TFramePositions::LayOutBorders(int32_t unit, int32_t alignment, int32_t maxCells) {
  const int64_t divisions = DivisionsAt(level_);
  const int64_t alignMask = -int64_t(alignment);
  int32_t i = 0;
  int64_t border = 0;
  do {
    ++i;
    const int64_t grid = (int64_t(unit) * i / divisions + alignment / 2) & alignMask;
    border = std::max(grid, int64_t(border_[i - 1]) + alignment);
    border_[i] = int32_t(std::min<int64_t>(border, frameLength_));
  } while (border < frameLength_ && i < maxCells);

  // The clamp above already ends the last cell at the frame; a short last cell joins its
  // predecessor, except that a frame shorter than one cell keeps its single cell.
  border_[i] = frameLength_;
  if (border > frameLength_ && i >= 2 && frameLength_ - border_[i - 1] < minSize_) {
    --i;
    border_[i] = frameLength_;
  }
  cellCount_ = i;
}

int32_t TFramePositions::Border(int32_t i) const {
  CheckRange("TFramePositions.Border", i, 0, cellCount_, "AIndex");
  return border_[i];
}

int32_t TFramePositions::PositionIndex(int32_t n) const {
  CheckRange("TFramePositions.PositionIndex", n, 0, INT32_MAX, "APosition");
  const auto first = border_.begin();
  return int32_t(std::upper_bound(first, first + cellCount_ + 1, n) - first) - 1;
}

TSubFramePositions::TSubFramePositions(const TFramePositions& positions) : positions_(&positions) {
  SetLayout(positions.FrameLength(), positions.Level());
}

void TSubFramePositions::SetLayout(int32_t n, int level) {
  const char* where = "TSubFramePositions.SetLayout";
  CheckRange(where, n, 0, positions_->FrameLength(), "ALength");
  CheckRange(where, level, 0, positions_->Level(), "ALevel");
  level_ = level;
  shift_ = positions_->Level() - level;
  length_ = n;
  count_ = positions_->PositionIndex(n) >> shift_;
  if (count_ == 0) {
    count_ = 1;
  } else if (n - positions_->Border(count_ << shift_) >= positions_->MinSize()) {
    ++count_;
  }
}

int32_t TSubFramePositions::PartitionStart(int32_t i) const {
  CheckRange("TSubFramePositions.PartitionStart", i, 0, INT32_MAX, "AIndex");
  return i >= count_ ? length_ : positions_->Border(i << shift_);
}

int32_t TSubFramePositions::PartitionSize(int32_t i) const {
  CheckRange("TSubFramePositions.PartitionSize", i, 0, count_ - 1, "AIndex");
  const int32_t end = i == count_ - 1 ? length_ : positions_->Border((i + 1) << shift_);
  return end - positions_->Border(i << shift_);
}

void TSubFramePositions::PartitionSizes(int32_t* out) const {
  for (int32_t i = 0; i < count_; ++i) out[i] = PartitionSize(i);
}

}  // namespace lym

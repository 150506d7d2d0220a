// Layouts of a frame that encoder and decoder derive from the sample rate alone, so that no border
// is ever transmitted: the partitions of a residual block and the grid of sub-frame borders.
//
// TFramePositions is the finest grid of cell borders for the largest frame: at level L a second
// has 64 x 2^L cells, each border rounded to the alignment, and at most maxCells cells are laid out
// (the last one takes the rest of the frame). TSubFramePositions groups those cells into the
// partitions of one actual frame length at one level, each coarser level doubling the group.
#pragma once

#include <array>
#include <cstdint>

namespace lym {

class TFramePositions {
 public:
  static constexpr int kMaxLevel = 3;
  static constexpr int32_t kMaxCells = 128;

  // unit: samples per second; frameLength: the largest frame, 0 or more. alignment must be a power
  // of two, maxCells 1..128 and maxLevel 0..3 (range errors otherwise).
  TFramePositions(int32_t unit, int32_t minSize, int32_t alignment, int32_t maxCells, int maxLevel,
                  int32_t frameLength);

  int Level() const { return level_; }                // finest level in use
  int AllowedLevel() const { return allowedLevel_; }  // finest level the rate allows
  int32_t CellCount() const { return cellCount_; }
  int32_t MinSize() const { return minSize_; }
  int32_t FrameLength() const { return frameLength_; }
  // Border(0) = 0, Border(CellCount()) = FrameLength(); i outside 0..CellCount() is a range error.
  int32_t Border(int32_t i) const;
  // The largest i in 0..CellCount() with Border(i) <= n (n >= 0).
  int32_t PositionIndex(int32_t n) const;

 private:
  void LayOutBorders(int32_t unit, int32_t alignment, int32_t maxCells);

  int32_t frameLength_;
  int32_t minSize_;
  int level_ = 0;
  int allowedLevel_ = 0;
  int32_t cellCount_ = 0;
  std::array<int32_t, kMaxCells + 1> border_{};
};

class TSubFramePositions {
 public:
  // Starts with the largest frame at the finest level. The positions must outlive this object.
  explicit TSubFramePositions(const TFramePositions& positions);

  // Partitions of a frame of n samples (0..FrameLength()) at a level 0..positions.Level(): groups
  // of 2^(finest level - level) cells; a remainder shorter than MinSize() joins the last group.
  void SetLayout(int32_t n, int level);

  int Level() const { return level_; }
  int32_t Length() const { return length_; }
  int32_t Count() const { return count_; }  // 1 or more
  // Start of partition i; Length() for i >= Count().
  int32_t PartitionStart(int32_t i) const;
  int32_t PartitionSize(int32_t i) const;  // i in 0..Count() - 1
  // Writes Count() sizes.
  void PartitionSizes(int32_t* out) const;

 private:
  const TFramePositions* positions_;
  int32_t length_ = 0;
  int level_ = 0;
  int shift_ = 0;
  int32_t count_ = 1;
};

// The grid on which the sub-frames of a channel begin: cells of at least 8 samples on multiples
// of 8, at most 64 cells, finest level 2. The partition search lays sub-frames out on it and the
// decoder reads them back on it; a layout is stored as the count - 1 and the first cell of every
// sub-frame after the first.
inline constexpr int32_t kSubFrameGridMinSize = 8;
inline constexpr int32_t kSubFrameGridAlignment = 8;
inline constexpr int32_t kSubFrameGridMaxCells = 64;
inline constexpr int kSubFrameGridMaxLevel = 2;
inline constexpr int kSubFrameCountBits = 3;
inline constexpr int kSubFrameCellBits = 6;

inline TFramePositions SubFrameGrid(int32_t sampleRate, int32_t frameLength) {
  return TFramePositions(sampleRate, kSubFrameGridMinSize, kSubFrameGridAlignment,
                         kSubFrameGridMaxCells, kSubFrameGridMaxLevel, frameLength);
}

}  // namespace lym

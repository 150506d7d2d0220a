// Where the sub-frames of a channel begin.
//
// A channel (the values after its first sample) is coded as 1 to 5 consecutive sub-frames that
// start on cells of the frame's sub-frame grid. The search groups cells into units (1/64, 1/128 or
// 1/256 second for resolutions 0, 1, 2), costs every range of units with an order-4 prediction
// estimate built from per-unit correlation sums, tries every split into up to five ranges, and
// picks a count, charging more sub-frames for the predictors they add.
#pragma once

#include <array>
#include <cstdint>

#include "codec/BitStream.h"
#include "codec/Dsp.h"
#include "codec/FrameDecoder.h"
#include "codec/FramePositions.h"
#include "foundation/zqAlignedMem.h"

namespace lym {

// Correlation sums of consecutive segments: per segment the internal lags 0..L-1 and the cross
// lags 1..L-1 of the products that straddle its start. Summing the internal and cross sums of
// consecutive segments gives the exact autocorrelation of their union at every lag shorter than
// each of its segments.
class TFramePartitionCorrs {
 public:
  TFramePartitionCorrs(int32_t maxSegments, int lags);
  TFramePartitionCorrs(const TFramePartitionCorrs&) = delete;
  TFramePartitionCorrs& operator=(const TFramePartitionCorrs&) = delete;

  int Lags() const { return lags_; }
  int32_t Count() const { return count_; }

  // Segment i covers values[starts[i] .. starts[i + 1] - 1]; count in 1..maxSegments.
  void Fill(const TDspKernels& kernels, const int16_t* values, const int32_t* starts,
            int32_t count);

  // r[0..L-1] of one segment.
  void Begin(int32_t segment, int64_t* r) const;
  // Joins a segment to r, the sums of the range that ends just before it.
  void Append(int32_t segment, int64_t* r) const;
  // Joins a segment to r, the sums of the range that starts just after it.
  void Prepend(int32_t segment, int64_t* r) const;

 private:
  const int64_t* Internal(int32_t segment) const;
  const int64_t* Cross(int32_t segment) const;
  void CheckSegment(int32_t segment) const;

  int32_t maxSegments_;
  int lags_;
  int32_t count_ = 0;
  TAntiAliasArray<int64_t> sums_;  // per segment: L internal, then L cross (lag 0 unused)
};

// One border of a split: the cell the sub-frame starts on (finest grid level) and its first value.
struct TPartitionBorder {
  int32_t Cell = 0;
  int32_t Start = 0;
};

// A split into Count sub-frames: Borders[0..Count - 1] begin them, Borders[Count] closes the
// channel (the channel's cell count and value count). Count 0: no split of that count was found.
struct TPartitionRecord {
  int32_t Count = 0;
  std::array<TPartitionBorder, kMaxSubFrames + 1> Borders{};
};

struct TPartitionResult {
  static constexpr int64_t kNoSplit = 1048576;

  int32_t MaxCount = 1;    // counts 1..MaxCount were searched
  int32_t Chosen = 1;      // 1..MaxCount
  int64_t ChosenBits = 0;  // estimate of the chosen split, without the count's penalty
  std::array<int64_t, kMaxSubFrames> Sizes{};  // best split per count 1..5, kNoSplit when none
  std::array<TPartitionRecord, kMaxSubFrames> Records{};

  const TPartitionRecord& ChosenRecord() const { return Records[size_t(Chosen - 1)]; }
};

class TFramePartitionCalculator {
 public:
  // resolution: 0..2 (higher settings use the finest grid level); maxSubFrames: 1..5;
  // valueCapacity: the longest channel, the frame length - 1.
  TFramePartitionCalculator(uint32_t cpuFlags, int32_t sampleRate, int resolution,
                            int maxSubFrames, int32_t valueCapacity);
  TFramePartitionCalculator(const TFramePartitionCalculator&) = delete;
  TFramePartitionCalculator& operator=(const TFramePartitionCalculator&) = delete;

  // Searches the split of the channel's n values (n <= capacity). orderBound: the largest
  // predictor order the encoder may use, which prices each added sub-frame. True when more than
  // one sub-frame was chosen.
  bool FindPartition(const int32_t* values, int32_t n, int32_t orderBound,
                     TPartitionResult& result);

 private:
  void LayOut(int32_t n);
  void FillSingleSubFrame(const int32_t* values, int32_t n, TPartitionResult& result) const;
  void CostRanges(const int32_t* values, int32_t n, int32_t maxCount);
  void CostRangesFrom(int32_t first, int s);
  void CostSuffixes(int s);
  void StoreCost(int32_t first, int32_t last, const int64_t* r, int s);
  int64_t Cost(int32_t first, int32_t last) const;
  void SearchSplits(int32_t count, int32_t placed, int32_t from, int64_t partial,
                    std::array<int32_t, kMaxSubFrames>& units);
  static int32_t ChooseCount(const TPartitionResult& result, int32_t orderBound);
  void FillRecord(int32_t count, const std::array<int32_t, kMaxSubFrames>& units,
                  TPartitionRecord& record) const;

  const TDspKernels* kernels_;
  int32_t capacity_;
  int maxSubFrames_;
  TFramePositions grid_;
  TSubFramePositions units_;
  TSubFramePositions cells_;
  int resolution_;
  int cellShift_;  // cells per unit = 2^cellShift_
  int32_t length_ = -1;
  int32_t unitCount_ = 0;
  std::array<int32_t, TFramePositions::kMaxCells + 1> unitStarts_{};
  std::array<int32_t, TFramePositions::kMaxCells> rowStarts_{};
  TAntiAliasArray<int32_t> costs_;  // triangular: row per first unit, column per last unit
  TFramePartitionCorrs corrs_;
  TAntiAliasArray<int16_t> scaled_;
  // Best split per count during the search.
  std::array<int64_t, kMaxSubFrames> bestSizes_{};
  std::array<std::array<int32_t, kMaxSubFrames>, kMaxSubFrames> bestUnits_{};
};

// Writes the count - 1 in 3 bits and the first cell of every sub-frame after the first in 6 bits.
void WritePartition(TBitOutStream& writer, const TPartitionRecord& record);

}  // namespace lym

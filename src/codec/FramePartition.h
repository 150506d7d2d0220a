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
#include <optional>

#include "codec/Adcbitco.h"
#include "codec/BitStream.h"
#include "codec/Dsp.h"
#include "codec/FrameDecoder.h"
#include "codec/FramePositions.h"
#include "codec/Lpc_Encode.h"
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

// The borders between which the validator sums correlation segments: ascending, 0 and the channel's
// value count always listed, no two closer than the minimum distance, so that every segment is
// longer than the highest lag and the sums of consecutive segments stay exact.
class TfpSubFrameBorderList {
 public:
  // 0, the value count and the 10 distinct inner borders of splits into 2 to 5 sub-frames.
  static constexpr int32_t kMaxCount = 12;

  void Reset(int32_t end, int32_t minDistance);
  // Lists a position of 0..end unless it is listed already or too close to a neighbour.
  void Insert(int32_t position);

  int32_t Count() const { return count_; }
  const int32_t* Positions() const { return positions_.data(); }
  // Index of a listed position; -1 when it is not listed.
  int32_t IndexOf(int32_t position) const;

 private:
  std::array<int32_t, kMaxCount> positions_{};
  int32_t count_ = 0;
  int32_t end_ = 0;
  int32_t minDistance_ = 0;
};

// The sub-frames of one channel that the validator has costed: splits of different counts share
// ranges, and each is costed once.
class TfpPartitionsSubFramesDataList {
 public:
  // 1 + 2 + 3 + 4 + 5 sub-frames of splits into 1 to 5.
  static constexpr int32_t kMaxCount = 15;

  void Clear() { count_ = 0; }
  // The bits of the sub-frame [start, end), when it was costed.
  std::optional<int64_t> Find(int32_t start, int32_t end) const;
  void Add(int32_t start, int32_t end, int64_t bits);
  int32_t Count() const { return count_; }

 private:
  struct TEntry {
    uint32_t Key = 0;  // start | end << 16
    int64_t Bits = 0;
  };
  static uint32_t KeyOf(int32_t start, int32_t end);

  std::array<TEntry, kMaxCount> entries_{};
  int32_t count_ = 0;
};

// Re-costs the splits that the calculator found with the real predictor search and picks the count
// again. Ranges between borders of the calculator's splits take their autocorrelation from segment
// sums (corrected for the window at both ends); other ranges go through a predictor encoder.
class TFramePartitionValidator {
 public:
  // orderIndex and applyWindow: the frame encoder's predictor options; valueCapacity: the longest
  // channel, the frame length - 1 (below 65536).
  TFramePartitionValidator(uint32_t cpuFlags, int32_t sampleRate, int32_t orderIndex,
                           bool applyWindow, int32_t valueCapacity);
  TFramePartitionValidator(const TFramePartitionValidator&) = delete;
  TFramePartitionValidator& operator=(const TFramePartitionValidator&) = delete;

  // Costs the splits of result (as FindPartition left it for these n values) count by count and
  // keeps a count only when it saves more than 11 bits per sub-frame beyond the first against
  // the best so far; stops at the first count that does not, once past the calculator's choice.
  // Sets result.Chosen and result.ChosenBits. True when more than one sub-frame was chosen.
  bool Validate(const int32_t* values, int32_t n, TBitCompressor& compressor,
                TPartitionResult& result);

  // The sub-frames the last call costed.
  const TfpPartitionsSubFramesDataList& CostedSubFrames() const { return costed_; }
  // r[0..order] of the last call's channel over [start, end), start and end being borders that
  // its segments run between: the autocorrelation the encoder computes on the range's scaled and
  // windowed values for that highest order.
  void RangeAutocorrelation(int32_t start, int32_t end, int32_t order, int64_t* r);

 private:
  // Autocorrelation change that the window makes at one end of a range, valid for one position,
  // order and window length.
  struct TEdgeCorrection {
    int32_t Position = -1;
    int32_t Order = 0;
    int32_t Window = 0;
    std::array<int64_t, kMaxOrder + 1> Sums{};
  };

  void PrepareSegments(const int32_t* values, int32_t n, const TPartitionResult& result);
  int64_t SplitBits(const TPartitionRecord& record, TBitCompressor& compressor);
  int64_t SubFrameBits(int32_t start, int32_t end, TBitCompressor& compressor);
  bool PredictedFromSegments(int32_t start, int32_t end, int64_t& bits);
  bool PredictedByEncoder(int32_t start, int32_t end, TBitCompressor& compressor, int64_t& bits);
  void SumRange(int32_t start, int32_t end, int32_t order);
  const TEdgeCorrection& EdgeCorrection(int32_t position, bool head, int32_t order,
                                        int32_t window);
  void ComputeEdgeCorrection(bool head, TEdgeCorrection& correction);

  const TDspKernels* kernels_;
  int32_t capacity_;
  int32_t maxOrder_;  // the order the options allow, whatever the channel's length
  bool applyWindow_;
  TLpcEncoder encoder_;
  TLpcPredictorCalculator calculator_;
  TfpPartitionsSubFramesDataList costed_;
  TFramePartitionCorrs corrs_;
  TfpSubFrameBorderList borders_;
  TEdgeCorrection startCorrection_;   // kept: every split's first sub-frame starts at 0
  TEdgeCorrection endCorrection_;     // kept: every split's last sub-frame ends at n
  TEdgeCorrection innerCorrection_;   // recomputed for every inner border
  TAntiAliasArray<int16_t> scaled_;
  TAntiAliasArray<int16_t> tapered_;  // one edge windowed, with the values its lags reach
  TAntiAliasArray<int32_t> subFrameValues_;  // the encoder rewrites what it codes
  TLpcSubFrame subFrame_;
  std::array<int64_t, kMaxOrder + 1> autocorrelation_{};
  const int32_t* values_ = nullptr;  // the channel of the current call
  int32_t length_ = 0;
  int scaleShift_ = 0;
  bool segmented_ = false;
};

// Writes the count - 1 in 3 bits and the first cell of every sub-frame after the first in 6 bits.
void WritePartition(TBitOutStream& writer, const TPartitionRecord& record);

}  // namespace lym

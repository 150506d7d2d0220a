#include "codec/FramePartition.h"

#include <algorithm>
#include <cstdint>

#include "codec/LpcEstimate.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {


constexpr int kEstimateLags = 5;  // order-4 estimate
// Below this a channel is too short for prediction to pay.
constexpr int32_t kSmallestSplitChannel = 17;

constexpr int32_t TriangleSize(int32_t n) { return n * (n + 1) / 2; }

}  // namespace

TFramePartitionCorrs::TFramePartitionCorrs(int32_t maxSegments, int lags)
    : maxSegments_(maxSegments), lags_(lags), sums_(size_t(maxSegments) * 2 * size_t(lags)) {
  LYM_ASSERT(maxSegments >= 1 && lags >= 1, "Correlation sums without segments or lags");
}

void TFramePartitionCorrs::CheckSegment(int32_t segment) const {
  LYM_ASSERT(segment >= 0 && segment < count_, "Correlation segment outside the list");
}

const int64_t* TFramePartitionCorrs::Internal(int32_t segment) const {
  return sums_.Data() + size_t(segment) * 2 * size_t(lags_);
}

const int64_t* TFramePartitionCorrs::Cross(int32_t segment) const {
  return Internal(segment) + lags_;
}

void TFramePartitionCorrs::Fill(const TDspKernels& kernels, const int16_t* values,
                                const int32_t* starts, int32_t count) {
  LYM_ASSERT(count >= 1 && count <= maxSegments_, "Correlation segment count out of range");
  count_ = count;
  const int32_t end = starts[count];
  for (int32_t segment = 0; segment < count; ++segment) {
    const int32_t b = starts[segment];
    int64_t* internal = sums_.Data() + size_t(segment) * 2 * size_t(lags_);
    int64_t* cross = internal + lags_;
    kernels.Autocorrelation16(values + b, starts[segment + 1] - b, 0, lags_ - 1, internal);
    cross[0] = 0;
    // Products x[b - k + j] x[b + j] that exist: neither before the first value nor past the last.
    for (int k = 1; k < lags_; ++k) {
      const int32_t from = std::max(0, k - b), to = std::min(k, end - b);
      cross[k] = from < to ? kernels.DotProduct16(values + b - k + from, values + b + from, to - from)
                           : 0;
    }
  }
}

void TFramePartitionCorrs::Begin(int32_t segment, int64_t* r) const {
  CheckSegment(segment);
  std::copy_n(Internal(segment), lags_, r);
}

void TFramePartitionCorrs::Append(int32_t segment, int64_t* r) const {
  CheckSegment(segment);
  for (int k = 0; k < lags_; ++k) r[k] += Internal(segment)[k] + Cross(segment)[k];
}

void TFramePartitionCorrs::Prepend(int32_t segment, int64_t* r) const {
  CheckSegment(segment);
  CheckSegment(segment + 1);
  for (int k = 0; k < lags_; ++k) r[k] += Internal(segment)[k] + Cross(segment + 1)[k];
}

TFramePartitionCalculator::TFramePartitionCalculator(uint32_t cpuFlags, int32_t sampleRate,
                                                     int resolution, int maxSubFrames,
                                                     int32_t valueCapacity)
    : kernels_(&DspKernels(cpuFlags)),
      capacity_(valueCapacity),
      maxSubFrames_(maxSubFrames),
      // Laid out over the channel's samples, first sample included, as the decoder does.
      grid_(SubFrameGrid(sampleRate, valueCapacity + 1)),
      units_(grid_),
      cells_(grid_),
      resolution_(std::clamp(resolution, 0, grid_.Level())),
      cellShift_(grid_.Level() - resolution_),
      costs_(size_t(TriangleSize(kSubFrameGridMaxCells))),
      corrs_(kSubFrameGridMaxCells, kEstimateLags),
      scaled_(size_t(valueCapacity)) {
  LYM_ASSERT(maxSubFrames >= 1 && maxSubFrames <= kMaxSubFrames, "Sub-frame count out of range");
}

void TFramePartitionCalculator::LayOut(int32_t n) {
  length_ = n;
  units_.SetLayout(n + 1, resolution_);
  cells_.SetLayout(n + 1, grid_.Level());
  unitCount_ = units_.Count();
  for (int32_t u = 0; u < unitCount_; ++u) unitStarts_[size_t(u)] = units_.PartitionStart(u);
  unitStarts_[size_t(unitCount_)] = n;
  int32_t rowStart = 0;
  for (int32_t u = 0; u < unitCount_; ++u) {
    rowStarts_[size_t(u)] = rowStart;
    rowStart += unitCount_ - u;
  }
}

bool TFramePartitionCalculator::FindPartition(const int32_t* values, int32_t n,
                                              int32_t orderBound, TPartitionResult& result) {
  LYM_ASSERT(n >= 0 && n <= capacity_, "Partition search beyond its capacity");
  if (n != length_) LayOut(n);
  result = TPartitionResult{};
  result.Sizes.fill(TPartitionResult::kNoSplit);
  if (n < kSmallestSplitChannel) {
    FillSingleSubFrame(values, n, result);
    return false;
  }
  if (int64_t(orderBound) * 4 >= n) orderBound = OrderLimit(n);

  const int32_t maxCount = std::min(int32_t(maxSubFrames_), unitCount_);
  CostRanges(values, n, maxCount);
  for (int32_t count = 1; count <= maxCount; ++count) {
    // Whatever it costs, the whole channel is the split into one; a count whose splits all cost
    // kNoSplit or more keeps a valid record of its lowest borders.
    bestSizes_[size_t(count - 1)] = count == 1 ? INT64_MAX : TPartitionResult::kNoSplit;
    std::array<int32_t, kMaxSubFrames> units{};
    for (int32_t i = 0; i < count; ++i) units[size_t(i)] = i;
    bestUnits_[size_t(count - 1)] = units;
    SearchSplits(count, 0, 0, 0, units);
  }

  result.MaxCount = maxCount;
  for (int32_t count = 1; count <= maxCount; ++count) {
    result.Sizes[size_t(count - 1)] = bestSizes_[size_t(count - 1)];
    FillRecord(count, bestUnits_[size_t(count - 1)], result.Records[size_t(count - 1)]);
  }
  result.Chosen = ChooseCount(result, orderBound);
  result.ChosenBits = result.Sizes[size_t(result.Chosen - 1)];
  return result.Chosen > 1;
}

void TFramePartitionCalculator::FillSingleSubFrame(const int32_t* values, int32_t n,
                                                   TPartitionResult& result) const {
  result.ChosenBits = DifferenceBits(values, n);
  result.Sizes[0] = result.ChosenBits;
  FillRecord(1, {}, result.Records[0]);
}

void TFramePartitionCalculator::CostRanges(const int32_t* values, int32_t n, int32_t maxCount) {
  const int s = ScaleShiftFor(kernels_->MagnitudeOr(values, n));
  ScaledCopy16(*kernels_, values, scaled_.Data(), n, s);
  corrs_.Fill(*kernels_, scaled_.Data(), unitStarts_.data(), unitCount_);
  // Up to two sub-frames only prefixes and suffixes of the channel can occur.
  if (maxCount > 2) {
    for (int32_t first = 0; first < unitCount_; ++first) CostRangesFrom(first, s);
  } else {
    CostRangesFrom(0, s);
    if (maxCount == 2) CostSuffixes(s);
  }
}

void TFramePartitionCalculator::CostRangesFrom(int32_t first, int s) {
  int64_t r[kEstimateLags];
  corrs_.Begin(first, r);
  StoreCost(first, first, r, s);
  for (int32_t last = first + 1; last < unitCount_; ++last) {
    corrs_.Append(last, r);
    StoreCost(first, last, r, s);
  }
}

void TFramePartitionCalculator::CostSuffixes(int s) {
  const int32_t last = unitCount_ - 1;
  int64_t r[kEstimateLags];
  corrs_.Begin(last, r);
  StoreCost(last, last, r, s);
  for (int32_t first = last - 1; first >= 1; --first) {
    corrs_.Prepend(first, r);
    StoreCost(first, last, r, s);
  }
}

void TFramePartitionCalculator::StoreCost(int32_t first, int32_t last, const int64_t* r, int s) {
  const int32_t length = unitStarts_[size_t(last + 1)] - unitStarts_[size_t(first)];
  const int64_t bits = QuickPredictionBits(length, r).Bits + int64_t(s) * length;
  costs_.Data()[rowStarts_[size_t(first)] + (last - first)] = int32_t(bits);
}

int64_t TFramePartitionCalculator::Cost(int32_t first, int32_t last) const {
  return costs_.Data()[rowStarts_[size_t(first)] + (last - first)];
}

// Depth-first in ascending border order, replacing only on a strictly smaller size: of equal
// splits the one with the lowest borders stays.
void TFramePartitionCalculator::SearchSplits(int32_t count, int32_t placed, int32_t from,
                                             int64_t partial,
                                             std::array<int32_t, kMaxSubFrames>& units) {
  units[size_t(placed)] = from;
  const int32_t last = unitCount_ - 1;
  if (placed == count - 1) {
    const int64_t total = partial + Cost(from, last);
    if (total < bestSizes_[size_t(count - 1)]) {
      bestSizes_[size_t(count - 1)] = total;
      bestUnits_[size_t(count - 1)] = units;
    }
    return;
  }
  const int32_t remaining = count - 1 - placed;  // borders still to place, this one included
  for (int32_t next = from + 1; next <= last - (remaining - 1); ++next)
    SearchSplits(count, placed + 1, next, partial + Cost(from, next - 1), units);
}

// Each sub-frame beyond the first carries a predictor and its warm-up: the first extra one must
// save 5 orders' worth of bits, every further one 2 more per step.
int32_t TFramePartitionCalculator::ChooseCount(const TPartitionResult& result,
                                               int32_t orderBound) {
  const int64_t b = orderBound;
  int64_t best = TPartitionResult::kNoSplit;
  int32_t chosen = 0;
  for (int32_t k = 0; k < result.MaxCount; ++k) {
    int64_t penalty = 0;
    if (k > 0) penalty = chosen > 0 ? 2 * b * (k - chosen) : 5 * b + 2 * b * (k - 1);
    if (result.Sizes[size_t(k)] + penalty < best) {
      best = result.Sizes[size_t(k)];
      chosen = k;
    }
  }
  return chosen + 1;
}

void TFramePartitionCalculator::FillRecord(int32_t count,
                                           const std::array<int32_t, kMaxSubFrames>& units,
                                           TPartitionRecord& record) const {
  record.Count = count;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t unit = units[size_t(i)];
    record.Borders[size_t(i)] = {unit << cellShift_, unitStarts_[size_t(unit)]};
  }
  record.Borders[size_t(count)] = {cells_.Count(), length_};
}

void WritePartition(TBitOutStream& writer, const TPartitionRecord& record) {
  LYM_ASSERT(record.Count >= 1 && record.Count <= kMaxSubFrames, "Partition without sub-frames");
  writer.WriteBits(uint32_t(record.Count - 1), kSubFrameCountBits);
  for (int32_t i = 1; i < record.Count; ++i) {
    const int32_t cell = record.Borders[size_t(i)].Cell;
    LYM_ASSERT(cell > record.Borders[size_t(i - 1)].Cell && cell < (1 << kSubFrameCellBits),
               "Partition borders out of order");
    writer.WriteBits(uint32_t(cell), kSubFrameCellBits);
  }
}

}  // namespace lym

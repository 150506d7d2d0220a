#include "codec/FramePartition.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "codec/LpcEstimate.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {


constexpr int kEstimateLags = 5;  // order-4 estimate
// Below this a channel is too short for prediction to pay.
constexpr int32_t kSmallestSplitChannel = 17;

constexpr int32_t TriangleSize(int32_t n) { return n * (n + 1) / 2; }

// A further sub-frame must save this many estimated bits to be worth its predictor.
constexpr int64_t kValidatedSubFrameBits = 11;
// Ranges too short for a difference estimate are taken at this size.
constexpr int64_t kTinySubFrameBits = 16;

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

// ---- Validator ------------------------------------------------------------------------------

void TfpSubFrameBorderList::Reset(int32_t end, int32_t minDistance) {
  positions_[0] = 0;
  positions_[1] = end;
  count_ = end > 0 ? 2 : 1;
  end_ = end;
  minDistance_ = minDistance;
}

void TfpSubFrameBorderList::Insert(int32_t position) {
  LYM_ASSERT(position >= 0 && position <= end_, "Sub-frame border outside the channel");
  const int32_t* first = positions_.data();
  const int32_t index = int32_t(std::lower_bound(first, first + count_, position) - first);
  if (index < count_ && positions_[size_t(index)] == position) return;
  // 0 is always listed, so a new position has a neighbour on either side.
  if (position - positions_[size_t(index - 1)] < minDistance_ ||
      positions_[size_t(index)] - position < minDistance_)
    return;
  LYM_ASSERT(count_ < kMaxCount, "Too many sub-frame borders");
  std::copy_backward(first + index, first + count_, positions_.data() + count_ + 1);
  positions_[size_t(index)] = position;
  ++count_;
}

int32_t TfpSubFrameBorderList::IndexOf(int32_t position) const {
  const int32_t* first = positions_.data();
  const int32_t* found = std::lower_bound(first, first + count_, position);
  return found != first + count_ && *found == position ? int32_t(found - first) : -1;
}

uint32_t TfpPartitionsSubFramesDataList::KeyOf(int32_t start, int32_t end) {
  return uint32_t(start) | uint32_t(end) << 16;
}

std::optional<int64_t> TfpPartitionsSubFramesDataList::Find(int32_t start, int32_t end) const {
  const uint32_t key = KeyOf(start, end);
  for (int32_t i = 0; i < count_; ++i)
    if (entries_[size_t(i)].Key == key) return entries_[size_t(i)].Bits;
  return std::nullopt;
}

void TfpPartitionsSubFramesDataList::Add(int32_t start, int32_t end, int64_t bits) {
  LYM_ASSERT(count_ < kMaxCount, "Too many costed sub-frames");
  entries_[size_t(count_++)] = {KeyOf(start, end), bits};
}

TFramePartitionValidator::TFramePartitionValidator(uint32_t cpuFlags, int32_t sampleRate,
                                                   int32_t orderIndex, bool applyWindow,
                                                   int32_t valueCapacity)
    : kernels_(&DspKernels(cpuFlags)),
      capacity_(valueCapacity),
      maxOrder_(kOrderTable[std::clamp(orderIndex, 0, kOrderCount - 1)]),
      applyWindow_(applyWindow),
      encoder_(cpuFlags, valueCapacity, sampleRate, {kQuantExact, orderIndex, applyWindow}),
      calculator_(cpuFlags, valueCapacity, sampleRate, {kQuantExact, orderIndex, applyWindow}),
      corrs_(TfpSubFrameBorderList::kMaxCount - 1, maxOrder_ + 1),
      scaled_(size_t(std::max(valueCapacity, 1))),
      tapered_(size_t(kMaxWindowLength + kMaxOrder)),
      subFrameValues_(size_t(std::max(valueCapacity, 1))) {
  // Cost keys hold a position in 16 bits.
  LYM_ASSERT(valueCapacity >= 0 && valueCapacity < (1 << 16), "Channel too long to validate");
}

bool TFramePartitionValidator::Validate(const int32_t* values, int32_t n,
                                        TBitCompressor& compressor, TPartitionResult& result) {
  LYM_ASSERT(n >= 0 && n <= capacity_, "Partition validation beyond its capacity");
  LYM_ASSERT(result.MaxCount >= 1 && result.MaxCount <= kMaxSubFrames,
             "Sub-frame count out of range");
  values_ = values;
  length_ = n;
  costed_.Clear();
  startCorrection_.Position = -1;
  endCorrection_.Position = -1;
  PrepareSegments(values, n, result);

  const int32_t calculatorChoice = result.Chosen - 1;
  int64_t best = TPartitionResult::kNoSplit;
  int32_t chosen = 0;
  for (int32_t k = 0; k < result.MaxCount; ++k) {
    const int64_t total = SplitBits(result.Records[size_t(k)], compressor);
    if (kValidatedSubFrameBits * k + total < best) {
      best = total;
      chosen = k;
    } else if (k >= calculatorChoice) {
      break;
    }
  }
  result.Chosen = chosen + 1;
  result.ChosenBits = best;
  return chosen > 0;
}

// Segments run between the inner borders of all splits, each longer than the highest lag.
// Channels whose scale shift the format cannot store get no predictor; the encoder path finds
// that out per range.
void TFramePartitionValidator::PrepareSegments(const int32_t* values, int32_t n,
                                               const TPartitionResult& result) {
  segmented_ = false;
  if (n <= 2 * maxOrder_) return;
  scaleShift_ = ScaleShiftFor(kernels_->MagnitudeOr(values, n));
  if (scaleShift_ > kMaxScaleShift) return;
  borders_.Reset(n, maxOrder_ + 1);
  for (int32_t k = 1; k < result.MaxCount; ++k) {
    const TPartitionRecord& record = result.Records[size_t(k)];
    for (int32_t i = 1; i < record.Count; ++i) borders_.Insert(record.Borders[size_t(i)].Start);
  }
  if (borders_.Count() < 3) return;
  ScaledCopy16(*kernels_, values, scaled_.Data(), n, scaleShift_);
  corrs_.Fill(*kernels_, scaled_.Data(), borders_.Positions(), borders_.Count() - 1);
  segmented_ = true;
}

int64_t TFramePartitionValidator::SplitBits(const TPartitionRecord& record,
                                            TBitCompressor& compressor) {
  int64_t total = 0;
  for (int32_t i = 0; i < record.Count; ++i)
    total += SubFrameBits(record.Borders[size_t(i)].Start, record.Borders[size_t(i + 1)].Start,
                          compressor);
  return total;
}

int64_t TFramePartitionValidator::SubFrameBits(int32_t start, int32_t end,
                                               TBitCompressor& compressor) {
  if (const std::optional<int64_t> known = costed_.Find(start, end)) return *known;
  int64_t bits = 0;
  const bool fromSegments =
      segmented_ && borders_.IndexOf(start) >= 0 && borders_.IndexOf(end) >= 0;
  const bool predicted = fromSegments ? PredictedFromSegments(start, end, bits)
                                      : PredictedByEncoder(start, end, compressor, bits);
  if (!predicted)
    bits = end - start < 2 ? kTinySubFrameBits : DifferenceBits(values_ + start, end - start);
  costed_.Add(start, end, bits);
  return bits;
}

bool TFramePartitionValidator::PredictedFromSegments(int32_t start, int32_t end, int64_t& bits) {
  const int32_t n = end - start;
  const int32_t order = calculator_.MaxOrderFor(n);
  if (order == 0) return false;
  SumRange(start, end, order);
  const TLpcBlock block{values_ + start, scaled_.Data() + start, n, scaleShift_,
                        autocorrelation_.data()};
  TLpcChoice choice;
  if (!calculator_.Calculate(block, false, choice, nullptr)) return false;
  bits = choice.Bits;
  return true;
}

bool TFramePartitionValidator::PredictedByEncoder(int32_t start, int32_t end,
                                                  TBitCompressor& compressor, int64_t& bits) {
  const int32_t n = end - start;
  std::copy_n(values_ + start, n, subFrameValues_.Data());
  return encoder_.Encode(subFrameValues_.Data(), n, false, compressor, subFrame_, bits);
}

void TFramePartitionValidator::RangeAutocorrelation(int32_t start, int32_t end, int32_t order,
                                                    int64_t* r) {
  SumRange(start, end, order);
  std::copy_n(autocorrelation_.data(), order + 1, r);
}

// The segment sums hold every lag up to the options' order; the window corrections only those
// up to the range's own highest order.
void TFramePartitionValidator::SumRange(int32_t start, int32_t end, int32_t order) {
  const int32_t first = borders_.IndexOf(start), last = borders_.IndexOf(end) - 1;
  LYM_ASSERT(segmented_ && first >= 0 && last >= first &&
                 order <= calculator_.MaxOrderFor(end - start),
             "Range outside the correlation segments");
  int64_t* r = autocorrelation_.data();
  corrs_.Begin(first, r);
  for (int32_t segment = first + 1; segment <= last; ++segment) corrs_.Append(segment, r);
  const int32_t w = applyWindow_ ? WindowLength(end - start, order) : 0;
  if (w == 0) return;
  // One at a time: both inner ends share a correction slot.
  for (const bool head : {true, false}) {
    const TEdgeCorrection& edge = EdgeCorrection(head ? start : end, head, order, w);
    for (int32_t k = 0; k <= order; ++k) r[k] += edge.Sums[size_t(k)];
  }
}

const TFramePartitionValidator::TEdgeCorrection& TFramePartitionValidator::EdgeCorrection(
    int32_t position, bool head, int32_t order, int32_t window) {
  TEdgeCorrection& correction = position == 0         ? startCorrection_
                                : position == length_ ? endCorrection_
                                                      : innerCorrection_;
  const bool kept = &correction != &innerCorrection_ && correction.Position == position &&
                    correction.Order == order && correction.Window == window;
  if (!kept) {
    correction.Position = position;
    correction.Order = order;
    correction.Window = window;
    ComputeEdgeCorrection(head, correction);
  }
  return correction;
}

// The window changes only the products that have a factor among the w edge values. The ranges are
// at least 8 windows and 4 orders long, so the products of one end never reach the other end.
void TFramePartitionValidator::ComputeEdgeCorrection(bool head, TEdgeCorrection& correction) {
  const int32_t w = correction.Window, order = correction.Order;
  int16_t* t = tapered_.Data();
  if (head) {
    // t = the range's first w + order values, the first w tapered.
    const int16_t* h = scaled_.Data() + correction.Position;
    std::copy_n(h, w + order, t);
    for (int32_t i = 0; i < w; ++i) t[i] = Taper(t[i], w + i + 1, w);
    for (int32_t k = 0; k <= order; ++k)
      correction.Sums[size_t(k)] =
          kernels_->DotProduct16(t, t + k, w) - kernels_->DotProduct16(h, h + k, w);
  } else {
    // t = the range's last order + w values, the last w tapered.
    const int16_t* h = scaled_.Data() + correction.Position - w - order;
    std::copy_n(h, order + w, t);
    for (int32_t j = 0; j < w; ++j) t[order + j] = Taper(t[order + j], 2 * w - j, w);
    for (int32_t k = 0; k <= order; ++k)
      correction.Sums[size_t(k)] = kernels_->DotProduct16(t + order - k, t + order, w) -
                                   kernels_->DotProduct16(h + order - k, h + order, w);
  }
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

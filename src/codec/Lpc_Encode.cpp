#include "codec/Lpc_Encode.h"

#include <algorithm>
#include <cmath>

#include "codec/Arithmetic.h"
#include "codec/DifferenceOrder.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int kPredictionBits = 10;
constexpr int kGroupWidthBits = 4;         // up to order 16: each group stores its width
constexpr int32_t kReducedHeaderBits = 5;  // above order 16: W and the reduction field size
constexpr int32_t kShiftFieldBits = 3;
constexpr float kQuantLimit = 1073741824.0f;  // 2^30
constexpr double kNoCostYet = 1048576;

// Starting coefficient shift of the step search per order index, for plain and for pre-filtered
// channels: longer predictors start at finer steps.
constexpr int kStartShift[2][kOrderCount] = {
    {6, 5, 5, 5, 5, 5, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3},
    {6, 6, 6, 5, 5, 5, 5, 5, 5, 5, 5, 4, 4, 4, 4, 4},
};

int32_t OrderIndexOf(int32_t order) {
  int32_t index = 0;
  while (index + 1 < kOrderCount && kOrderTable[index + 1] <= order) ++index;
  return index;
}

uint32_t MagnitudeOr(const int32_t* values, int32_t n) {
  uint32_t m = 0;
  for (int32_t i = 0; i < n; ++i) m |= Magnitude(values[i]);
  return m;
}

// Bits of a two's complement field that holds every value whose magnitudes OR to m; a group of
// zeros still takes one bit per value.
int SignedWidth(uint32_t m) { return std::max(1, HighestSetBit(m) + 2); }

struct TStorage {
  int32_t Width = 0;
  int32_t FieldBits = kGroupWidthBits;
  int32_t Bits = 0;
  std::array<uint8_t, kMaxCoefficientGroups> GroupWidths{};
};

// Group widths and cost of v stored with fieldBits per group: 4 bits hold the width itself, 2 or
// 3 bits its reduction from W, so no group may be narrower than W - 3 or W - 7.
void PlanGroups(const int32_t* v, int32_t order, TStorage& storage) {
  const bool reduced = storage.FieldBits != kGroupWidthBits;
  const int narrowest = reduced ? std::max(1, storage.Width - ((1 << storage.FieldBits) - 1)) : 1;
  storage.Bits = reduced ? kReducedHeaderBits : 0;
  for (int32_t g = 0; g < order / kCoefficientGroup; ++g) {
    const int width =
        std::max(narrowest, SignedWidth(MagnitudeOr(v + kCoefficientGroup * g, kCoefficientGroup)));
    storage.GroupWidths[size_t(g)] = uint8_t(width);
    storage.Bits += storage.FieldBits + kCoefficientGroup * width;
  }
}

TStorage PlanStorage(const int32_t* v, int32_t order, int width) {
  TStorage wide;
  wide.Width = width;
  if (order <= 16) {
    PlanGroups(v, order, wide);
    return wide;
  }
  wide.FieldBits = 3;
  PlanGroups(v, order, wide);
  TStorage narrow = wide;
  narrow.FieldBits = 2;
  PlanGroups(v, order, narrow);
  return narrow.Bits < wide.Bits ? narrow : wide;
}

// The decoder's prediction of a scaled value from the `order` scaled values before it, with the
// exact 64-bit dot product of the kernels wrapped to 32 bits as the decoder wraps it.
class TScaledPredictor {
 public:
  TScaledPredictor(const TDspKernels& kernels, const TQuantPredictor& predictor)
      : kernels_(kernels),
        order_(predictor.Order),
        q_(kPredictionBits - predictor.CoefficientShift) {
    for (int32_t j = 0; j < order_; ++j)
      coefficients_[size_t(j)] = int16_t(predictor.Coefficients[size_t(j)]);
  }

  int32_t operator()(const int16_t* scaled, int32_t t) const {
    const int64_t sum = kernels_.DotProduct16(coefficients_.data(), scaled + t - order_, order_);
    return RoundPrediction(int32_t(uint32_t(uint64_t(sum))), q_);
  }

 private:
  const TDspKernels& kernels_;
  int32_t order_;
  int q_;
  std::array<int16_t, kMaxOrder> coefficients_{};
};

// Gain rising linearly from (w + 1) / 2w at both ends to 1 at w values in.
void ApplyWindow(int16_t* h, int32_t n, int32_t w) {
  for (int32_t i = 0; i < w; ++i) h[i] = Taper(h[i], w + i + 1, w);
  for (int32_t j = n - w; j < n; ++j) h[j] = Taper(h[j], w + n - j, w);
}

}  // namespace

int32_t WindowLength(int32_t n, int32_t maxOrder) {
  const int32_t w = std::min({(n / 8) & ~7, maxOrder, kMaxWindowLength});
  return w < kMinWindowLength ? 0 : w;
}

int16_t Taper(int16_t value, int32_t numerator, int32_t w) {
  // The product is exact and a true tie survives the division exactly, so rounding is to even.
  return int16_t(std::nearbyint(double(value) * numerator / double(2 * w)));
}

bool QuantizePredictor(const float* a, int32_t order, int p, TQuantPredictor& predictor) {
  LYM_ASSERT(order >= kCoefficientGroup && order <= kMaxOrder && order % kCoefficientGroup == 0 &&
                 p >= 0 && p <= kMaxCoefficientShift,
             "Invalid predictor quantisation");
  int32_t* c = predictor.Coefficients.data();
  const float step = float(1024 >> p);
  uint32_t magnitudes = 0;
  for (int32_t j = 0; j < order; ++j) {
    const float scaled = a[j] * step;
    if (!(std::fabs(scaled) < kQuantLimit)) return false;  // NaN included
    c[order - 1 - j] = int32_t(std::nearbyint(scaled));
    magnitudes |= Magnitude(c[order - 1 - j]);
  }
  const int width = HighestSetBit(magnitudes) + 2;
  if (magnitudes < 2 || width + p > kScaledBits) return false;

  TStorage storage = PlanStorage(c, order, width);
  predictor.Differential = false;
  if (order >= 12) {
    int32_t* d = predictor.Differences.data();
    d[0] = c[0];
    for (int32_t j = 1; j < order; ++j) d[j] = c[j] + c[j - 1];
    const uint32_t sums = MagnitudeOr(d, order);
    if (sums < uint32_t(kCoefficientLimit)) {
      const TStorage differential = PlanStorage(d, order, SignedWidth(sums));
      if (differential.Bits < storage.Bits) {
        storage = differential;
        predictor.Differential = true;
      }
    }
  }
  predictor.Order = order;
  predictor.CoefficientShift = p;
  predictor.Width = storage.Width;
  predictor.WidthFieldBits = storage.FieldBits;
  predictor.GroupWidths = storage.GroupWidths;
  predictor.Bits = storage.Bits + kShiftFieldBits;
  return true;
}

void WriteCoefficientSet(TBitOutStream& writer, const TQuantPredictor& predictor) {
  const int32_t order = predictor.Order;
  writer.WriteBits(uint32_t(predictor.CoefficientShift), kShiftFieldBits);
  if (order >= 12) writer.WriteBit(predictor.Differential);
  const bool reduced = order > 16;
  if (reduced) {
    writer.WriteBits(uint32_t(predictor.Width), 4);
    writer.WriteBits(uint32_t(predictor.WidthFieldBits - 2), 1);
  }
  const int32_t* stored = predictor.Stored();
  for (int32_t g = 0; g < predictor.GroupCount(); ++g) {
    const int width = predictor.GroupWidths[size_t(g)];
    writer.WriteBits(uint32_t(reduced ? predictor.Width - width : width), predictor.WidthFieldBits);
    for (int k = 0; k < kCoefficientGroup; ++k)
      writer.WriteBits(uint32_t(stored[kCoefficientGroup * g + k]), width);
  }
}

// ---- Predictor calculator -------------------------------------------------------------------

TLpcPredictorCalculator::TLpcPredictorCalculator(uint32_t cpuFlags, int32_t frameLength,
                                                 int32_t sampleRate, const TLpcOptions& options)
    : kernels_(&DspKernels(cpuFlags)), sampleRate_(sampleRate), mode_(options.QuantSearchMode) {
  LYM_ASSERT(options.MaxOrderIndex >= 0 && options.MaxOrderIndex < kOrderCount &&
                 options.QuantSearchMode <= kQuantSearch,
             "Invalid predictor options");
  maxOrder_ = std::min(kOrderTable[options.MaxOrderIndex], OrderLimit(frameLength));
}

int32_t TLpcPredictorCalculator::MaxOrderFor(int32_t n) const {
  return n >= 4 * maxOrder_ ? maxOrder_ : OrderLimit(n);
}

bool TLpcPredictorCalculator::Calculate(const TLpcBlock& block, bool preFilter, TLpcChoice& choice,
                                        TQuantPredictor* best) {
  const int32_t n = block.Count;
  const int32_t maxOrder = MaxOrderFor(n);
  if (maxOrder == 0 || double(block.Autocorrelation[0]) < std::nearbyint(0.5 * n)) return false;
  double bits = 0;
  if (!SearchOrder(block, maxOrder, bits)) return false;
  switch (mode_) {
    case kQuantFixed:
      // The error was measured on the scaled values: every value carries s more bits.
      bits += double(block.ScaleShift) * n;
      break;
    case kQuantExact:
      bits = ExactCost(block, best_) + WarmUpBits(block, best_.Order);
      break;
    case kQuantSearch:
      if (!SearchCoefficientShift(block, preFilter, bits)) return false;
      bits += WarmUpBits(block, best_.Order);
      break;
  }
  choice.Order = best_.Order;
  choice.OrderIndex = OrderIndexOf(best_.Order);
  choice.Bits = int64_t(std::nearbyint(bits));
  if (best != nullptr) *best = best_;
  return true;
}

// Extends the recursion order by order and keeps the order whose error and coefficients cost at
// least one bit less than the best so far, starting from the values without predictor.
bool TLpcPredictorCalculator::SearchOrder(const TLpcBlock& block, int32_t maxOrder, double& bits) {
  const int32_t n = block.Count;
  levinson_.Reset(block.Autocorrelation, maxOrder);
  double best = BitsFromError(n, double(block.Autocorrelation[0]));
  const int p = maxOrder <= 32 ? 3 : 2;
  bool found = false;
  for (int i = 0; i < kOrderCount && kOrderTable[i] <= maxOrder; ++i) {
    const int32_t order = kOrderTable[i];
    if (!levinson_.ExtendTo(order)) break;
    if (!QuantizePredictor(levinson_.Coefficients(), order, p, working_)) continue;
    const double cost = BitsFromError(n, double(levinson_.Error())) + working_.Bits;
    if (best - cost < 1.0) continue;
    best = cost;
    best_ = working_;
    found = true;
    if (mode_ == kQuantSearch) std::copy_n(levinson_.Coefficients(), order, bestFloats_.begin());
  }
  bits = best;
  return found;
}

// Walks the coefficient shift down from a start that suits the order while it keeps improving,
// and up when going down hardly helped.
bool TLpcPredictorCalculator::SearchCoefficientShift(const TLpcBlock& block, bool preFilter,
                                                     double& bits) {
  const int32_t order = best_.Order;
  const int start = kStartShift[preFilter ? 1 : 0][OrderIndexOf(order)];
  double best = kNoCostYet;
  bool found = false;
  int improvements = 0;
  const auto walk = [&](int from, int to, int step, int maxFailures) {
    int failures = 0;
    for (int p = from; step < 0 ? p >= to : p <= to; p += step) {
      double cost = 0;
      if (CostShift(block, order, p, cost) && cost < best) {
        best = cost;
        best_ = working_;
        found = true;
        ++improvements;
        failures = 0;
      } else if (++failures >= maxFailures && found) {
        return;
      }
    }
  };
  walk(start, 0, -1, 2);
  if (improvements < 2) walk(start + 1, kMaxCoefficientShift, 1, 1);
  bits = best;
  return found;
}

// Costs the chosen order's float predictor quantised with shift p, on about one block in eight
// of the residual, or on all of it when the block is too short to sample.
bool TLpcPredictorCalculator::CostShift(const TLpcBlock& block, int32_t order, int p,
                                        double& bits) {
  if (!QuantizePredictor(bestFloats_.data(), order, p, working_)) return false;
  const int32_t n = block.Count;
  const int32_t length = std::max(8, int32_t(std::nearbyint(sampleRate_ * 0.00125)) & ~7);
  int32_t stride = 8 * length;
  if (n / stride < 6) {
    stride = (n / 6) & ~15;
    if (3 * length > stride) {
      bits = ExactCost(block, working_);
      return true;
    }
  }
  bits = SampledCost(block, working_, stride, length);
  return true;
}

// Residual positions t count from the first predicted value. Each sampled block's rate stands for
// the stretch since the previous sample; the last one also for the rest of the block. With at
// least six strides per block and orders up to a quarter of it, the loop samples at least once.
double TLpcPredictorCalculator::SampledCost(const TLpcBlock& block,
                                            const TQuantPredictor& predictor, int32_t stride,
                                            int32_t length) const {
  const int32_t n = block.Count;
  const int32_t order = predictor.Order;
  double cost = predictor.Bits;
  double blockBits = 0;
  int32_t previous = 0;
  for (int32_t t = stride / 2; t < n - order - length; t += stride) {
    const uint64_t sum = ResidualSum(block, predictor, order + t, length) << block.ScaleShift;
    blockBits = double(EstimateResidualBits(length, double(sum) / length));
    cost += std::nearbyint(double(t - previous) * blockBits / length);
    previous = t;
  }
  return cost + std::nearbyint(double(n - previous) * blockBits / length);
}

double TLpcPredictorCalculator::ExactCost(const TLpcBlock& block,
                                          const TQuantPredictor& predictor) const {
  const int32_t count = block.Count - predictor.Order;
  const uint64_t sum = ResidualSum(block, predictor, predictor.Order, count) << block.ScaleShift;
  return double(EstimateResidualBits(count, double(sum) / count)) + predictor.Bits;
}

// Sum of |prediction - value| over the scaled values from .. from + count - 1.
uint64_t TLpcPredictorCalculator::ResidualSum(const TLpcBlock& block,
                                              const TQuantPredictor& predictor, int32_t from,
                                              int32_t count) const {
  const TScaledPredictor predict(*kernels_, predictor);
  uint64_t sum = 0;
  for (int32_t t = from; t < from + count; ++t)
    sum += Magnitude(predict(block.Scaled, t) - block.Scaled[t]);
  return sum;
}

double TLpcPredictorCalculator::WarmUpBits(const TLpcBlock& block, int32_t order) {
  const TDifferenceChoice warmUp = ChooseDifferenceOrder(block.Values, order);
  return double(EstimateResidualBits(order, double(warmUp.Sum) / order));
}

// ---- Sub-frame encoder ----------------------------------------------------------------------

TLpcEncoder::TLpcEncoder(uint32_t cpuFlags, int32_t frameLength, int32_t sampleRate,
                         const TLpcOptions& options)
    : kernels_(&DspKernels(cpuFlags)),
      capacity_(frameLength),
      applyWindow_(options.ApplyWindow),
      calculator_(cpuFlags, frameLength, sampleRate, options),
      scaled_(size_t(std::max(frameLength, 1))),
      savedEdges_(2 * size_t(kMaxWindowLength)) {}

bool TLpcEncoder::Encode(int32_t* values, int32_t n, bool preFilter, TBitCompressor& compressor,
                         TLpcSubFrame& subFrame, int64_t& bits) {
  LYM_ASSERT(n >= 0 && n <= capacity_, "Sub-frame longer than the encoder's frame");
  const int32_t maxOrder = calculator_.MaxOrderFor(n);
  if (maxOrder == 0) return false;
  // The format stores s in 4 bits; values that need more stay with the difference block.
  const int s = ScaleShiftFor(kernels_->MagnitudeOr(values, n));
  if (s > kMaxScaleShift) return false;
  ScaledCopy16(*kernels_, values, scaled_.Data(), n, s);
  Autocorrelate(n, maxOrder);
  if (autocorrelation_[0] < n / 2) return false;  // silent: nothing to predict

  const TLpcBlock block{values, scaled_.Data(), n, s, autocorrelation_.data()};
  TLpcChoice choice;
  if (!calculator_.Calculate(block, preFilter, choice, &subFrame.Predictor)) return false;

  subFrame.Values = values;
  subFrame.Count = n;
  subFrame.Order = choice.Order;
  subFrame.OrderIndex = choice.OrderIndex;
  subFrame.ScaleShift = s;
  ComputeResidual(subFrame.Predictor, s, values, n);
  const int64_t residualBits =
      compressor.Analyse(subFrame.Residual(), subFrame.ResidualCount(), subFrame.ResidualParams);
  const TDifferenceChoice warmUp = ChooseDifferenceOrder(values, choice.Order);
  subFrame.WarmUpDifferenceOrder = warmUp.Order;
  ApplyDifferenceOrder(values, choice.Order, warmUp.Order);
  const int64_t warmUpBits = compressor.Analyse(values, choice.Order, subFrame.WarmUpParams);
  bits = residualBits + warmUpBits + subFrame.Predictor.Bits;
  return true;
}

// Autocorrelation of the scaled values up to maxOrder, of their tapered form when the window is
// on; the scaled values themselves stay untapered for the residual.
void TLpcEncoder::Autocorrelate(int32_t n, int32_t maxOrder) {
  int16_t* h = scaled_.Data();
  const int32_t w = applyWindow_ ? WindowLength(n, maxOrder) : 0;
  int16_t* saved = savedEdges_.Data();
  if (w > 0) {
    std::copy_n(h, w, saved);
    std::copy_n(h + n - w, w, saved + w);
    ApplyWindow(h, n, w);
  }
  kernels_->Autocorrelation16(h, n, 0, maxOrder, autocorrelation_.data());
  if (w > 0) {
    std::copy_n(saved, w, h);
    std::copy_n(saved + w, w, h + n - w);
  }
}

// e[t] = prediction x 2^s - x[t], the rule that SynthesizePrediction inverts. s <= 15 keeps
// |x| below 2^28 and |e| below 2^29, which every residual block can carry.
void TLpcEncoder::ComputeResidual(const TQuantPredictor& predictor, int s, int32_t* values,
                                  int32_t n) const {
  const TScaledPredictor predict(*kernels_, predictor);
  const int16_t* h = scaled_.Data();
  for (int32_t t = predictor.Order; t < n; ++t) {
    const uint32_t predicted = uint32_t(predict(h, t)) << s;
    values[t] = int32_t(predicted - uint32_t(values[t]));
  }
}

void TLpcEncoder::WriteSubFrame(TBitOutStream& writer, TBitCompressor& compressor,
                                const TLpcSubFrame& subFrame) {
  writer.WriteBits(uint32_t(subFrame.ScaleShift), 4);
  writer.WriteBits(uint32_t(subFrame.OrderIndex), 4);
  WriteDifferenceBlock(writer, compressor, subFrame.WarmUpDifferenceOrder, subFrame.Values,
                       subFrame.Order, subFrame.WarmUpParams);
  WriteCoefficientSet(writer, subFrame.Predictor);
  compressor.WriteBlock(writer, subFrame.ResidualParams, subFrame.ResidualCount(),
                        subFrame.Residual());
}

}  // namespace lym

#include "codec/PreFilter.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "codec/DifferenceOrder.h"
#include "foundation/zqExceptions.h"

namespace lym {

bool ReadPreFilterParameters(TBitInStream& reader, TPreFilterParameters& parameters) {
  uint32_t shift = 0, orderIndex = 0;
  if (!reader.ReadBits(4, shift) || !reader.ReadBits(2, orderIndex) || orderIndex != 0)
    return false;
  parameters.Shift = int32_t(shift);
  return ReadCoefficientSet(reader, kPreFilterOrder, parameters.Set);
}

void ApplyPreFilterSynthesis(const TPredictionKernels& kernels,
                             const TPreFilterParameters& parameters, int32_t* values,
                             int32_t count, TSynthesisScratch& scratch) {
  SynthesizePrediction(kernels, parameters.Set, parameters.Shift, values, count, scratch);
}

// ---- Encoder ------------------------------------------------------------------------------------

namespace {

constexpr int kStereoModes = 6;
constexpr int kRoutes = kStereoModes + 3;  // then modes 0 to 2 on pre-filtered channels
constexpr int64_t kNoRouteBits = 16777216;
// Only routes estimated below this compete; mode 0 is the fall-back.
constexpr int64_t kRouteLimit = 1048576;

// Per sample and bit of a sample: what the pre-filter must save beyond its parameters. The
// settings offer three sensitivities; the highest ones share the smallest penalty.
constexpr double kSensitivityFactors[] = {0.007, 0.003};

int Cheapest(const int64_t (&bits)[kRoutes]) {
  int best = 0;
  for (int route = 1; route < kRoutes; ++route)
    if (bits[route] < bits[best]) best = route;
  return bits[best] < kRouteLimit ? best : 0;
}

// Takes a candidate over into the caller's record, values included.
void Adopt(const TJointCandidate& from, TJointCandidate& to, int32_t count) {
  int32_t* values = to.Values;
  to = from;
  to.Values = values;
  std::copy_n(from.Values, count, values);
}

}  // namespace

void PrepareChannel(const int32_t* samples, int32_t n, int32_t* values, int32_t& shift) {
  uint32_t bits = uint32_t(samples[0]);
  for (int32_t i = 0; i + 1 < n; ++i) {
    values[i] = int32_t(uint32_t(samples[i + 1]) - uint32_t(samples[i]));
    bits |= uint32_t(values[i]);
  }
  shift = bits == 0 ? 0 : std::min(int32_t(std::countr_zero(bits)), kMaxChannelShift);
  if (shift > 0) ShiftRightValues(values, n - 1, shift);
}

void WritePreFilterParameters(TBitOutStream& writer, const TPreFilterEncoding& parameters) {
  LYM_ASSERT(parameters.Predictor.Order == kPreFilterOrder, "Pre-filter of another order");
  writer.WriteBits(uint32_t(parameters.Shift), 4);
  writer.WriteBits(0, 2);
  WriteCoefficientSet(writer, parameters.Predictor);
}

TPreFilterEncoder::TPreFilterEncoder(uint32_t cpuFlags, int32_t frameLength, int32_t bitsPerSample,
                                     int32_t sampleRate, const TPreFilterOptions& options)
    : capacity_(frameLength),
      bitsPerSample_(bitsPerSample),
      factor_(kSensitivityFactors[std::min<size_t>(options.Sensitivity,
                                                   std::size(kSensitivityFactors) - 1)]),
      enabled_(options.OrderIndex == 0),
      joint_(cpuFlags, frameLength, options.Joint),
      estimator_(cpuFlags, TChannelBitsEstimator::kPredictionMode, sampleRate, frameLength),
      lpc_(cpuFlags, frameLength, sampleRate, TLpcOptions{kQuantFixed, 0, true}),
      compressor_(cpuFlags, frameLength, bitsPerSample, sampleRate, false),
      filteredA_(size_t(frameLength)),
      filteredB_(size_t(frameLength)),
      filteredC_(size_t(frameLength)),
      filteredD_(size_t(frameLength)) {
  filteredCandidates_.C.Values = filteredC_.Data();
  filteredCandidates_.D.Values = filteredD_.Data();
}

TPreFilterCosts TPreFilterEncoder::ChooseMono(const int32_t* samples, int32_t n, int32_t* values,
                                              TChannelCoding& channel) {
  LYM_ASSERT(n >= 1 && n <= capacity_, "Pre-filter frame length");
  const int32_t count = n - 1;
  PrepareChannel(samples, n, values, channel.Shift);
  channel.PreFilter = false;
  TPreFilterCosts costs;
  costs.Plain = estimator_.Estimate(values, count);
  if (!Filter(values, count, filteredA_.Data(), channel.Parameters)) return costs;
  costs.Filtered = estimator_.Estimate(filteredA_.Data(), count) + channel.Parameters.Bits() +
                   Penalty(n, 1);
  if (costs.Filtered <= costs.Plain) {
    std::copy_n(filteredA_.Data(), count, values);
    channel.PreFilter = true;
  }
  return costs;
}

void TPreFilterEncoder::ChooseStereoRoute(const int32_t* first, const int32_t* second, int32_t n,
                                          int32_t* a, int32_t* b, TJointCandidates& candidates,
                                          TStereoRoute& route) {
  LYM_ASSERT(n >= 1 && n <= capacity_, "Pre-filter frame length");
  const int32_t count = n - 1;
  PrepareChannel(first, n, a, route.Channels[0].Shift);
  PrepareChannel(second, n, b, route.Channels[1].Shift);
  route.Channels[0].PreFilter = route.Channels[1].PreFilter = false;

  const int64_t plainA = estimator_.Estimate(a, count), plainB = estimator_.Estimate(b, count);
  joint_.Encode(a, b, count, candidates);
  const int64_t c = CandidateBits(candidates.C, count), d = CandidateBits(candidates.D, count);
  const int64_t e = CandidateBits(candidates.E, count), f = CandidateBits(candidates.F, count);
  int64_t bits[kRoutes] = {plainA + plainB, plainA + c, plainB + d, plainA + e, plainB + e, e + f,
                           kNoRouteBits, kNoRouteBits, kNoRouteBits};

  int32_t* filteredA = filteredA_.Data();
  int32_t* filteredB = filteredB_.Data();
  if (Filter(a, count, filteredA, filteredParameters_[0]) &&
      Filter(b, count, filteredB, filteredParameters_[1])) {
    joint_.EncodePredicted(filteredA, filteredB, count, filteredCandidates_);
    const int64_t common =
        filteredParameters_[0].Bits() + filteredParameters_[1].Bits() + Penalty(n, 2);
    const int64_t filteredBitsA = estimator_.Estimate(filteredA, count);
    const int64_t filteredBitsB = estimator_.Estimate(filteredB, count);
    bits[kStereoModes + 0] = filteredBitsA + filteredBitsB + common;
    bits[kStereoModes + 1] = filteredBitsA + CandidateBits(filteredCandidates_.C, count) + common;
    bits[kStereoModes + 2] = filteredBitsB + CandidateBits(filteredCandidates_.D, count) + common;
  }

  const int chosen = Cheapest(bits);
  route.Mode = chosen % kStereoModes;
  if (chosen < kStereoModes) return;
  for (int channel = 0; channel < 2; ++channel) {
    route.Channels[channel].PreFilter = true;
    route.Channels[channel].Parameters = filteredParameters_[channel];
  }
  std::copy_n(filteredA, count, a);
  std::copy_n(filteredB, count, b);
  if (route.Mode == 1) Adopt(filteredCandidates_.C, candidates.C, count);
  if (route.Mode == 2) Adopt(filteredCandidates_.D, candidates.D, count);
}

// The order-4 predictor of the whole channel, its residual in filtered. The first four values stay
// as they are: the synthesis starts from them, not from a coded warm-up.
bool TPreFilterEncoder::Filter(const int32_t* values, int32_t count, int32_t* filtered,
                               TPreFilterEncoding& parameters) {
  if (!enabled_ || count < kMinPreFilterValues) return false;
  std::copy_n(values, count, filtered);
  int64_t bits = 0;
  if (!lpc_.Encode(filtered, count, true, compressor_, subFrame_, bits)) return false;
  LYM_ASSERT(subFrame_.Order == kPreFilterOrder, "Pre-filter of another order");
  UndoDifferenceOrder(filtered, subFrame_.Order, subFrame_.WarmUpDifferenceOrder);
  parameters.Shift = subFrame_.ScaleShift;
  parameters.Predictor = subFrame_.Predictor;
  return true;
}

int64_t TPreFilterEncoder::Penalty(int32_t n, int channels) const {
  return int64_t(std::nearbyint(double(channels) * n * bitsPerSample_ * factor_));
}

int64_t TPreFilterEncoder::CandidateBits(const TJointCandidate& candidate, int32_t count) {
  if (!candidate.Valid) return kNoRouteBits;
  return estimator_.Estimate(candidate.Values, count) + candidate.ParameterBits;
}

}  // namespace lym

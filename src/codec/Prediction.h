// Quantised linear prediction as the decoder rebuilds it: coefficient sets and the synthesis that
// turns a warm-up and stored residuals back into values.
//
// A prediction is the wrap-around 32-bit sum of coefficient x scaled history, rounded by
// 10 - coefficient shift bits and clamped to -8191..8191; the stored residual is prediction minus
// value. The vector kernels keep the history in 16 bits and fall back to the 32-bit rule as soon as
// a value leaves that range, so every input decodes to the same values at every kernel level.
#pragma once

#include <cstdint>

#include "codec/Arithmetic.h"
#include "codec/BitStream.h"
#include "foundation/CpuUtil.h"
#include "foundation/zqAlignedMem.h"

namespace lym {

inline constexpr int kOrderCount = 16;
inline constexpr int32_t kOrderTable[kOrderCount] = {4,  8,  12,  16,  24,  32,  48,  64,
                                                     80, 96, 112, 128, 160, 192, 224, 256};
inline constexpr int32_t kMaxOrder = 256;
inline constexpr int32_t kMaxPrediction = 8191;
inline constexpr int32_t kCoefficientLimit = 8192;  // differential coefficients stay below this

// A coefficient set as stored: c[j] weighs the value Order - j places back.
struct TCoefficientSet {
  int32_t Order = 0;
  int32_t CoefficientShift = 0;  // p, 0..7: predictions are rounded by 10 - p bits
  int32_t Coefficients[kMaxOrder] = {};
};

// Reads a coefficient set of the given order (a multiple of 4, at most 256); false on any invalid
// field or a read past the end.
bool ReadCoefficientSet(TBitInStream& reader, int32_t order, TCoefficientSet& set);

// The final rounding of a prediction sum: q = 10 - p bits, to nearest, halves away from zero,
// clamped to +-8191. Branch-free: the sign of a sum is as unpredictable as the audio.
LYM_ALWAYS_INLINE int32_t RoundPrediction(int32_t sum, int q) {
  const uint32_t sign = uint32_t(sum >> 31);
  uint32_t rounded = (Magnitude(sum) + (1u << (q - 1))) >> q;
  rounded = rounded > uint32_t(kMaxPrediction) ? uint32_t(kMaxPrediction) : rounded;
  return int32_t((rounded ^ sign) - sign);
}

// Vector kernels of the synthesis. Each rebuilds x[t] for t = from .. to - 1 from the 16-bit
// history[t - order .. t - 1] and stores history[t]. When a rebuilt value's scaled form does not
// fit 16 bits it stops after that value and returns the index of the next one (the caller goes on
// with the 32-bit rule); otherwise it returns to.
using TSynthesize16 = int32_t (*)(const int16_t* coefficients, int q, int s, int16_t* history,
                                  int32_t* x, int32_t from, int32_t to);

struct TPredictionKernels {
  TSynthesize16 Synthesize16[kOrderCount];  // by order index; null where the portable rule serves
};

const TPredictionKernels& PredictionKernels(uint32_t cpuFlags);
const TPredictionKernels& PredictionKernelsAt(TKernelLevel level);

// Work memory of the synthesis, sized for the longest sub-frame.
class TSynthesisScratch {
 public:
  explicit TSynthesisScratch(int32_t capacity)
      : capacity_(capacity), history32_(size_t(capacity)), history16_(size_t(capacity)) {}

  int32_t Capacity() const { return capacity_; }
  int32_t* History32() const { return history32_.Data(); }
  int16_t* History16() const { return history16_.Data(); }

 private:
  int32_t capacity_;
  TAntiAliasArray<int32_t> history32_;
  TAntiAliasArray<int16_t> history16_;
};

// Rebuilds x[order .. length - 1] in place from the warm-up x[0 .. order - 1] and the residuals
// stored in x[order ..], with scale shift s (0..15). length must not exceed the scratch capacity.
void SynthesizePrediction(const TPredictionKernels& kernels, const TCoefficientSet& set, int s,
                          int32_t* x, int32_t length, TSynthesisScratch& scratch);

// The joint channel predictor of order 8 (coefficient shift ignored: rounding by 10 bits): for
// t = from .. to - 1, target[t] = prediction from source[t - 4 .. t + 3] x 2^shift - target[t].
void JointPredict8(const int32_t* coefficients, int shift, const int32_t* source, int32_t* target,
                   int32_t from, int32_t to);

}  // namespace lym

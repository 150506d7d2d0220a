#include "codec/Prediction.h"

#include "codec/VectorLevels.h"
#include "foundation/KernelTables.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int kPredictionBits = 10;

int OrderIndexOf(int32_t order) {
  for (int i = 0; i < kOrderCount; ++i)
    if (kOrderTable[i] == order) return i;
  return -1;
}

// Undoes the neighbour sums of a differential set: stored[i] = c[i] + c[i - 1].
bool UndoDifferential(int32_t order, int32_t* c) {
  for (int32_t i = 0; i < order; ++i) {
    if (i > 0) c[i] -= c[i - 1];
    if (c[i] >= kCoefficientLimit || c[i] <= -kCoefficientLimit) return false;
  }
  return true;
}

// The 32-bit rule over x[from .. to - 1], history32[from - order .. from - 1] filled. As in the
// vector kernels, the four newest history values are kept in registers, so that the loop over the
// older ones never waits for the last stores; the wrap-around sum is the same in any order.
void SynthesizePortable(const TCoefficientSet& set, int s, int32_t* x, int32_t* history,
                        int32_t from, int32_t to) {
  const int32_t m = set.Order;
  const int q = kPredictionBits - set.CoefficientShift;
  const int32_t* c = set.Coefficients;
  const uint32_t c1 = uint32_t(c[m - 1]), c2 = uint32_t(c[m - 2]), c3 = uint32_t(c[m - 3]),
                 c4 = uint32_t(c[m - 4]);
  uint32_t h1 = uint32_t(history[from - 1]), h2 = uint32_t(history[from - 2]),
           h3 = uint32_t(history[from - 3]), h4 = uint32_t(history[from - 4]);
  for (int32_t t = from; t < to; ++t) {
    const int32_t* window = history + t - m;
    uint32_t sum = c1 * h1 + c2 * h2 + c3 * h3 + c4 * h4;
    for (int32_t j = 0; j < m - 4; ++j) sum += uint32_t(c[j]) * uint32_t(window[j]);
    const int32_t prediction = RoundPrediction(int32_t(sum), q);
    x[t] = int32_t((uint32_t(prediction) << s) - uint32_t(x[t]));
    history[t] = ScaleDown(x[t], s);
    h4 = h3;
    h3 = h2;
    h2 = h1;
    h1 = uint32_t(history[t]);
  }
}

// history16[t] = x[t] / 2^s for t < count; false when a value does not fit 16 bits.
bool ScaleTo16(const int32_t* x, int32_t count, int s, int16_t* history16) {
  for (int32_t t = 0; t < count; ++t) {
    const int32_t h = ScaleDown(x[t], s);
    if (h < INT16_MIN || h > INT16_MAX) return false;
    history16[t] = int16_t(h);
  }
  return true;
}

TKernelTables<TPredictionKernels> BuildTables() {
#ifdef LYM_X86_KERNELS
  return BuildKernelTables(TPredictionKernels{}, &kernels_sse2::AddPredictionKernels,
                           &kernels_avx2::AddPredictionKernels);
#else
  return BuildKernelTables<TPredictionKernels>({}, nullptr, nullptr);
#endif
}

}  // namespace

bool ReadCoefficientSet(TBitInStream& reader, int32_t order, TCoefficientSet& set) {
  LYM_ASSERT(order >= 4 && order <= kMaxOrder && order % 4 == 0, "Invalid predictor order");
  set.Order = order;
  uint32_t field = 0, differential = 0;
  if (!reader.ReadBits(3, field)) return false;
  set.CoefficientShift = int32_t(field);
  if (order >= 12 && !reader.ReadBit(differential)) return false;
  // Up to order 16 each group of four stores its width; above, a largest width comes first and
  // each group stores how much narrower it is.
  const bool reduced = order > 16;
  uint32_t largest = 0, sizeBit = 0;
  if (reduced && (!reader.ReadBits(4, largest) || !reader.ReadBit(sizeBit))) return false;
  const int widthBits = reduced ? 2 + int(sizeBit) : 4;
  for (int32_t g = 0; g < order / 4; ++g) {
    if (!reader.ReadBits(widthBits, field)) return false;
    const int width = reduced ? int(largest) - int(field) : int(field);
    if (width < 1) return false;
    for (int k = 0; k < 4; ++k) set.Coefficients[4 * g + k] = reader.ReadSigned(width);
  }
  if (reader.ReadError) return false;
  return differential == 0 || UndoDifferential(order, set.Coefficients);
}

const TPredictionKernels& PredictionKernelsAt(TKernelLevel level) {
  static const TKernelTables<TPredictionKernels> tables = BuildTables();
  return KernelTableAt(tables, level);
}

const TPredictionKernels& PredictionKernels(uint32_t cpuFlags) {
  return PredictionKernelsAt(KernelLevelFor(cpuFlags));
}

void SynthesizePrediction(const TPredictionKernels& kernels, const TCoefficientSet& set, int s,
                          int32_t* x, int32_t length, TSynthesisScratch& scratch) {
  const int32_t m = set.Order;
  LYM_ASSERT(length <= scratch.Capacity() && m <= length && s >= 0 && s < 16,
             "Invalid synthesis");
  int32_t t = m;
  const TSynthesize16 kernel = kernels.Synthesize16[OrderIndexOf(m)];
  if (kernel != nullptr && ScaleTo16(x, m, s, scratch.History16())) {
    int16_t coefficients[kMaxOrder];
    for (int32_t j = 0; j < m; ++j) coefficients[j] = int16_t(set.Coefficients[j]);
    t = kernel(coefficients, kPredictionBits - set.CoefficientShift, s, scratch.History16(), x, m,
               length);
  }
  if (t == length) return;
  int32_t* history = scratch.History32();
  for (int32_t i = t - m; i < t; ++i) history[i] = ScaleDown(x[i], s);
  SynthesizePortable(set, s, x, history, t, length);
}

void JointPredict8(const int32_t* c, int shift, const int32_t* source, int32_t* target,
                   int32_t from, int32_t to) {
  for (int32_t t = from; t < to; ++t) {
    const int32_t* window = source + t - 4;
    uint32_t sum = 0;
    for (int k = 0; k < 8; ++k) sum += uint32_t(c[k]) * uint32_t(window[k]);
    const int32_t prediction = RoundPrediction(int32_t(sum), kPredictionBits);
    target[t] = int32_t((uint32_t(prediction) << shift) - uint32_t(target[t]));
  }
}

}  // namespace lym

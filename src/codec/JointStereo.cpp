#include "codec/JointStereo.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int32_t kJointOrderIndex = 1;  // of the table 4, 8, 16
constexpr int32_t kJointHalf = kJointOrder / 2;
constexpr int kColumns = kJointOrder;

int64_t Dot(const int32_t* a, const int32_t* b, int32_t n) {
  int64_t sum = 0;
  for (int32_t i = 0; i < n; ++i) sum += int64_t(a[i]) * b[i];
  return sum;
}

// Exact sums over the N middle positions: column k is source[t - 4 + k], i.e. source[k ..
// k + N - 1]; the target is target[4 .. 4 + N - 1].
struct TJointSums {
  int64_t n = 0;
  int64_t column[kColumns] = {}, columnSquares[kColumns][kColumns] = {}, withTarget[kColumns] = {};
  int64_t target = 0, targetSquares = 0;
};

TJointSums SumColumns(const int32_t* source, const int32_t* target, int32_t n) {
  TJointSums sums;
  sums.n = n;
  const int32_t* y = target + kJointHalf;
  for (int k = 0; k < kColumns; ++k) {
    for (int32_t i = 0; i < n; ++i) sums.column[k] += source[k + i];
    sums.withTarget[k] = Dot(source + k, y, n);
  }
  for (int32_t i = 0; i < n; ++i) sums.target += y[i];
  sums.targetSquares = Dot(y, y, n);
  // Products of columns j <= k are lag k - j products of the source over a window that starts at
  // j: slide the window of column 0 instead of summing again.
  for (int lag = 0; lag < kColumns; ++lag) {
    int64_t sum = Dot(source, source + lag, n);
    for (int j = 0; j + lag < kColumns; ++j) {
      if (j > 0) sum += int64_t(source[j - 1 + n]) * source[j - 1 + n + lag] - int64_t(source[j - 1]) * source[j - 1 + lag];
      sums.columnSquares[j][j + lag] = sums.columnSquares[j + lag][j] = sum;
    }
  }
  return sums;
}

// n x (sum of products) - product of sums: exact in 64 bits for 14-bit values and n <= 16384.
double Spread(int64_t n, int64_t products, int64_t sumA, int64_t sumB) {
  return double(n * products - sumA * sumB);
}

// Solves a x = b in place by Gaussian elimination with partial pivoting; false when singular.
bool Solve(double (&a)[kColumns][kColumns], double (&b)[kColumns]) {
  constexpr double kSingular = 1e-12;
  for (int col = 0; col < kColumns; ++col) {
    int pivot = col;
    for (int row = col + 1; row < kColumns; ++row)
      if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
    if (std::fabs(a[pivot][col]) < kSingular) return false;
    std::swap(a[pivot], a[col]);
    std::swap(b[pivot], b[col]);
    for (int row = col + 1; row < kColumns; ++row) {
      const double factor = a[row][col] / a[col][col];
      for (int k = col; k < kColumns; ++k) a[row][k] -= factor * a[col][k];
      b[row] -= factor * b[col];
    }
  }
  for (int col = kColumns - 1; col >= 0; --col) {
    for (int k = col + 1; k < kColumns; ++k) b[col] -= a[col][k] * b[k];
    b[col] /= a[col][col];
  }
  return true;
}

}  // namespace

bool ReadJointParameters(TBitInStream& reader, TJointParameters& parameters) {
  uint32_t head = 0, tail = 0, shift = 0, orderIndex = 0;
  if (!reader.ReadBit(head) || !reader.ReadBit(tail) || !reader.ReadBits(4, shift) ||
      !reader.ReadBits(2, orderIndex) || orderIndex != kJointOrderIndex)
    return false;
  parameters.Head = head != 0;
  parameters.Tail = tail != 0;
  parameters.Shift = int32_t(shift);
  return ReadCoefficientSet(reader, kJointOrder, parameters.Set);
}

TJointChannelDecoder::TJointChannelDecoder(int32_t maxFrameLength)
    : capacity_(maxFrameLength),
      scaled_(size_t(maxFrameLength)) {}

void TJointChannelDecoder::ApplyPredictor(const TJointParameters& parameters,
                                          const int32_t* source, int32_t* target, int32_t count) {
  LYM_ASSERT(count <= capacity_, "Joint block too long");
  if (count < kMinJointPredictorValues) return;
  auto add = [&](int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) target[i] = int32_t(uint32_t(target[i]) + uint32_t(source[i]));
  };
  if (parameters.Head) add(0, kJointHalf);
  if (parameters.Tail) add(count - (kJointHalf - 1), count);
  int32_t* scaled = scaled_.Data();
  for (int32_t i = 0; i < count; ++i) scaled[i] = ScaleDown(source[i], parameters.Shift);
  JointPredict8(parameters.Set.Coefficients, parameters.Shift, scaled, target, kJointHalf,
                count - kJointHalf + 1);
}

void ApplyJointDifference(const int32_t* known, int32_t* difference, bool knownIsChannel0,
                          int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t k = uint32_t(known[i]), e = uint32_t(difference[i]);
    difference[i] = int32_t(knownIsChannel0 ? e + k : k - e);
  }
}

bool EstimateJointPredictor(const int32_t* source, const int32_t* target, int32_t count,
                            double (&weights)[kJointOrder]) {
  const int32_t n = count - (kJointOrder - 1);
  if (n < 2) return false;
  const TJointSums sums = SumColumns(source, target, n);
  double spread[kColumns];
  for (int k = 0; k < kColumns; ++k) {
    spread[k] = Spread(n, sums.columnSquares[k][k], sums.column[k], sums.column[k]);
    if (spread[k] <= 0) return false;
  }
  const double targetSpread = Spread(n, sums.targetSquares, sums.target, sums.target);
  if (targetSpread <= 0) return false;
  double correlation[kColumns][kColumns], withTarget[kColumns];
  for (int j = 0; j < kColumns; ++j) {
    for (int k = 0; k < kColumns; ++k) {
      correlation[j][k] = j == k ? 1.0
                                 : Spread(n, sums.columnSquares[j][k], sums.column[j], sums.column[k]) /
                                       std::sqrt(spread[j] * spread[k]);
    }
    withTarget[j] = Spread(n, sums.withTarget[j], sums.column[j], sums.target) /
                    std::sqrt(spread[j] * targetSpread);
  }
  double beta[kColumns];
  std::copy(withTarget, withTarget + kColumns, beta);
  if (!Solve(correlation, beta)) return false;
  double explained = 0;
  for (int k = 0; k < kColumns; ++k) explained += beta[k] * withTarget[k];
  if (1.0 - explained <= 0) return false;
  // Back from standardised columns: spreads are n^2 x variances, so their ratio is that of the
  // variances.
  for (int k = 0; k < kColumns; ++k) weights[k] = beta[k] * std::sqrt(targetSpread / spread[k]);
  return true;
}

void ApplyJointMid(int32_t* mid, int32_t* difference, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const int32_t channel0 = int32_t(uint32_t(mid[i]) - uint32_t(difference[i] >> 1));
    difference[i] = int32_t(uint32_t(channel0) + uint32_t(difference[i]));
    mid[i] = channel0;
  }
}


// ---- Encoder ------------------------------------------------------------------------------------

namespace {

constexpr int32_t kJointFieldBits = 1 + 1 + 4 + 2;  // head, tail, X, order index
constexpr int32_t kJointShiftLimit = 15;            // X is stored in 4 bits

int32_t WrappedDifference(int32_t to, int32_t from) {
  return int32_t(uint32_t(to) - uint32_t(from));
}

// Codes target[from .. to - 1] as differences to the source when their magnitudes sum strictly
// smaller, else as they are; true for differences.
bool CodeEdge(const int32_t* source, const int32_t* target, int32_t* out, int32_t from,
              int32_t to) {
  uint64_t differences = 0, plain = 0;
  for (int32_t i = from; i < to; ++i) {
    differences += uint64_t(std::llabs(int64_t(target[i]) - source[i]));
    plain += Magnitude(target[i]);
  }
  const bool useDifferences = differences < plain;
  for (int32_t i = from; i < to; ++i)
    out[i] = useDifferences ? WrappedDifference(target[i], source[i]) : target[i];
  return useDifferences;
}

}  // namespace

void WriteJointParameters(TBitOutStream& writer, const TJointCandidate& candidate) {
  LYM_ASSERT(candidate.Valid && candidate.Predictor.Order == kJointOrder,
             "Joint parameters of an invalid candidate");
  writer.WriteBit(candidate.Head);
  writer.WriteBit(candidate.Tail);
  writer.WriteBits(uint32_t(candidate.Shift), 4);
  writer.WriteBits(uint32_t(kJointOrderIndex), 2);
  WriteCoefficientSet(writer, candidate.Predictor);
}

TJointChannelEncoder::TJointChannelEncoder(uint32_t cpuFlags, int32_t capacity,
                                           const TJointOptions& options)
    : kernels_(&DspKernels(cpuFlags)),
      capacity_(capacity),
      options_(options),
      scaledA_(size_t(std::max(capacity, 1))),
      scaledB_(size_t(std::max(capacity, 1))) {}

bool TJointChannelEncoder::Encode(const int32_t* a, const int32_t* b, int32_t count,
                                  TJointCandidates& candidates) {
  const bool predicted = EncodePredicted(a, b, count, candidates);
  candidates.E.Valid = options_.Difference;
  candidates.F.Valid = options_.Difference && options_.MidSide;
  if (candidates.E.Valid) {
    int32_t* e = candidates.E.Values;
    for (int32_t i = 0; i < count; ++i) e[i] = WrappedDifference(b[i], a[i]);
    if (candidates.F.Valid) {
      // A + floor(E / 2) is floor((A + B) / 2) without its overflow, and exactly what the
      // decoder's mid - floor(E / 2) takes back.
      int32_t* f = candidates.F.Values;
      for (int32_t i = 0; i < count; ++i) f[i] = int32_t(uint32_t(a[i]) + uint32_t(e[i] >> 1));
    }
  }
  return predicted || candidates.E.Valid;
}

bool TJointChannelEncoder::EncodePredicted(const int32_t* a, const int32_t* b, int32_t count,
                                           TJointCandidates& candidates) {
  LYM_ASSERT(count <= capacity_, "Joint block too long");
  candidates.C.Valid = candidates.D.Valid = candidates.E.Valid = candidates.F.Valid = false;
  if (!options_.Prediction || options_.PredictorLengthIndex != kJointOrderIndex ||
      count < kMinJointPredictorValues)
    return false;
  const int shift = ScaleShiftFor(kernels_->MagnitudeOr(a, count) | kernels_->MagnitudeOr(b, count));
  if (shift > kJointShiftLimit) return false;
  const int32_t* scaledA = a;
  const int32_t* scaledB = b;
  if (shift > 0) {
    ScaleCopy(a, scaledA_.Data(), count, shift);
    ScaleCopy(b, scaledB_.Data(), count, shift);
    scaledA = scaledA_.Data();
    scaledB = scaledB_.Data();
  }
  Predict(a, scaledA, b, scaledB, count, shift, candidates.C);
  if (options_.CheckBoth) Predict(b, scaledB, a, scaledA, count, shift, candidates.D);
  return candidates.C.Valid || candidates.D.Valid;
}

// The weights are estimated on the scaled signals, so that prediction x 2^X approximates the
// target; the middle is then coded by the decoder's own rebuilding step, which is its own inverse.
void TJointChannelEncoder::Predict(const int32_t* source, const int32_t* scaledSource,
                                   const int32_t* target, const int32_t* scaledTarget,
                                   int32_t count, int shift, TJointCandidate& candidate) {
  double weights[kJointOrder];
  if (!EstimateJointPredictor(scaledSource, scaledTarget, count, weights)) return;
  float newestFirst[kJointOrder];
  for (int k = 0; k < kJointOrder; ++k) newestFirst[k] = float(weights[kJointOrder - 1 - k]);
  if (!QuantizePredictor(newestFirst, kJointOrder, 0, candidate.Predictor)) return;

  int32_t* out = candidate.Values;
  candidate.Head = CodeEdge(source, target, out, 0, kJointHalf);
  candidate.Tail = CodeEdge(source, target, out, count - (kJointHalf - 1), count);
  const int32_t end = count - kJointHalf + 1;
  std::copy(target + kJointHalf, target + end, out + kJointHalf);
  JointPredict8(candidate.Predictor.Coefficients.data(), shift, scaledSource, out, kJointHalf, end);
  candidate.Shift = shift;
  candidate.ParameterBits = kJointFieldBits + candidate.Predictor.Bits;
  candidate.Valid = true;
}

}  // namespace lym

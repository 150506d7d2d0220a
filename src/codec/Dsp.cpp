#include "codec/Dsp.h"

#include <cstddef>

#include "codec/Arithmetic.h"
#include "codec/DspLevels.h"
#include "codec/VectorLevels.h"
#include "foundation/KernelTables.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

void CheckShift(int shift) { LYM_ASSERT(shift >= 0 && shift <= 31, "shift outside 0..31"); }

void CheckLags(int32_t firstLag, int32_t lastLag) {
  LYM_ASSERT(firstLag >= 0 && firstLag <= lastLag, "lag range outside 0 <= first <= last");
}

// out[L - firstLag] = dotProduct(values, values + L, n - L), 0 for lags that reach past the end.
template <class T, class DotProduct>
void LagSums(DotProduct dotProduct, const T* values, int32_t n, int32_t firstLag, int32_t lastLag,
             int64_t* out) {
  CheckLags(firstLag, lastLag);
  for (int32_t lag = firstLag; lag <= lastLag; ++lag)
    out[lag - firstLag] = lag < n ? dotProduct(values, values + lag, n - lag) : 0;
}

TKernelTables<TDspKernels> BuildTables() {
  const TDspKernels portable = {
      &dsp_portable::MagnitudeSum, &dsp_portable::MagnitudeSumMax, &dsp_portable::MagnitudeOr,
      &dsp_portable::ToInt16,      &dsp_portable::SumSquares16,    &dsp_portable::DotProduct16,
      &dsp_portable::Autocorrelation16};
#ifdef LYM_X86_KERNELS
  return BuildKernelTables(portable, &kernels_sse2::AddDspKernels, &kernels_avx2::AddDspKernels);
#else
  return BuildKernelTables<TDspKernels>(portable, nullptr, nullptr);
#endif
}

}  // namespace

namespace dsp_portable {

uint64_t MagnitudeSum(const int32_t* values, int32_t n) {
  uint64_t sum = 0;
  for (int32_t i = 0; i < n; ++i) sum += Magnitude(values[i]);
  return sum;
}

TMagnitudeSumMax MagnitudeSumMax(const int32_t* values, int32_t n) {
  uint64_t sum = 0;
  uint32_t max = 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t magnitude = Magnitude(values[i]);
    sum += magnitude;
    if (magnitude > max) max = magnitude;
  }
  return {sum, max};
}

uint32_t MagnitudeOr(const int32_t* values, int32_t n) {
  uint32_t bits = 0;
  for (int32_t i = 0; i < n; ++i) bits |= Magnitude(values[i]);
  return bits;
}

void ToInt16(const int32_t* source, int16_t* destination, int32_t n, int shift) {
  LYM_ASSERT(shift >= 0 && shift <= 16, "ToInt16 shift outside 0..16");
  for (int32_t i = 0; i < n; ++i) destination[i] = int16_t(ScaleDown(source[i], shift));
}

uint64_t SumSquares16(const int16_t* values, int32_t n) {
  uint64_t sum = 0;
  for (int32_t i = 0; i < n; ++i) sum += uint32_t(int32_t(values[i]) * values[i]);
  return sum;
}

int64_t DotProduct16(const int16_t* a, const int16_t* b, int32_t n) {
  int64_t sum = 0;
  for (int32_t i = 0; i < n; ++i) sum += int32_t(a[i]) * b[i];
  return sum;
}

void Autocorrelation16With(TDotProduct16 dotProduct, const int16_t* values, int32_t n,
                           int32_t firstLag, int32_t lastLag, int64_t* out) {
  LagSums(dotProduct, values, n, firstLag, lastLag, out);
}

void Autocorrelation16(const int16_t* values, int32_t n, int32_t firstLag, int32_t lastLag,
                       int64_t* out) {
  LagSums(&DotProduct16, values, n, firstLag, lastLag, out);
}

}  // namespace dsp_portable

const TDspKernels& DspKernelsAt(TKernelLevel level) {
  static const TKernelTables<TDspKernels> tables = BuildTables();
  return KernelTableAt(tables, level);
}

const TDspKernels& DspKernels(uint32_t cpuFlags) { return DspKernelsAt(KernelLevelFor(cpuFlags)); }

void ScaleCopy(const int32_t* source, int32_t* destination, int32_t n, int shift) {
  CheckShift(shift);
  for (int32_t i = 0; i < n; ++i) destination[i] = ScaleDown(source[i], shift);
}

void ShiftLeftValues(int32_t* values, int32_t n, int shift) {
  CheckShift(shift);
  for (int32_t i = 0; i < n; ++i) values[i] = int32_t(uint32_t(values[i]) << shift);
}

void ShiftRightValues(int32_t* values, int32_t n, int shift) {
  ScaleCopy(values, values, n, shift);
}

int32_t SumValues(const int32_t* values, int32_t n) {
  uint32_t sum = 0;
  for (int32_t i = 0; i < n; ++i) sum += uint32_t(values[i]);
  return int32_t(sum);
}

// Products of 32-bit values reach 2^62, so a long sum can leave the signed 64-bit range; it is
// summed unsigned and wraps there instead.
int64_t SumSquares(const int32_t* values, int32_t n) { return DotProduct(values, values, n); }

int64_t DotProduct(const int32_t* a, const int32_t* b, int32_t n) {
  uint64_t sum = 0;
  for (int32_t i = 0; i < n; ++i) sum += uint64_t(int64_t(a[i]) * b[i]);
  return int64_t(sum);
}

void Autocorrelation(const int32_t* values, int32_t n, int32_t firstLag, int32_t lastLag,
                     int64_t* out) {
  LagSums(&DotProduct, values, n, firstLag, lastLag, out);
}

}  // namespace lym

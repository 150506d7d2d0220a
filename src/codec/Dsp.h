// Signal-processing kernels of the codec, portable and vector, with one arithmetic for both.
//
// Every kernel of the table gives bit-identical results at every kernel level; sums are exact
// 64-bit sums (magnitudes are unsigned, so the magnitude of INT32_MIN is 2^31). Callers pick the
// table once from their processor flags (see foundation/CpuUtil.h) and keep it.
#pragma once

#include <cstdint>

#include "foundation/CpuUtil.h"

namespace lym {

struct TMagnitudeSumMax {
  uint64_t Sum = 0;
  uint32_t Max = 0;
};

struct TDspKernels {
  // Sum of |x| over n values.
  uint64_t (*MagnitudeSum)(const int32_t* values, int32_t n);
  // Sum of |x| and the largest |x|.
  TMagnitudeSumMax (*MagnitudeSumMax)(const int32_t* values, int32_t n);
  // OR of |x|.
  uint32_t (*MagnitudeOr)(const int32_t* values, int32_t n);
  // destination[i] = low 16 bits of source[i] / 2^shift (toward zero), shift 0..16.
  void (*ToInt16)(const int32_t* source, int16_t* destination, int32_t n, int shift);
  // Sum of x^2.
  uint64_t (*SumSquares16)(const int16_t* values, int32_t n);
  // Sum of a[i] * b[i].
  int64_t (*DotProduct16)(const int16_t* a, const int16_t* b, int32_t n);
  // out[L - firstLag] = sum over i of x[i] * x[i + L], for L = firstLag..lastLag (0 <= firstLag <= lastLag).
  void (*Autocorrelation16)(const int16_t* values, int32_t n, int32_t firstLag, int32_t lastLag,
                            int64_t* out);
};

// The table that processor flags select.
const TDspKernels& DspKernels(uint32_t cpuFlags);
// The table of one level, which must be supported (kernel tests and benchmarks).
const TDspKernels& DspKernelsAt(TKernelLevel level);

// Kernels without vector versions.
// destination[i] = source[i] / 2^shift toward zero; shift 0 copies.
void ScaleCopy(const int32_t* source, int32_t* destination, int32_t n, int shift);
void ShiftLeftValues(int32_t* values, int32_t n, int shift);   // x * 2^shift (wrap-around)
void ShiftRightValues(int32_t* values, int32_t n, int shift);  // x / 2^shift toward zero
int32_t SumValues(const int32_t* values, int32_t n);           // 32-bit wrap-around sum
int64_t SumSquares(const int32_t* values, int32_t n);
int64_t DotProduct(const int32_t* a, const int32_t* b, int32_t n);
void Autocorrelation(const int32_t* values, int32_t n, int32_t firstLag, int32_t lastLag,
                     int64_t* out);

}  // namespace lym

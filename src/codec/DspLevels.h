// Private to the DSP kernels: how the vector levels reach the portable kernels and add their own.
#pragma once

#include <cstdint>

#include "codec/Dsp.h"

namespace lym {

// The portable table kernels; the vector kernels finish their leftover values with them.
namespace dsp_portable {

uint64_t MagnitudeSum(const int32_t* values, int32_t n);
TMagnitudeSumMax MagnitudeSumMax(const int32_t* values, int32_t n);
uint32_t MagnitudeOr(const int32_t* values, int32_t n);
void ToInt16(const int32_t* source, int16_t* destination, int32_t n, int shift);
uint64_t SumSquares16(const int16_t* values, int32_t n);
int64_t DotProduct16(const int16_t* a, const int16_t* b, int32_t n);
void Autocorrelation16(const int16_t* values, int32_t n, int32_t firstLag, int32_t lastLag,
                       int64_t* out);

// Autocorrelation16 computed lag by lag with the given dot product, so that every level shares
// the lag bounds and checks.
using TDotProduct16 = int64_t (*)(const int16_t* a, const int16_t* b, int32_t n);
void Autocorrelation16With(TDotProduct16 dotProduct, const int16_t* values, int32_t n,
                           int32_t firstLag, int32_t lastLag, int64_t* out);

}  // namespace dsp_portable

}  // namespace lym

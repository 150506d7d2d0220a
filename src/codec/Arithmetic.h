// Integer helpers shared by portable and vector kernels. Always inlined: an out-of-line copy
// compiled for a wider instruction set must never be shared with portable callers.
#pragma once

#include <cstdint>

#define LYM_ALWAYS_INLINE __attribute__((always_inline)) inline

namespace lym {

// |x| as unsigned: INT32_MIN has the magnitude 2^31.
LYM_ALWAYS_INLINE uint32_t Magnitude(int32_t x) {
  const uint32_t sign = uint32_t(x >> 31);
  return (uint32_t(x) ^ sign) - sign;
}

// x / 2^shift truncated toward zero, for any x and shift 0..31: negative values get 2^shift - 1
// added first, which cannot overflow for them.
LYM_ALWAYS_INLINE int32_t ScaleDown(int32_t x, int shift) {
  const uint32_t roundUp = uint32_t(x >> 31) & ((1u << shift) - 1);
  return int32_t(uint32_t(x) + roundUp) >> shift;
}

}  // namespace lym

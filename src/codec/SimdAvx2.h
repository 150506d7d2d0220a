// The 256-bit register operations that vector kernels are written in, for files compiled with
// AVX2 (internal linkage, as in SimdSse2.h).
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "codec/SimdSse2.h"

namespace lym {
namespace {

struct TAvx2 {
  using Reg = __m256i;
  static constexpr int32_t kBytes = 32;

  static Reg Load(const void* p) { return _mm256_loadu_si256(static_cast<const Reg*>(p)); }
  static void Store(void* p, Reg r) { _mm256_storeu_si256(static_cast<Reg*>(p), r); }
  static Reg Zero() { return _mm256_setzero_si256(); }
  static Reg Splat32(int32_t x) { return _mm256_set1_epi32(x); }
  static Reg Add32(Reg a, Reg b) { return _mm256_add_epi32(a, b); }
  static Reg Add64(Reg a, Reg b) { return _mm256_add_epi64(a, b); }
  static Reg And(Reg a, Reg b) { return _mm256_and_si256(a, b); }
  static Reg Or(Reg a, Reg b) { return _mm256_or_si256(a, b); }
  static Reg SignMask32(Reg r) { return _mm256_srai_epi32(r, 31); }
  static Reg ShiftLeft32(Reg r, int count) {
    return _mm256_sll_epi32(r, _mm_cvtsi32_si128(count));
  }
  static Reg High32To64(Reg r) { return _mm256_srli_epi64(r, 32); }
  // The absolute value of INT32_MIN stays 0x80000000, which read unsigned is its magnitude 2^31.
  static Reg Magnitude32(Reg r) { return _mm256_abs_epi32(r); }
  static Reg MaxSigned32(Reg a, Reg b) { return _mm256_max_epi32(a, b); }
  static Reg MultiplyAddPairs16(Reg a, Reg b) { return _mm256_madd_epi16(a, b); }
  // The two 128-bit halves added lane by lane.
  static TSse2::Reg Fold128(Reg r) {
    return _mm_add_epi32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
  }
  // Wrap-around sum of the 32-bit lanes.
  static uint32_t Sum32(Reg r) { return TSse2::Sum32(Fold128(r)); }
  // The pack works within each 128-bit half, giving the 64-bit groups a0-3 b0-3 a4-7 b4-7;
  // the permutation restores the order a0-7 b0-7. The arithmetic shift keeps the pack from
  // saturating.
  static Reg NarrowHigh16(Reg a, Reg b) {
    const Reg packed = _mm256_packs_epi32(_mm256_srai_epi32(a, 16), _mm256_srai_epi32(b, 16));
    return _mm256_permute4x64_epi64(packed, 0xD8);
  }
};

}  // namespace
}  // namespace lym

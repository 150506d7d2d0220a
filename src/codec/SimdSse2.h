// The 128-bit register operations that vector kernels are written in, for files compiled with
// SSE2. Internal linkage: every kernel file gets its own copy, compiled for its instruction set, so
// no out-of-line copy can be shared with code built for another one.
#pragma once

#include <emmintrin.h>

#include <cstdint>

namespace lym {
namespace {

struct TSse2 {
  using Reg = __m128i;
  static constexpr int32_t kBytes = 16;

  static Reg Load(const void* p) { return _mm_loadu_si128(static_cast<const Reg*>(p)); }
  static void Store(void* p, Reg r) { _mm_storeu_si128(static_cast<Reg*>(p), r); }
  static Reg Zero() { return _mm_setzero_si128(); }
  static Reg Splat32(int32_t x) { return _mm_set1_epi32(x); }
  static Reg Add32(Reg a, Reg b) { return _mm_add_epi32(a, b); }
  static Reg Add64(Reg a, Reg b) { return _mm_add_epi64(a, b); }
  static Reg And(Reg a, Reg b) { return _mm_and_si128(a, b); }
  static Reg Or(Reg a, Reg b) { return _mm_or_si128(a, b); }
  static Reg SignMask32(Reg r) { return _mm_srai_epi32(r, 31); }
  static Reg ShiftLeft32(Reg r, int count) { return _mm_sll_epi32(r, _mm_cvtsi32_si128(count)); }
  static Reg High32To64(Reg r) { return _mm_srli_epi64(r, 32); }
  static Reg Magnitude32(Reg r) {
    const Reg sign = SignMask32(r);
    return _mm_sub_epi32(_mm_xor_si128(r, sign), sign);
  }
  // SSE2 has no 32-bit maximum; select by comparison.
  static Reg MaxSigned32(Reg a, Reg b) {
    const Reg aGreater = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(aGreater, a), _mm_andnot_si128(aGreater, b));
  }
  static Reg MultiplyAddPairs16(Reg a, Reg b) { return _mm_madd_epi16(a, b); }
  static Reg LoadLow64(const void* p) { return _mm_loadl_epi64(static_cast<const Reg*>(p)); }
  // Already 128 bits wide.
  static Reg Fold128(Reg r) { return r; }
  // Wrap-around sum of the 32-bit lanes.
  static uint32_t Sum32(Reg r) {
    r = _mm_add_epi32(r, _mm_shuffle_epi32(r, _MM_SHUFFLE(1, 0, 3, 2)));
    r = _mm_add_epi32(r, _mm_shuffle_epi32(r, _MM_SHUFFLE(2, 3, 0, 1)));
    return uint32_t(_mm_cvtsi128_si32(r));
  }
  // After the arithmetic shift every lane fits in 16 bits, so the saturating pack keeps it.
  static Reg NarrowHigh16(Reg a, Reg b) {
    return _mm_packs_epi32(_mm_srai_epi32(a, 16), _mm_srai_epi32(b, 16));
  }
};

}  // namespace
}  // namespace lym

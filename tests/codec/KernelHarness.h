// Helpers for testing kernel families: every supported level, data at chosen alignments inside
// guarded buffers, random values with the extremes that break vector code, and a seed that is
// printed so that a failure can be repeated.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <ostream>
#include <random>
#include <vector>

#include "foundation/CpuUtil.h"

namespace lym {

inline void PrintTo(TKernelLevel level, std::ostream* os) { *os << KernelLevelName(level); }

namespace test {

// A fresh seed per call, or the one in LYM_TEST_SEED to repeat a failed run.
inline uint32_t TestSeed() {
  const char* fixed = std::getenv("LYM_TEST_SEED");
  const uint32_t seed =
      fixed != nullptr ? uint32_t(std::strtoul(fixed, nullptr, 10)) : std::random_device{}();
  std::printf("seed %u (LYM_TEST_SEED=%u repeats it)\n", seed, seed);
  return seed;
}

// Portable first, then every vector level that this processor and build support.
inline std::vector<TKernelLevel> SupportedLevels() {
  std::vector<TKernelLevel> levels;
  for (int level = 0; level <= int(SupportedKernelLevel()); ++level)
    levels.push_back(TKernelLevel(level));
  return levels;
}

inline std::vector<TKernelLevel> VectorLevels() {
  std::vector<TKernelLevel> levels = SupportedLevels();
  levels.erase(levels.begin());
  return levels;
}

// Runs check(level) for every supported level, naming the level in failure messages.
template <class Check>
void ForEachLevel(Check check) {
  for (TKernelLevel level : SupportedLevels()) {
    SCOPED_TRACE(KernelLevelName(level));
    check(level);
  }
}

// Elements placed `offset` elements past a 64-byte boundary, behind guard bytes and, when asked,
// followed by `guardAfter` guard elements. Without guards after, the allocation ends with the last
// element, so that AddressSanitizer reports any read beyond it.
template <class T>
class TPaddedBuffer {
 public:
  static constexpr size_t kAlignment = 64;
  static constexpr unsigned char kGuardByte = 0xA5;

  TPaddedBuffer(const std::vector<T>& values, size_t offset, size_t guardAfter = 0)
      : before_(kAlignment + offset * sizeof(T)),
        size_(values.size() * sizeof(T)),
        after_(guardAfter * sizeof(T)),
        block_(static_cast<unsigned char*>(
            ::operator new(before_ + size_ + after_, std::align_val_t(kAlignment)))) {
    std::memset(block_, kGuardByte, before_);
    if (size_ > 0) std::memcpy(block_ + before_, values.data(), size_);
    std::memset(block_ + before_ + size_, kGuardByte, after_);
  }
  ~TPaddedBuffer() { ::operator delete(block_, std::align_val_t(kAlignment)); }
  TPaddedBuffer(const TPaddedBuffer&) = delete;
  TPaddedBuffer& operator=(const TPaddedBuffer&) = delete;

  T* Data() const { return reinterpret_cast<T*>(block_ + before_); }
  std::vector<T> Values() const { return std::vector<T>(Data(), Data() + size_ / sizeof(T)); }

  bool GuardsIntact() const {
    return Untouched(block_, before_) && Untouched(block_ + before_ + size_, after_);
  }

 private:
  static bool Untouched(const unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
      if (bytes[i] != kGuardByte) return false;
    return true;
  }

  size_t before_, size_, after_;
  unsigned char* block_;
};

enum class TValuePattern {
  Full,      // the whole range of the type
  Extremes,  // the type's limits mixed with 0 and +-1
  Narrow,    // signed values of one random bit width, like scaled audio
  AllEqual,  // one random value repeated
  Zeros,
};
inline constexpr TValuePattern kValuePatterns[] = {TValuePattern::Full, TValuePattern::Extremes,
                                                   TValuePattern::Narrow, TValuePattern::AllEqual,
                                                   TValuePattern::Zeros};

template <class T>
std::vector<T> RandomValues(std::mt19937& random, size_t n, TValuePattern pattern) {
  using Limits = std::numeric_limits<T>;
  const auto uniform = [&](int64_t low, int64_t high) {
    return T(std::uniform_int_distribution<int64_t>(low, high)(random));
  };
  const int width = 1 + int(random() % Limits::digits);
  const int64_t narrowLimit = int64_t(1) << (width - 1);
  const T repeated = uniform(Limits::min(), Limits::max());
  const T extremes[] = {Limits::min(), T(Limits::min() + 1), Limits::max(), T(-1), T(0), T(1)};
  std::vector<T> values(n);
  for (T& value : values) {
    switch (pattern) {
      case TValuePattern::Full: value = uniform(Limits::min(), Limits::max()); break;
      case TValuePattern::Extremes: value = extremes[random() % std::size(extremes)]; break;
      case TValuePattern::Narrow: value = uniform(-narrowLimit, narrowLimit - 1); break;
      case TValuePattern::AllEqual: value = repeated; break;
      case TValuePattern::Zeros: value = T(0); break;
    }
  }
  return values;
}

}  // namespace test
}  // namespace lym

#include "codec/Dsp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "KernelHarness.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

using test::ForEachLevel;
using test::kValuePatterns;
using test::RandomValues;
using test::TestSeed;
using test::TPaddedBuffer;
using test::TValuePattern;

constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int16_t kInt16Min = std::numeric_limits<int16_t>::min();
constexpr int16_t kInt16Max = std::numeric_limits<int16_t>::max();

// Longer than several registers of the widest level plus every possible leftover.
constexpr int32_t kMaxLength = 300;
constexpr size_t kMaxOffset = 7;

// The inputs of one call of any table kernel, at the given length and element offset.
struct TKernelCase {
  TKernelCase(std::mt19937& random, TValuePattern pattern, int32_t n, size_t offset)
      : n(n),
        values32(RandomValues<int32_t>(random, size_t(n), pattern), offset),
        a16(RandomValues<int16_t>(random, size_t(n), pattern), offset),
        // A different offset, so that the two arrays are misaligned against each other.
        b16(RandomValues<int16_t>(random, size_t(n), pattern), (offset * 3 + 1) % 8),
        shift(int(random() % 17)),
        firstLag(int32_t(random() % uint32_t(n + 3))),
        lastLag(firstLag + int32_t(random() % 40)) {}

  int32_t n;
  TPaddedBuffer<int32_t> values32;
  TPaddedBuffer<int16_t> a16, b16;
  int shift;
  int32_t firstLag, lastLag;
};

// Runs every case through the portable table and every vector table and compares the results;
// `run(table, case)` returns something comparable.
template <class Run>
void ExpectVectorLevelsMatchPortable(Run run) {
  if (test::VectorLevels().empty()) GTEST_SKIP() << "no vector kernels in this build";
  std::mt19937 random(TestSeed());
  for (TValuePattern pattern : kValuePatterns) {
    for (int32_t n = 0; n <= kMaxLength; ++n) {
      for (size_t offset = 0; offset <= kMaxOffset; ++offset) {
        const TKernelCase c(random, pattern, n, offset);
        const auto expected = run(DspKernelsAt(TKernelLevel::Portable), c);
        for (TKernelLevel level : test::VectorLevels()) {
          const auto actual = run(DspKernelsAt(level), c);
          if (actual == expected) continue;
          ADD_FAILURE() << KernelLevelName(level) << " differs: pattern " << int(pattern) << ", n "
                        << n << ", offset " << offset << ", shift " << c.shift << ", lags "
                        << c.firstLag << ".." << c.lastLag;
          return;
        }
      }
    }
  }
}

TEST(DspKernels, MagnitudeKernelsMatchPortableAtEveryLevel) {
  ExpectVectorLevelsMatchPortable([](const TDspKernels& k, const TKernelCase& c) {
    const TMagnitudeSumMax sumMax = k.MagnitudeSumMax(c.values32.Data(), c.n);
    return std::tuple(k.MagnitudeSum(c.values32.Data(), c.n), sumMax.Sum, sumMax.Max,
                      k.MagnitudeOr(c.values32.Data(), c.n));
  });
}

TEST(DspKernels, ToInt16MatchesPortableAtEveryLevelAndWritesOnlyItsOutput) {
  ExpectVectorLevelsMatchPortable([](const TDspKernels& k, const TKernelCase& c) {
    const TPaddedBuffer<int16_t> out(std::vector<int16_t>(size_t(c.n)), size_t(c.shift % 8), 8);
    k.ToInt16(c.values32.Data(), out.Data(), c.n, c.shift);
    return std::pair(out.Values(), out.GuardsIntact());
  });
}

TEST(DspKernels, SixteenBitProductSumsMatchPortableAtEveryLevel) {
  ExpectVectorLevelsMatchPortable([](const TDspKernels& k, const TKernelCase& c) {
    return std::pair(k.SumSquares16(c.a16.Data(), c.n),
                     k.DotProduct16(c.a16.Data(), c.b16.Data(), c.n));
  });
}

TEST(DspKernels, Autocorrelation16MatchesPortableAtEveryLevelAndWritesOnlyItsLags) {
  ExpectVectorLevelsMatchPortable([](const TDspKernels& k, const TKernelCase& c) {
    const size_t lags = size_t(c.lastLag - c.firstLag + 1);
    const TPaddedBuffer<int64_t> out(std::vector<int64_t>(lags), 0, 4);
    k.Autocorrelation16(c.a16.Data(), c.n, c.firstLag, c.lastLag, out.Data());
    return std::pair(out.Values(), out.GuardsIntact());
  });
}

// Sums of many INT32_MIN magnitudes (2^31 each) overflow any 32-bit partial sum.
TEST(DspKernels, MagnitudeOfInt32MinIsTwoToThe31AtEveryLevel) {
  const std::vector<int32_t> values(kMaxLength, kInt32Min);
  ForEachLevel([&](TKernelLevel level) {
    const TDspKernels& k = DspKernelsAt(level);
    const TMagnitudeSumMax sumMax = k.MagnitudeSumMax(values.data(), kMaxLength);
    EXPECT_EQ(k.MagnitudeSum(values.data(), kMaxLength), uint64_t(kMaxLength) << 31);
    EXPECT_EQ(sumMax.Sum, uint64_t(kMaxLength) << 31);
    EXPECT_EQ(sumMax.Max, 1u << 31);
    EXPECT_EQ(k.MagnitudeOr(values.data(), kMaxLength), 1u << 31);
  });
}

// Pairs of products of -32768 reach 2^31, the one sum that a signed 32-bit lane cannot hold.
TEST(DspKernels, ExtremeSixteenBitProductsStayExactAtEveryLevel) {
  const std::vector<int16_t> lowest(kMaxLength, kInt16Min), highest(kMaxLength, kInt16Max);
  const int64_t lowestSquare = int64_t(1) << 30;
  ForEachLevel([&](TKernelLevel level) {
    const TDspKernels& k = DspKernelsAt(level);
    EXPECT_EQ(k.SumSquares16(lowest.data(), kMaxLength), uint64_t(kMaxLength * lowestSquare));
    EXPECT_EQ(k.DotProduct16(lowest.data(), lowest.data(), kMaxLength), kMaxLength * lowestSquare);
    EXPECT_EQ(k.DotProduct16(lowest.data(), highest.data(), kMaxLength),
              -int64_t(kMaxLength) * 32768 * 32767);
    int64_t lags[4];
    k.Autocorrelation16(lowest.data(), kMaxLength, 0, 3, lags);
    for (int32_t lag = 0; lag < 4; ++lag)
      EXPECT_EQ(lags[lag], (kMaxLength - lag) * lowestSquare) << "lag " << lag;
  });
}

// The quotient toward zero, then its low 16 bits without saturation; repeated to reach every
// vector path.
TEST(DspKernels, ToInt16DividesTowardZeroAndKeepsTheLow16BitsAtEveryLevel) {
  std::vector<int32_t> source;
  for (int repeat = 0; repeat < 9; ++repeat)
    source.insert(source.end(), {-9, 9, -8, 7, 70000, -70000, kInt32Min, kInt32Max, -1, 0, 1});
  std::vector<int16_t> out(source.size());
  ForEachLevel([&](TKernelLevel level) {
    for (int shift = 0; shift <= 16; ++shift) {
      DspKernelsAt(level).ToInt16(source.data(), out.data(), int32_t(source.size()), shift);
      for (size_t i = 0; i < source.size(); ++i)
        ASSERT_EQ(out[i], int16_t(source[i] / (int64_t(1) << shift))) << source[i] << " " << shift;
    }
    DspKernelsAt(level).ToInt16(source.data(), out.data(), 2, 3);
    EXPECT_EQ(out[0], -1);
    EXPECT_EQ(out[1], 1);
  });
}

TEST(DspKernels, InvalidShiftsAndLagRangesAreAssertionFailuresAtEveryLevel) {
  std::vector<int32_t> source(64, 5);
  std::vector<int16_t> values(64, 5);
  std::vector<int16_t> out(64);
  int64_t lags[8];
  ForEachLevel([&](TKernelLevel level) {
    const TDspKernels& k = DspKernelsAt(level);
    EXPECT_THROW(k.ToInt16(source.data(), out.data(), 64, 17), EzqAssertionFailure);
    EXPECT_THROW(k.ToInt16(source.data(), out.data(), 64, -1), EzqAssertionFailure);
    EXPECT_THROW(k.Autocorrelation16(values.data(), 64, -1, 3, lags), EzqAssertionFailure);
    EXPECT_THROW(k.Autocorrelation16(values.data(), 64, 5, 4, lags), EzqAssertionFailure);
  });
  EXPECT_THROW(Autocorrelation(source.data(), 64, 5, 4, lags), EzqAssertionFailure);
  EXPECT_THROW(ScaleCopy(source.data(), source.data(), 64, 32), EzqAssertionFailure);
  EXPECT_THROW(ShiftLeftValues(source.data(), 64, -1), EzqAssertionFailure);
}

// The plain definition, lag by lag, with 0 for lags at or beyond the length; sums that leave 64
// bits wrap as the kernels' do.
template <class T>
std::vector<int64_t> ReferenceLagSums(const std::vector<T>& x, int32_t firstLag, int32_t lastLag) {
  std::vector<int64_t> sums;
  for (int32_t lag = firstLag; lag <= lastLag; ++lag) {
    uint64_t sum = 0;
    for (size_t i = 0; i + size_t(lag) < x.size(); ++i)
      sum += uint64_t(int64_t(x[i]) * x[i + size_t(lag)]);
    sums.push_back(int64_t(sum));
  }
  return sums;
}

TEST(DspPortableKernels, AutocorrelationSumsEveryLagAndGivesZeroBeyondTheLength) {
  std::mt19937 random(TestSeed());
  for (int32_t n : {0, 1, 5, 37, 200}) {
    const auto x32 = RandomValues<int32_t>(random, size_t(n), TValuePattern::Narrow);
    const auto x16 = RandomValues<int16_t>(random, size_t(n), TValuePattern::Full);
    const int32_t firstLag = n / 3, lastLag = n + 4;
    std::vector<int64_t> out(size_t(lastLag - firstLag + 1));
    Autocorrelation(x32.data(), n, firstLag, lastLag, out.data());
    EXPECT_EQ(out, ReferenceLagSums(x32, firstLag, lastLag)) << "32-bit, n " << n;
    DspKernelsAt(TKernelLevel::Portable)
        .Autocorrelation16(x16.data(), n, firstLag, lastLag, out.data());
    EXPECT_EQ(out, ReferenceLagSums(x16, firstLag, lastLag)) << "16-bit, n " << n;
  }
}

TEST(DspPortableKernels, ScaleCopyAndShiftRightDivideTowardZero) {
  std::mt19937 random(TestSeed());
  std::vector<int32_t> values = {-9, 9, -8, -7, 7, -1, 0, 1, kInt32Min, kInt32Min + 1, kInt32Max};
  const auto more = RandomValues<int32_t>(random, 50, TValuePattern::Full);
  values.insert(values.end(), more.begin(), more.end());
  const int32_t n = int32_t(values.size());
  for (int shift = 0; shift <= 31; ++shift) {
    std::vector<int32_t> expected;
    for (int32_t x : values) expected.push_back(int32_t(x / (int64_t(1) << shift)));
    std::vector<int32_t> copied(values.size()), shifted = values;
    ScaleCopy(values.data(), copied.data(), n, shift);
    ShiftRightValues(shifted.data(), n, shift);
    EXPECT_EQ(copied, expected) << "shift " << shift;
    EXPECT_EQ(shifted, expected) << "shift " << shift;
  }
}

// Shifts and 32-bit sums wrap around; square and product sums stay exact where 32-bit partial
// sums would overflow many times over.
TEST(DspPortableKernels, ShiftsAndSumsWrapOrStayExactAsDocumented) {
  std::vector<int32_t> values = {0x40000000, -1, 3, kInt32Min};
  ShiftLeftValues(values.data(), 4, 1);
  EXPECT_EQ(values, (std::vector<int32_t>{kInt32Min, -2, 6, 0}));
  const int32_t upward[] = {kInt32Max, 1}, downward[] = {kInt32Min, -1};
  EXPECT_EQ(SumValues(upward, 2), kInt32Min);
  EXPECT_EQ(SumValues(downward, 2), kInt32Max);

  const std::vector<int32_t> large(64, (1 << 23) - 1);
  EXPECT_EQ(SumSquares(large.data(), 64), 64 * int64_t((1 << 23) - 1) * ((1 << 23) - 1));
  const int32_t a[] = {kInt32Min, kInt32Max}, b[] = {kInt32Min, kInt32Min};
  EXPECT_EQ(SumSquares(a, 1), int64_t(1) << 62);
  EXPECT_EQ(DotProduct(a, b, 2), int64_t(1) << 31);
}

// Restores the default cap even when a check fails.
struct TDefaultKernelCap {
  ~TDefaultKernelCap() { CapKernelLevel(TKernelLevel::Avx2); }
};

TEST(KernelLevel, FlagsSelectPortableOrTheSupportedLevelWithinTheCap) {
  const TDefaultKernelCap restoreCap;
  const TKernelLevel supported = SupportedKernelLevel();
  EXPECT_EQ(KernelLevelFor(0), TKernelLevel::Portable);
  EXPECT_EQ(KernelLevelFor(kCpuFlagSse), TKernelLevel::Portable);
  EXPECT_EQ(KernelLevelFor(kCpuFlagVector), supported);
  EXPECT_EQ(&DspKernels(0), &DspKernelsAt(TKernelLevel::Portable));
  EXPECT_EQ(&DspKernels(kCpuFlagVector), &DspKernelsAt(supported));

  CapKernelLevel(TKernelLevel::Sse2);
  EXPECT_EQ(KernelLevelFor(kCpuFlagVector), std::min(supported, TKernelLevel::Sse2));
  CapKernelLevel(TKernelLevel::Portable);
  EXPECT_EQ(KernelLevelFor(kCpuFlagVector | kCpuFlagSse), TKernelLevel::Portable);
  EXPECT_EQ(&DspKernels(kCpuFlagVector), &DspKernelsAt(TKernelLevel::Portable));
}

TEST(KernelHarness, BuffersAreAlignedAsAskedAndGuardsCatchStrayWrites) {
  for (size_t offset = 0; offset <= kMaxOffset; ++offset) {
    const TPaddedBuffer<int16_t> buffer(std::vector<int16_t>(5, 7), offset, 2);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.Data()) % 64, offset * sizeof(int16_t));
    EXPECT_EQ(buffer.Values(), std::vector<int16_t>(5, 7));
    EXPECT_TRUE(buffer.GuardsIntact());
    buffer.Data()[offset % 2 == 0 ? -1 : 5] = 0;
    EXPECT_FALSE(buffer.GuardsIntact()) << "offset " << offset;
  }
}

}  // namespace
}  // namespace lym

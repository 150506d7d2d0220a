#include "codec/LpcEstimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "codec/Adcbitco.h"
#include "codec/Dsp.h"

namespace lym {
namespace {

std::vector<int64_t> AutocorrelationOf(const std::vector<int32_t>& x, int lags) {
  std::vector<int64_t> r(size_t(lags) + 1, 0);
  for (int k = 0; k <= lags; ++k)
    for (size_t t = size_t(k); t < x.size(); ++t) r[size_t(k)] += int64_t(x[t]) * x[t - size_t(k)];
  return r;
}

std::vector<int32_t> Sine(int n, double amplitude, double step) {
  std::vector<int32_t> x(static_cast<size_t>(n));
  for (int t = 0; t < n; ++t) x[size_t(t)] = int32_t(std::lround(amplitude * std::sin(step * t)));
  return x;
}

// Second-order resonance driven by noise: strongly but not perfectly predictable.
std::vector<int32_t> Resonance(int n, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, 50);
  std::vector<int32_t> x(static_cast<size_t>(n));
  double y1 = 0, y2 = 0;
  for (int t = 0; t < n; ++t) {
    const double y = 1.6 * y1 - 0.8 * y2 + noise(random);
    x[size_t(t)] = int32_t(std::lround(y));
    y2 = y1;
    y1 = y;
  }
  return x;
}

// Normal equations sum_j a[j] r[|i - j|] = r[i + 1] solved by Gaussian elimination in double.
std::vector<double> SolveNormalEquations(const std::vector<int64_t>& r, int order) {
  std::vector<std::vector<double>> m(size_t(order), std::vector<double>(size_t(order) + 1));
  for (int i = 0; i < order; ++i) {
    for (int j = 0; j < order; ++j) m[size_t(i)][size_t(j)] = double(r[size_t(std::abs(i - j))]);
    m[size_t(i)][size_t(order)] = double(r[size_t(i) + 1]);
  }
  for (int col = 0; col < order; ++col)
    for (int row = col + 1; row < order; ++row) {
      const double f = m[size_t(row)][size_t(col)] / m[size_t(col)][size_t(col)];
      for (int j = col; j <= order; ++j) m[size_t(row)][size_t(j)] -= f * m[size_t(col)][size_t(j)];
    }
  std::vector<double> a(static_cast<size_t>(order));
  for (int row = order - 1; row >= 0; --row) {
    double v = m[size_t(row)][size_t(order)];
    for (int j = row + 1; j < order; ++j) v -= m[size_t(row)][size_t(j)] * a[size_t(j)];
    a[size_t(row)] = v / m[size_t(row)][size_t(row)];
  }
  return a;
}

TEST(LpcEstimate, OrderLimitFollowsTheTableBelowAQuarterOfTheBlock) {
  EXPECT_EQ(OrderLimit(-5), 0);
  EXPECT_EQ(OrderLimit(15), 0);
  EXPECT_EQ(OrderLimit(16), 4);
  EXPECT_EQ(OrderLimit(47), 8);
  EXPECT_EQ(OrderLimit(100), 24);
  EXPECT_EQ(OrderLimit(1023), 224);
  EXPECT_EQ(OrderLimit(1024), 256);
  EXPECT_EQ(OrderLimit(INT32_MAX), 256);
}

TEST(LpcEstimate, ScaleShiftBringsMagnitudesWithin14Bits) {
  EXPECT_EQ(ScaleShiftFor(0), 0);
  EXPECT_EQ(ScaleShiftFor(8191), 0);
  EXPECT_EQ(ScaleShiftFor(8192), 1);
  EXPECT_EQ(ScaleShiftFor(8191u << 15), 15);
  EXPECT_EQ(ScaleShiftFor((8191u << 15) + 1), 16);
  std::mt19937 random(7);
  std::vector<uint32_t> ors = {UINT32_MAX, 0x80000000u, 16382, 16383, 8191u * 8 + 1};
  for (int i = 0; i < 1000; ++i) ors.push_back(random() >> (random() % 32));
  for (uint32_t m : ors) {
    const int s = ScaleShiftFor(m);
    EXPECT_LE(m >> s, 8191u) << m;
    EXPECT_LE(s, 20) << m;
  }
}

TEST(LpcEstimate, BitsFromErrorOverItsThreeRanges) {
  EXPECT_EQ(BitsFromError(1000, 1024000), 7080);  // 1000 x (0.5 x 10 - 0.42 + 2.5)
  EXPECT_EQ(BitsFromError(1000, 1000), 2080);
  EXPECT_EQ(BitsFromError(1000, 640), double(EstimateResidualBits(1000, 0.6)));
  EXPECT_EQ(BitsFromError(1000, 0), 16);
  EXPECT_EQ(BitsFromError(1000, -3), 16);
  EXPECT_EQ(BitsFromError(0, 0), 0);
  EXPECT_EQ(BitsFromError(0, 50), 0);
}

TEST(LpcEstimate, QuickPredictionTellsPredictableFromUnpredictable) {
  const int n = 4096;
  const auto sine = AutocorrelationOf(Sine(n, 8000, 0.05), 4);
  const TQuickEstimate tone = QuickPredictionBits(n, sine.data());
  EXPECT_TRUE(tone.Helps);
  // Single-precision sums cap the gain, but it must be worth more than a bit per value.
  EXPECT_LT(tone.Bits + n, int64_t(BitsFromError(n, double(sine[0]))));

  const int64_t uncorrelated[5] = {n * 1000000LL, 0, 0, 0, 0};
  const TQuickEstimate noise = QuickPredictionBits(n, uncorrelated);
  EXPECT_FALSE(noise.Helps);
  EXPECT_EQ(noise.Bits, int64_t(BitsFromError(n, double(uncorrelated[0]))));

  const int64_t silent[5] = {0, 0, 0, 0, 0};
  EXPECT_EQ(QuickPredictionBits(n, silent).Bits, 16);
  EXPECT_FALSE(QuickPredictionBits(n, silent).Helps);
}

TEST(LpcEstimate, AFailingStageLeavesTheLastGoodOrder) {
  // Stage 1: k = 0.5, error 75; stage 2: k = (100 - 25) / 75 = 1, error 0.
  const int64_t r[5] = {100, 50, 100, 0, 0};
  TLevinson levinson;
  levinson.Reset(r, 4);
  EXPECT_FALSE(levinson.ExtendTo(4));
  EXPECT_EQ(levinson.Order(), 1);
  EXPECT_EQ(levinson.Error(), 75.0f);
  EXPECT_EQ(levinson.Coefficients()[0], 0.5f);

  const TQuickEstimate estimate = QuickPredictionBits(10, r);
  EXPECT_TRUE(estimate.Helps);
  EXPECT_EQ(estimate.Bits, int64_t(BitsFromError(10, 75)));
}

TEST(LpcEstimate, LevinsonMatchesTheNormalEquations) {
  const auto r = AutocorrelationOf(Resonance(8192, 11), 32);
  for (int order : {1, 2, 4, 8, 32}) {
    TLevinson levinson;
    levinson.Reset(r.data(), order);
    ASSERT_TRUE(levinson.ExtendTo(order));
    const std::vector<double> reference = SolveNormalEquations(r, order);
    double error = double(r[0]);
    for (int j = 0; j < order; ++j) {
      EXPECT_NEAR(levinson.Coefficients()[j], reference[size_t(j)], 2e-3) << order << " " << j;
      error -= reference[size_t(j)] * double(r[size_t(j) + 1]);
    }
    EXPECT_NEAR(levinson.Error() / error, 1.0, 1e-3) << order;
  }
}

TEST(LpcEstimate, LevinsonResumesExactlyWhereItStopped) {
  const auto r = AutocorrelationOf(Resonance(4000, 5), 64);
  TLevinson stepped, direct;
  stepped.Reset(r.data(), 64);
  direct.Reset(r.data(), 64);
  for (int order : {4, 8, 12, 16, 24, 32, 48, 64}) ASSERT_TRUE(stepped.ExtendTo(order));
  EXPECT_TRUE(stepped.ExtendTo(10));  // already beyond: nothing to do
  ASSERT_TRUE(direct.ExtendTo(64));
  EXPECT_EQ(stepped.Order(), 64);
  EXPECT_EQ(stepped.Error(), direct.Error());
  for (int j = 0; j < 64; ++j) EXPECT_EQ(stepped.Coefficients()[j], direct.Coefficients()[j]) << j;
}

TEST(LpcEstimate, ScaledCopyAndDifferenceBits) {
  const std::vector<int32_t> x = {INT32_MIN, INT32_MAX, -5, 5, 1 << 20, -(1 << 20)};
  for (uint32_t flags : {0u, kCpuFlagVector})
    for (int s : {0, 3, 16, 17, 20, 31}) {
      std::vector<int16_t> scaled(x.size());
      ScaledCopy16(DspKernels(flags), x.data(), scaled.data(), int32_t(x.size()), s);
      for (size_t i = 0; i < x.size(); ++i) {
        const int64_t wide = x[i];
        const int64_t expected = wide >= 0 ? wide >> s : -((-wide) >> s);
        EXPECT_EQ(scaled[i], int16_t(uint16_t(uint64_t(expected)))) << s << " " << i;
      }
    }
  EXPECT_EQ(DifferenceBits(x.data(), 0), 0);
  const std::vector<int32_t> ramp = {100, 110, 120, 130, 140, 150, 160, 170};
  EXPECT_EQ(DifferenceBits(ramp.data(), 8), EstimateResidualBits(8, 110.0 / 8));  // order 2
}

}  // namespace
}  // namespace lym

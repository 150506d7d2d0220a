#include "codec/ChannelBits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "codec/LpcEstimate.h"
#include "foundation/CpuUtil.h"

namespace lym {
namespace {

using Values = std::vector<int32_t>;
constexpr int32_t kRate = 44100;
constexpr int32_t kCapacity = 16383;
constexpr int kModes[] = {TChannelBitsEstimator::kMagnitudeMode,
                          TChannelBitsEstimator::kDifferenceMode,
                          TChannelBitsEstimator::kPredictionMode};

// A tone, a silent stretch (single +-1 clicks, energy far below half a value per value) and noise.
Values MixedSignal(int32_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int32_t> noise(-3000, 3000);
  Values x(static_cast<size_t>(n));
  for (int32_t t = 0; t < n; ++t) {
    if (t < n / 3) x[size_t(t)] = int32_t(std::lround(5000 * std::sin(0.5 * t)));
    else if (t < 2 * n / 3) x[size_t(t)] = t % 97 == 0 ? 1 - 2 * (t % 2) : 0;
    else x[size_t(t)] = noise(random);
  }
  return x;
}

TEST(ChannelBits, BlocksMergeARemainderBelowHalfABlock) {
  TChannelBitsEstimator estimator(0, TChannelBitsEstimator::kDifferenceMode, kRate, kCapacity);
  ASSERT_EQ(estimator.BlockLength(), 688);
  const Values x(kCapacity, 7);
  struct Case { int32_t n, count, last; };
  for (const Case c : {Case{2000, 3, 624}, Case{1100, 2, 412}, Case{800, 1, 800},
                       Case{688 * 2 + 343, 2, 688 + 343}, Case{688 * 2 + 344, 3, 344},
                       Case{17, 1, 17}, Case{688, 1, 688}}) {
    estimator.Estimate(x.data(), c.n);
    EXPECT_EQ(estimator.BlockCount(), c.count) << c.n;
    EXPECT_EQ(estimator.LastBlockLength(), c.last) << c.n;
  }
}

TEST(ChannelBits, BlockLengthIsAMultipleOfEight) {
  for (int32_t rate : {8000, 11025, 22050, 48000, 96000}) {
    const int32_t length = TChannelBitsEstimator(0, 0, rate, 100).BlockLength();
    EXPECT_EQ(length % 8, 0) << rate;
    EXPECT_GT(length + 8, rate / 64) << rate;
  }
}

// The estimate of a channel is the sum of its blocks' estimates, whatever each block holds.
TEST(ChannelBits, ChannelIsTheSumOfItsBlocks) {
  const Values x = MixedSignal(2000, 3);
  for (int mode : kModes) {
    TChannelBitsEstimator whole(0, mode, kRate, kCapacity), single(0, mode, kRate, kCapacity);
    const int32_t expected = single.Estimate(x.data(), 688) + single.Estimate(x.data() + 688, 688) +
                             single.Estimate(x.data() + 1376, 624);
    EXPECT_EQ(whole.Estimate(x.data(), 2000), expected) << mode;
  }
}

TEST(ChannelBits, ShortAndSilentBlocksUseTheDifferenceEstimate) {
  const Values x = MixedSignal(3 * 688, 9);
  const int32_t* silent = x.data() + 688;
  for (int mode : kModes) {
    TChannelBitsEstimator estimator(0, mode, kRate, kCapacity);
    for (int32_t n : {0, 1, 2, 16})
      EXPECT_EQ(estimator.Estimate(x.data(), n), DifferenceBits(x.data(), n)) << mode << " " << n;
  }
  TChannelBitsEstimator prediction(0, TChannelBitsEstimator::kPredictionMode, kRate, kCapacity);
  EXPECT_EQ(prediction.Estimate(silent, 688), DifferenceBits(silent, 688));
}

TEST(ChannelBits, PredictionModeFavoursPredictableSignals) {
  const Values x = MixedSignal(3 * 688, 4);
  TChannelBitsEstimator prediction(0, TChannelBitsEstimator::kPredictionMode, kRate, kCapacity);
  TChannelBitsEstimator difference(0, TChannelBitsEstimator::kDifferenceMode, kRate, kCapacity);
  EXPECT_LT(prediction.Estimate(x.data(), 688), difference.Estimate(x.data(), 688));  // the tone
  // Noise: prediction cannot help, and the estimate stays within a few bits per value.
  const int32_t noiseBits = prediction.Estimate(x.data() + 1376, 688);
  EXPECT_NEAR(noiseBits, difference.Estimate(x.data() + 1376, 688), 2 * 688);
}

TEST(ChannelBits, SameEstimatesAtEveryKernelLevel) {
  std::mt19937 random(21);
  Values x = MixedSignal(kCapacity, 21);
  // Wide values take the scale shifts beyond what the 16-bit conversion kernel accepts.
  for (int32_t t = 0; t < 700; ++t) x[size_t(t)] = int32_t(random());
  x[3] = INT32_MIN;
  for (int mode : kModes) {
    TChannelBitsEstimator portable(0, mode, kRate, kCapacity);
    TChannelBitsEstimator vector(kCpuFlagVector, mode, kRate, kCapacity);
    for (int32_t n : {17, 689, 1500, 5000, kCapacity})
      EXPECT_EQ(portable.Estimate(x.data(), n), vector.Estimate(x.data(), n)) << mode << " " << n;
  }
}

}  // namespace
}  // namespace lym

#include "codec/JointStereo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "FrameWriter.h"
#include "KernelHarness.h"
#include "codec/FrameDecoder.h"

namespace lym {
namespace {

// A target made from known weights over the source window, plus a little noise.
std::vector<int32_t> Predicted(const std::vector<int32_t>& source, const double (&w)[8],
                               std::mt19937& random) {
  std::vector<int32_t> target(source.size(), 0);
  for (size_t t = 4; t + 4 <= source.size(); ++t) {
    double sum = 0;
    for (int k = 0; k < 8; ++k) sum += w[k] * source[t - 4 + k];
    target[t] = int32_t(std::lround(sum)) + int32_t(random() % 3) - 1;
  }
  return target;
}

std::vector<int32_t> Noise(std::mt19937& random, size_t n, int32_t limit) {
  std::vector<int32_t> values(n);
  for (int32_t& v : values) v = int32_t(random() % uint32_t(2 * limit + 1)) - limit;
  return values;
}

TEST(JointPredictor, RecoversTheWeightsOfALinearRelation) {
  std::mt19937 random(test::TestSeed());
  const double w[8] = {0.05, -0.1, 0.2, 0.9, 0.6, -0.3, 0.1, -0.02};
  const auto source = Noise(random, 4000, 5000);
  const auto target = Predicted(source, w, random);
  double found[8];
  ASSERT_TRUE(EstimateJointPredictor(source.data(), target.data(), 4000, found));
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(found[k], w[k], 2e-3) << k;
}

TEST(JointPredictor, DegenerateSignalsHaveNoPredictor) {
  std::mt19937 random(test::TestSeed());
  double found[8];
  const std::vector<int32_t> constant(1000, 7);
  const auto noise = Noise(random, 1000, 100);
  EXPECT_FALSE(EstimateJointPredictor(constant.data(), noise.data(), 1000, found));
  EXPECT_FALSE(EstimateJointPredictor(noise.data(), constant.data(), 1000, found));
  EXPECT_FALSE(EstimateJointPredictor(noise.data(), noise.data(), 8, found));
}

// The four candidate signals with their own arrays.
struct Candidates {
  explicit Candidates(size_t n) : c(n), d(n), e(n), f(n) {
    set.C.Values = c.data();
    set.D.Values = d.data();
    set.E.Values = e.data();
    set.F.Values = f.data();
  }
  std::vector<int32_t> c, d, e, f;
  TJointCandidates set;
};

constexpr TJointOptions kAllCandidates{true, true, 1, true, true};

// Differences of a smooth channel and of a second channel filtered from it, both reaching
// `limit` in magnitude.
struct ChannelPair {
  std::vector<int32_t> a, b;
};

ChannelPair CorrelatedPair(std::mt19937& random, size_t n, int32_t limit) {
  ChannelPair pair;
  auto noise = Noise(random, n + 1, limit / 2);
  for (size_t i = 0; i < n; ++i) pair.a.push_back((noise[i] + noise[i + 1]) / 2);
  const double w[8] = {0, 0.1, -0.2, 0.7, 0.3, 0, 0.05, 0};
  pair.b = Predicted(pair.a, w, random);
  pair.a[n / 2] = limit;
  pair.b[n / 3] = -limit;
  return pair;
}

TEST(JointEncoder, DifferenceAndMidDecodeToTheChannels) {
  std::mt19937 random(test::TestSeed());
  auto a = test::RandomValues<int32_t>(random, 300, test::TValuePattern::Extremes);
  auto b = test::RandomValues<int32_t>(random, 300, test::TValuePattern::Full);
  a[0] = 3;
  b[0] = -2;
  Candidates candidates(a.size());
  TJointChannelEncoder encoder(0, 300, {false, false, 1, true, true});
  ASSERT_TRUE(encoder.Encode(a.data(), b.data(), 300, candidates.set));
  EXPECT_FALSE(candidates.set.C.Valid || candidates.set.D.Valid);
  ASSERT_TRUE(candidates.set.E.Valid && candidates.set.F.Valid);
  EXPECT_EQ(candidates.e[0], -5);
  EXPECT_EQ(candidates.f[0], 0);
  auto known0 = candidates.e, known1 = candidates.e, mid = candidates.f, difference = candidates.e;
  ApplyJointDifference(a.data(), known0.data(), true, 300);
  ApplyJointDifference(b.data(), known1.data(), false, 300);
  ApplyJointMid(mid.data(), difference.data(), 300);
  EXPECT_EQ(known0, b);
  EXPECT_EQ(known1, a);
  EXPECT_EQ(mid, a);
  EXPECT_EQ(difference, b);
}

TEST(JointEncoder, ScaleShiftKeepsTheLargestMagnitudeWithin13Bits) {
  std::mt19937 random(test::TestSeed());
  for (const auto& [limit, shift] : {std::pair{8191, 0}, {8192, 1}}) {
    const ChannelPair pair = CorrelatedPair(random, 2000, limit);
    Candidates candidates(2000);
    TJointChannelEncoder encoder(0, 2000, kAllCandidates);
    ASSERT_TRUE(encoder.Encode(pair.a.data(), pair.b.data(), 2000, candidates.set));
    ASSERT_TRUE(candidates.set.C.Valid) << limit;
    EXPECT_EQ(candidates.set.C.Shift, shift) << limit;
  }
}

TEST(JointEncoder, PredictionNeedsAtLeast256Values) {
  std::mt19937 random(test::TestSeed());
  const ChannelPair pair = CorrelatedPair(random, 256, 3000);
  Candidates candidates(256);
  TJointChannelEncoder encoder(0, 256, kAllCandidates);
  EXPECT_TRUE(encoder.Encode(pair.a.data(), pair.b.data(), 255, candidates.set));
  EXPECT_FALSE(candidates.set.C.Valid || candidates.set.D.Valid);
  EXPECT_TRUE(candidates.set.E.Valid);
  EXPECT_TRUE(encoder.Encode(pair.a.data(), pair.b.data(), 256, candidates.set));
  EXPECT_TRUE(candidates.set.C.Valid && candidates.set.D.Valid);
}

// Samples whose first differences are `differences`, starting at `first`.
test::Values Samples(int32_t first, const std::vector<int32_t>& differences) {
  test::Values samples{first};
  for (int32_t d : differences) samples.push_back(samples.back() + d);
  return samples;
}

// A stereo frame of mode 1 or 2: the source channel's block, the joint parameters, the predicted
// block, each one difference sub-frame of order 0.
std::vector<uint8_t> PredictedFrame(int mode, const test::Values& source,
                                    const TJointCandidate& predicted, int32_t n) {
  test::FrameWriter writer(44100, 24, n);
  writer.Field(uint32_t(mode), 3);
  writer.BlockStart(0, 0);
  writer.NoPreFilter();
  writer.Field(0, 3);  // one sub-frame
  writer.SubFrame(test::SubFrameSpec{}, source);
  WriteJointParameters(writer.Bits(), predicted);
  writer.BlockStart(0, 0);
  writer.NoPreFilter();
  writer.Field(0, 3);
  writer.SubFrame(test::SubFrameSpec{}, test::Values(predicted.Values, predicted.Values + n - 1));
  return writer.Finish();
}

TEST(JointEncoder, PredictedCandidatesDecodeToTheChannelsAtEveryKernelLevel) {
  std::mt19937 random(test::TestSeed());
  constexpr int32_t n = 4096, count = n - 1;
  const ChannelPair pair = CorrelatedPair(random, count, 30000);
  Candidates portable(count), vector(count);
  TJointChannelEncoder(0, count, kAllCandidates)
      .Encode(pair.a.data(), pair.b.data(), count, portable.set);
  TJointChannelEncoder(kCpuFlagVector, count, kAllCandidates)
      .Encode(pair.a.data(), pair.b.data(), count, vector.set);
  ASSERT_TRUE(portable.set.C.Valid && portable.set.D.Valid);
  EXPECT_EQ(portable.c, vector.c);
  EXPECT_EQ(portable.d, vector.d);
  EXPECT_EQ(portable.set.C.Predictor.Coefficients, vector.set.C.Predictor.Coefficients);
  EXPECT_EQ(portable.set.D.Head, vector.set.D.Head);

  const test::Values channel0 = Samples(0, pair.a), channel1 = Samples(0, pair.b);
  TFrameDecoder decoder(0, n, 24, 44100);
  for (int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    const auto frame = mode == 1 ? PredictedFrame(1, pair.a, portable.set.C, n)
                                 : PredictedFrame(2, pair.b, portable.set.D, n);
    test::Values out0(n), out1(n);
    int32_t bytes = int32_t(frame.size());
    ASSERT_TRUE(decoder.DecodeStereo(frame.data(), bytes, n, out1.data(), out0.data()));
    EXPECT_EQ(out0, channel0);
    EXPECT_EQ(out1, channel1);
  }
}

}  // namespace
}  // namespace lym

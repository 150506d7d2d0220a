#include "codec/PreFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "FrameWriter.h"
#include "KernelHarness.h"
#include "codec/FrameDecoder.h"

namespace lym {
namespace {

using test::Values;

constexpr int32_t kRate = 44100;
constexpr int kBits = 24;

// Samples whose differences are four tones over a little noise: a spectrum that one order-4
// predictor cannot follow but two in a row can, times 2^shift.
Values Tilted(std::mt19937& random, int32_t n, int shift, double noise = 0.5) {
  std::normal_distribution<double> gauss(0, noise);
  std::uniform_real_distribution<double> phase(0, 6.28);
  const double tones[4][2] = {{0.03, 900}, {0.11, 700}, {0.23, 500}, {0.37, 300}};
  double phases[4];
  for (double& p : phases) p = phase(random);
  Values samples{int32_t(random() % 1000) << shift};
  for (int32_t i = 1; i < n; ++i) {
    double d = gauss(random);
    for (int k = 0; k < 4; ++k) d += tones[k][1] * std::sin(tones[k][0] * i + phases[k]);
    samples.push_back(samples.back() + (int32_t(std::lround(d)) << shift));
  }
  return samples;
}

// One channel block: shift, first sample, pre-filter, one difference sub-frame of order 0.
void WriteBlock(test::FrameWriter& writer, int32_t firstSample, const TChannelCoding& coding,
                const int32_t* values, int32_t count) {
  writer.BlockStart(coding.Shift, firstSample >> coding.Shift);
  writer.Bits().WriteBit(coding.PreFilter);
  if (coding.PreFilter) WritePreFilterParameters(writer.Bits(), coding.Parameters);
  writer.Field(0, 3);
  writer.SubFrame(test::SubFrameSpec{}, Values(values, values + count));
}

TEST(PrepareChannel, DividesOutTheCommonPowerOfTwoUpTo16) {
  Values values(3);
  int32_t shift = 0;
  const Values samples = {24, 16, -40, -40};
  PrepareChannel(samples.data(), 4, values.data(), shift);
  EXPECT_EQ(shift, 3);
  EXPECT_EQ(values, (Values{-1, -7, 0}));
  const Values large = {1 << 20, -(1 << 21), 0, 0};
  PrepareChannel(large.data(), 4, values.data(), shift);
  EXPECT_EQ(shift, 16);
  EXPECT_EQ(values, (Values{-48, 32, 0}));
  const Values silent(4, 0);
  PrepareChannel(silent.data(), 4, values.data(), shift);
  EXPECT_EQ(shift, 0);
}

// A signal that the pre-filter clearly helps (not every phase of the tones does at this length).
TEST(PreFilterEncoder, FiltersOnlyChannelsOfMoreThan1024Samples) {
  std::mt19937 random(7);
  const Values samples = Tilted(random, 1025, 0);
  TPreFilterEncoder encoder(0, 1025, kBits, kRate, {});
  Values values(1024);
  TChannelCoding coding;
  const TPreFilterCosts costs = encoder.ChooseMono(samples.data(), 1025, values.data(), coding);
  EXPECT_TRUE(coding.PreFilter);
  EXPECT_LT(costs.Filtered, costs.Plain);
  EXPECT_EQ(encoder.ChooseMono(samples.data(), 1024, values.data(), coding).Filtered,
            TPreFilterCosts::kNoPreFilterBits);
  EXPECT_FALSE(coding.PreFilter);
}

// Louder noise leaves the pre-filter less to gain; over a fine sweep the two estimates meet.
TEST(PreFilterEncoder, EqualCostsApplyThePreFilter) {
  TPreFilterEncoder encoder(0, 2048, kBits, kRate, {});
  Values values(2047);
  TChannelCoding coding;
  int ties = 0;
  for (int step = 0; step < 200 && ties == 0; ++step) {
    std::mt19937 random(7);
    const Values samples = Tilted(random, 2048, 0, 36 + step * 0.02);
    const TPreFilterCosts costs = encoder.ChooseMono(samples.data(), 2048, values.data(), coding);
    EXPECT_EQ(coding.PreFilter, costs.Filtered <= costs.Plain);
    ties += costs.Filtered == costs.Plain;
  }
  EXPECT_EQ(ties, 1);
}

TEST(PreFilterEncoder, FilteredMonoFrameDecodesAtEveryKernelLevel) {
  std::mt19937 random(test::TestSeed());
  constexpr int32_t n = 4096;
  const Values samples = Tilted(random, n, 2);
  Values values(n - 1), vectorValues(n - 1);
  TChannelCoding coding, vectorCoding;
  TPreFilterEncoder(0, n, kBits, kRate, {}).ChooseMono(samples.data(), n, values.data(), coding);
  TPreFilterEncoder(kCpuFlagVector, n, kBits, kRate, {})
      .ChooseMono(samples.data(), n, vectorValues.data(), vectorCoding);
  ASSERT_TRUE(coding.PreFilter);
  EXPECT_EQ(coding.Shift, 2);
  EXPECT_EQ(values, vectorValues);

  test::FrameWriter writer(kRate, kBits, n);
  WriteBlock(writer, samples[0], coding, values.data(), n - 1);
  const auto frame = writer.Finish();
  Values out(n);
  int32_t bytes = int32_t(frame.size());
  ASSERT_TRUE(TFrameDecoder(0, n, kBits, kRate).DecodeMono(frame.data(), bytes, n, out.data()));
  EXPECT_EQ(out, samples);
}

struct StereoWork {
  explicit StereoWork(size_t n) : a(n), b(n), c(n), d(n), e(n), f(n) {
    candidates.C.Values = c.data();
    candidates.D.Values = d.data();
    candidates.E.Values = e.data();
    candidates.F.Values = f.data();
  }
  Values a, b, c, d, e, f;
  TJointCandidates candidates;
  TStereoRoute route;
};

// The frame the route asks for: per mode, the signal of each block and the input channel whose
// first sample and coding it carries.
std::vector<uint8_t> StereoFrame(const StereoWork& work, const Values (&channels)[2], int32_t n) {
  const int32_t* const a = work.a.data();
  const int32_t* const b = work.b.data();
  const struct {
    const int32_t* values;
    int channel;
  } blocks[6][2] = {{{a, 0}, {b, 1}},           {{a, 0}, {work.c.data(), 1}},
                    {{b, 1}, {work.d.data(), 0}}, {{a, 0}, {work.e.data(), 1}},
                    {{b, 1}, {work.e.data(), 0}}, {{work.f.data(), 0}, {work.e.data(), 1}}};
  const int mode = work.route.Mode;
  test::FrameWriter writer(kRate, kBits, n);
  writer.Field(uint32_t(mode), 3);
  for (int block = 0; block < 2; ++block) {
    const int channel = blocks[mode][block].channel;
    if (block == 1 && (mode == 1 || mode == 2))
      WriteJointParameters(writer.Bits(), mode == 1 ? work.candidates.C : work.candidates.D);
    WriteBlock(writer, channels[channel][0], work.route.Channels[channel],
               blocks[mode][block].values, n - 1);
  }
  return writer.Finish();
}

TEST(PreFilterEncoder, EveryStereoRouteDecodesToTheChannels) {
  std::mt19937 random(test::TestSeed());
  constexpr int32_t n = 4096;
  TPreFilterEncoder encoder(0, n, kBits, kRate, {{true, true, 1, true, true}, 1, 0});
  TFrameDecoder decoder(0, n, kBits, kRate);
  const Values tilted = Tilted(random, n, 0), other = Tilted(random, n, 1);
  Values echo(n), noisy(n), plain(n), plainEcho(n), mirrored(n);
  for (int32_t i = 0; i < n; ++i) {
    echo[size_t(i)] = (3 * tilted[size_t(i)] + tilted[size_t(std::max(i - 1, 0))]) / 4;
    noisy[size_t(i)] = tilted[size_t(i)] + int32_t(random() % 2001) - 1000;
    plain[size_t(i)] = int32_t(random() % 60001) - 30000;
  }
  for (int32_t i = 0; i < n; ++i) {
    plainEcho[size_t(i)] = (3 * plain[size_t(i)] + plain[size_t(std::max(i - 1, 0))]) / 4;
    mirrored[size_t(i)] = -plain[size_t(i)] + int32_t(random() % 3);
  }
  const std::pair<const Values&, const Values&> pairs[] = {
      {tilted, other}, {tilted, echo}, {echo, tilted}, {tilted, noisy}, {plain, noisy}, {plain, plain},
      {plain, plainEcho}, {plainEcho, plain}, {plain, mirrored}};
  bool filteredRoute = false;
  for (const auto& [first, second] : pairs) {
    StereoWork work(n - 1);
    encoder.ChooseStereoRoute(first.data(), second.data(), n, work.a.data(), work.b.data(),
                              work.candidates, work.route);
    SCOPED_TRACE(work.route.Mode);
    filteredRoute |= work.route.Channels[0].PreFilter;
    const Values channels[2] = {first, second};
    const auto frame = StereoFrame(work, channels, n);
    Values out0(n), out1(n);
    int32_t bytes = int32_t(frame.size());
    ASSERT_TRUE(decoder.DecodeStereo(frame.data(), bytes, n, out1.data(), out0.data()));
    EXPECT_EQ(out0, first);
    EXPECT_EQ(out1, second);
  }
  EXPECT_TRUE(filteredRoute);
}

}  // namespace
}  // namespace lym

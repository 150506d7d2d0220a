#include "codec/FrameEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "KernelHarness.h"
#include "codec/FrameDecoder.h"
#include "container/Crc24.h"

namespace lym {
namespace {

using Samples = std::vector<int32_t>;

// The generated signals of the round trips, each at the given sample width.
enum class Signal { Silence, Dc, Noise, Sine, Square, WastedBits, Spikes };
constexpr Signal kSignals[] = {Signal::Silence, Signal::Dc,         Signal::Noise, Signal::Sine,
                               Signal::Square,  Signal::WastedBits, Signal::Spikes};

Samples Generate(Signal signal, int32_t n, int bits, std::mt19937& random) {
  const int32_t top = (1 << (bits - 1)) - 1;
  Samples x(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    int32_t& v = x[size_t(i)];
    switch (signal) {
      case Signal::Silence: v = 0; break;
      case Signal::Dc: v = -top / 3; break;
      case Signal::Noise: v = int32_t(random() % (2u * uint32_t(top) + 2)) - top - 1; break;
      case Signal::Sine: v = int32_t(std::lround(top * 0.8 * std::sin(i * 0.031))); break;
      case Signal::Square: v = (i / 50) % 2 == 0 ? top : -top - 1; break;
      case Signal::WastedBits: v = int32_t(std::lround(top * 0.5 * std::sin(i * 0.01))) & ~0xF; break;
      case Signal::Spikes: v = i % 97 == 0 ? top : int32_t(random() % 7) - 3; break;
    }
  }
  return x;
}

struct Round {
  TEncoderSettings settings;
  int32_t rate;
  int bits;
};

// Encodes and decodes one frame; the decoded samples and the byte count must match.
void ExpectRoundTrip(const Round& round, const Samples& a, const Samples* b, uint32_t cpuFlags,
                     std::vector<uint8_t>* bytes = nullptr) {
  TEncoderSettings settings = round.settings;
  const TFrameEncoderOptions options = MakeFrameEncoderOptions(settings, round.rate);
  TFrameEncoder encoder(round.rate, round.bits, cpuFlags, options, settings.Predictors);
  int32_t n = int32_t(a.size()), byteCount = 0;
  const uint8_t* data = nullptr;
  if (b == nullptr) {
    encoder.EncodeMono(a.data(), n, byteCount, data);
  } else {
    encoder.EncodeStereo(a.data(), b->data(), byteCount, data, n);
  }
  ASSERT_EQ(n, int32_t(a.size()));
  std::vector<uint8_t> payload(data, data + byteCount);
  if (bytes != nullptr) *bytes = payload;

  TFrameDecoder decoder(cpuFlags, options.FrameSamples, round.bits, round.rate);
  Samples out0(a.size()), out1(a.size());
  int32_t used = byteCount;
  const bool ok = b == nullptr
                      ? decoder.DecodeMono(payload.data(), used, n, out0.data())
                      : decoder.DecodeStereo(payload.data(), used, n, out1.data(), out0.data());
  ASSERT_TRUE(ok);
  EXPECT_EQ(used, byteCount);
  EXPECT_EQ(out0, a);
  if (b != nullptr) {
    EXPECT_EQ(out1, *b);
  }
}

// A second channel that follows the first, as real stereo does: joint modes pay for it.
Samples Follower(const Samples& a, std::mt19937& random) {
  Samples b(a.size());
  for (size_t i = 0; i < a.size(); ++i) b[i] = a[i] / 4 * 3 + int32_t(random() % 9) - 4;
  return b;
}

TEST(FrameEncoder, EveryPresetAndLevelRoundTrips) {
  std::mt19937 random(test::TestSeed());
  std::set<int> modes;
  for (int preset = 0; preset < kPresetCount; ++preset) {
    for (int level = 0; level < kLevelCount; ++level) {
      const Round round{PresetSettings(preset, level), 44100, 16};
      for (Signal signal : kSignals) {
        SCOPED_TRACE(testing::Message() << "preset " << preset << " level " << level << " signal "
                                        << int(signal));
        const int32_t n = 1000 + int32_t(random() % 3000);
        const Samples a = Generate(signal, n, 16, random);
        const Samples b = Generate(kSignals[random() % std::size(kSignals)], n, 16, random);
        ExpectRoundTrip(round, a, nullptr, kCpuFlagVector);
        ExpectRoundTrip(round, a, &b, kCpuFlagVector);
        std::vector<uint8_t> bytes;
        const Samples follower = Follower(a, random);
        ExpectRoundTrip(round, a, &follower, kCpuFlagVector, &bytes);
        modes.insert(bytes[0] & 7);
      }
      // Channel pairs that joint coding must get exactly right: identical, inverted, one silent.
      const Samples a = Generate(Signal::Sine, 2500, 16, random);
      Samples inverted(a.size());
      const Samples silent(a.size(), 0);
      for (size_t i = 0; i < a.size(); ++i) inverted[i] = -a[i];
      const Samples& invertedRef = inverted;
      for (const Samples* b : {&a, &invertedRef, &silent}) {
        ExpectRoundTrip(round, a, b, kCpuFlagVector);
        ExpectRoundTrip(round, *b, &a, kCpuFlagVector);
      }
    }
  }
  // The stereo mode is the first field of a coded stereo frame.
  EXPECT_GE(modes.size(), 3u);
}

TEST(FrameEncoder, EveryWidthRateAndShortFrame) {
  std::mt19937 random(test::TestSeed());
  for (int bits : {8, 16, 24}) {
    for (int32_t rate : {8000, 22050, 48000, 96000}) {
      const Round round{DefaultEncoderSettings(), rate, bits};
      for (int32_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 31, 333, 999}) {
        for (Signal signal : kSignals) {
          SCOPED_TRACE(testing::Message() << bits << " bits, " << rate << " Hz, n " << n);
          const Samples a = Generate(signal, n, bits, random);
          const Samples b = Generate(Signal::Noise, n, bits, random);
          ExpectRoundTrip(round, a, nullptr, kCpuFlagVector);
          ExpectRoundTrip(round, a, &b, kCpuFlagVector);
        }
      }
    }
  }
}

// 1025 samples are the shortest frame whose channels may be pre-filtered.
TEST(FrameEncoder, ShortestPreFilteredFrames) {
  std::mt19937 random(test::TestSeed());
  const Round round{PresetSettings(3, 0), 44100, 16};
  for (int32_t n : {1024, 1025, 1026}) {
    const Samples a = Generate(Signal::Sine, n, 16, random);
    const Samples b = Follower(a, random);
    ExpectRoundTrip(round, a, nullptr, kCpuFlagVector);
    ExpectRoundTrip(round, a, &b, kCpuFlagVector);
  }
}

TEST(FrameEncoder, SameBytesAtEveryKernelLevelAndOnEveryCall) {
  std::mt19937 random(test::TestSeed());
  const Round round{PresetSettings(4, 2), 44100, 24};
  const Samples a = Generate(Signal::Sine, 11025, 24, random);
  const Samples b = Generate(Signal::Noise, 11025, 24, random);
  std::vector<uint8_t> reference, again;
  ExpectRoundTrip(round, a, &b, 0, &reference);
  test::ForEachLevel([&](TKernelLevel level) {
    CapKernelLevel(level);
    ExpectRoundTrip(round, a, &b, kCpuFlagVector, &again);
    EXPECT_EQ(again, reference);
  });
  CapKernelLevel(TKernelLevel::Avx2);
}

// The longest frames of the widest noise come closest to the payload bound.
TEST(FrameEncoder, FullScaleNoiseOfTheLongestFrame) {
  std::mt19937 random(test::TestSeed());
  TEncoderSettings settings = PresetSettings(0, 0);
  settings.FrameSizeCode = 6;
  const Round round{settings, 96000, 24};
  const Samples a = Generate(Signal::Noise, kMaxFrameLength, 24, random);
  const Samples b = Generate(Signal::Spikes, kMaxFrameLength, 24, random);
  std::vector<uint8_t> bytes;
  ExpectRoundTrip(round, a, &b, kCpuFlagVector, &bytes);
  EXPECT_LT(bytes.size(), size_t(kMaxFramePayloadBytes));
}

// The encoder's output is part of the format's promise: the same samples and settings give the same
// bytes in every build. The signal is made without floating point so that it is the same
// everywhere too; a change of these checksums is a change of the encoder's decisions.
TEST(FrameEncoder, GoldenPayloads) {
  Samples a(4096), b(4096);
  uint32_t state = 12345;
  for (size_t i = 0; i < a.size(); ++i) {
    state = state * 1103515245u + 12345u;
    const int32_t triangle = int32_t(i % 200) < 100 ? int32_t(i % 200) * 300 : (200 - int32_t(i % 200)) * 300;
    a[i] = triangle - 15000 + int32_t(state >> 24) - 128;
    b[i] = a[i] / 2 + int32_t((state >> 16) & 63) - 32;
  }
  struct Golden {
    int preset, level;
    uint32_t crc;
  };
  for (const Golden golden :
       {Golden{0, 0, 7530169}, Golden{2, 0, 9885608}, Golden{4, 2, 4630464}}) {
    TEncoderSettings settings = PresetSettings(golden.preset, golden.level);
    const TFrameEncoderOptions options = MakeFrameEncoderOptions(settings, 44100);
    TFrameEncoder encoder(44100, 16, kCpuFlagVector, options, settings.Predictors);
    int32_t n = 4096, bytes = 0;
    const uint8_t* data = nullptr;
    encoder.EncodeStereo(a.data(), b.data(), bytes, data, n);
    uint32_t crc = Crc24(data, size_t(bytes));
    encoder.EncodeMono(b.data(), n, bytes, data);
    crc = Crc24Update(data, size_t(bytes), crc);
    EXPECT_EQ(crc, golden.crc) << "preset " << golden.preset << " level " << golden.level;
  }
}

TEST(FrameEncoder, StereoModeTiesGoToTheLowerMode) {
  const int64_t none = kNoStereoRoute;
  EXPECT_EQ(ChooseStereoMode({900, 700, none, 700, 800, 750}), 1);
  EXPECT_EQ(ChooseStereoMode({900, none, none, none, none, 899}), 5);
  EXPECT_EQ(ChooseStereoMode({none, none, none, none, none, none}), 0);
}

TEST(FrameEncoder, ShortFramesAreRawAndCountsAreClamped) {
  TEncoderSettings settings = DefaultEncoderSettings();
  const TFrameEncoderOptions options = MakeFrameEncoderOptions(settings, 44100);
  TFrameEncoder encoder(44100, 16, 0, options, settings.Predictors);
  const Samples a(15, -2);
  int32_t n = 15, bytes = 0;
  const uint8_t* data = nullptr;
  encoder.EncodeStereo(a.data(), a.data(), bytes, data, n);
  EXPECT_EQ(bytes, 60);
  const Samples many(size_t(options.FrameSamples) + 5, 9);
  n = int32_t(many.size());
  encoder.EncodeMono(many.data(), n, bytes, data);
  EXPECT_EQ(n, options.FrameSamples);
}

}  // namespace
}  // namespace lym

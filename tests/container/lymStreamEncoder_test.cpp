#include "container/lymStreamEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "codec/Pcm.h"
#include "container/lymStreamDecoder.h"
#include "io/MemoryStream.h"

namespace lym {
namespace {

TadcAudioFormat Format(int32_t bits, int32_t channels, int32_t rate) {
  TadcAudioFormat format;
  format.SampleRate = rate;
  format.BitsPerSample = bits;
  format.Channels = channels;
  format.BlockSize = PcmBlockSize(bits, channels);
  return format;
}

// Interleaved PCM of a tone with a little noise.
std::vector<uint8_t> MakePcm(const TadcAudioFormat& format, int64_t n, uint32_t seed) {
  std::mt19937 random(seed);
  const int32_t top = (1 << (format.BitsPerSample - 1)) - 1;
  std::vector<int32_t> a(static_cast<size_t>(n)), b(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    const double t = double(i);
    a[size_t(i)] = std::clamp(int32_t(std::lround(top * 0.7 * std::sin(t * 0.021))) +
                                  int32_t(random() % 7) - 3,
                              -top - 1, top);
    b[size_t(i)] = std::clamp(int32_t(std::lround(top * 0.5 * std::sin(t * 0.017 + 1.0))) +
                                  int32_t(random() % 5) - 2,
                              -top - 1, top);
  }
  std::vector<uint8_t> pcm(size_t(n) * size_t(format.BlockSize));
  WritePcm(format.BitsPerSample, format.Channels, a.data(), b.data(), pcm.data(), int32_t(n));
  return pcm;
}

// Encodes pcm into medium in pieces of `piece` sample frames; returns Close's result.
int32_t Encode(TMemoryMedium& medium, const TadcAudioFormat& format, const std::vector<uint8_t>& pcm,
               const TadcEncoderOptions& options, const TEncoderSettings* settings = nullptr,
               int32_t piece = 1000) {
  const int64_t n = int64_t(pcm.size()) / format.BlockSize;
  TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium, n);
  EXPECT_EQ(encoder.CreateResult(), kEncodeOk);
  if (settings != nullptr) {
    EXPECT_EQ(encoder.SetParameters(*settings), kEncodeOk);
  }
  for (int64_t at = 0; at < n; at += piece) {
    const int32_t count = int32_t(std::min<int64_t>(piece, n - at));
    const int32_t result = encoder.EncodeSamples(pcm.data() + at * format.BlockSize, count);
    EXPECT_EQ(result, kEncodeOk);
    if (result != kEncodeOk) return result;
  }
  return encoder.Close(false);
}

std::vector<uint8_t> Decode(TMemoryMedium& medium, const TadcAudioFormat& format, int64_t n) {
  medium.position = 0;
  TadcInterfaceStream stream;
  EXPECT_EQ(OpenMemoryStream(stream, medium), 0);
  TSeekableStreamDecoder decoder(stream, TadcDecoderOptions{}, nullptr, nullptr);
  EXPECT_EQ(decoder.OpenResult(), kDecodeOk);
  EXPECT_EQ(decoder.Result().HeaderSamples, n);
  std::vector<uint8_t> out(size_t(n + 10) * size_t(format.BlockSize));
  int32_t delivered = 0;
  EXPECT_EQ(decoder.DecodeSamples(out.data(), int32_t(n + 10), &delivered), kDecodeOk);
  out.resize(size_t(delivered) * size_t(format.BlockSize));
  EXPECT_EQ(decoder.Result().DamagedBlocks, 0);
  return out;
}

void RoundTrip(int32_t bits, int32_t channels, int32_t rate, int64_t n,
               const TEncoderSettings* settings = nullptr) {
  SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " ch, " << rate
                                  << " Hz, " << n << " samples");
  const TadcAudioFormat format = Format(bits, channels, rate);
  const std::vector<uint8_t> pcm = MakePcm(format, n, uint32_t(bits + rate + n));
  TMemoryMedium medium;
  ASSERT_EQ(Encode(medium, format, pcm, TadcEncoderOptions{}, settings), kEncodeOk);
  EXPECT_EQ(Decode(medium, format, n), pcm);
}

int32_t FrameLengthOf(int32_t rate) {
  const TadcAudioFormat format = Format(16, 1, rate);
  TadcEncoderOptions options;
  TMemoryMedium medium;
  TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium, 1);
  return encoder.GetFrameSamples();
}

TEST(SeekableStreamEncoder, RoundTripsShapesAndFormats) {
  for (int32_t channels : {1, 2}) {
    for (int32_t bits : {8, 16, 24}) {
      for (int32_t rate : {8000, 44100, 96000}) {
        const int32_t frame = FrameLengthOf(rate);
        ASSERT_GT(frame, 0);
        for (int64_t n : {int64_t(1), int64_t(frame), int64_t(frame) + 1,
                          int64_t(frame) * 3, int64_t(frame) * 5 / 2}) {
          RoundTrip(bits, channels, rate, n);
        }
      }
    }
  }
}

TEST(SeekableStreamEncoder, AllPresetsAndLevels) {
  for (int preset = 0; preset < kPresetCount; ++preset) {
    for (int level = 0; level < kLevelCount; ++level) {
      SCOPED_TRACE(testing::Message() << "preset " << preset << " level " << level);
      const TadcAudioFormat format = Format(16, 2, 44100);
      const std::vector<uint8_t> pcm = MakePcm(format, 20000, 7);
      TadcEncoderOptions options;
      options.Preset = preset;
      options.Evaluation = level;
      TMemoryMedium medium;
      ASSERT_EQ(Encode(medium, format, pcm, options), kEncodeOk);
      EXPECT_EQ(Decode(medium, format, 20000), pcm);
    }
  }
}

TEST(SeekableStreamEncoder, VerificationPassesAndParametersAreClassified) {
  TEncoderSettings settings = PresetSettings(3, 1);
  settings.Verify = true;
  RoundTrip(16, 2, 44100, 30000, &settings);
  RoundTrip(24, 1, 48000, 30000, &settings);

  const TadcAudioFormat format = Format(16, 2, 44100);
  TadcEncoderOptions options;
  TMemoryMedium medium;
  TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium, 100);
  EXPECT_EQ(encoder.EncoderInfo().EncoderVersion, 0x010001);
  EXPECT_EQ(encoder.EncoderInfo().Preset, kDefaultPreset);
  ASSERT_EQ(encoder.SetParameters(settings), kEncodeOk);
  EXPECT_EQ(encoder.EncoderInfo().Preset, ClassifyPreset(encoder.Settings()));
  EXPECT_EQ(encoder.EncoderInfo().Evaluation, ClassifyLevel(encoder.Settings()));
}

TEST(SeekableStreamEncoder, EncodingTwiceGivesIdenticalBytes) {
  const TadcAudioFormat format = Format(16, 2, 44100);
  const std::vector<uint8_t> pcm = MakePcm(format, 25000, 3);
  TMemoryMedium first, second;
  ASSERT_EQ(Encode(first, format, pcm, TadcEncoderOptions{}, nullptr, 1000), kEncodeOk);
  ASSERT_EQ(Encode(second, format, pcm, TadcEncoderOptions{}, nullptr, 777), kEncodeOk);
  EXPECT_EQ(first.bytes, second.bytes);
  EXPECT_FALSE(first.bytes.empty());
}

TEST(SeekableStreamEncoder, RefusesStreamsTooLongForTheFormat) {
  const TadcAudioFormat format = Format(16, 2, 8000);
  TadcEncoderOptions options;
  TMemoryMedium medium;
  {
    TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium,
                                   int64_t(1) << 31);
    EXPECT_EQ(encoder.CreateResult(), kEncodeUnsupportedFormat);
    EXPECT_EQ(encoder.GetFrameSamples(), -1);
  }
  {
    const TadcAudioFormat wide = Format(16, 2, 44100);
    TSeekableStreamEncoder encoder(&wide, &options, &MemoryMediumCallbacks(), &medium,
                                   (int64_t(1) << 31) - 1);
    EXPECT_EQ(encoder.CreateResult(), kEncodeOk);
  }
  {
    // Code 0 at 8000 Hz: 750 samples a frame, so 2097153 frames stay below 2^31 samples.
    TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium,
                                   int64_t(750) * 2097152);
    ASSERT_EQ(encoder.CreateResult(), kEncodeOk);
    TEncoderSettings settings = encoder.Settings();
    settings.FrameSizeCode = 0;
    EXPECT_EQ(encoder.SetParameters(settings), kEncodeOk);
    EXPECT_EQ(encoder.TotalFrames(), 2097152);
  }
  {
    TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium,
                                   int64_t(750) * 2097152 + 1);
    ASSERT_EQ(encoder.CreateResult(), kEncodeOk);
    TEncoderSettings settings = encoder.Settings();
    settings.FrameSizeCode = 0;
    EXPECT_EQ(encoder.SetParameters(settings), kEncodeUnsupportedFormat);
    EXPECT_FALSE(encoder.Ok());
  }
  EXPECT_TRUE(medium.bytes.empty());
}

TEST(SeekableStreamEncoder, CreationChecks) {
  TadcEncoderOptions options;
  TMemoryMedium medium;
  const TadcAudioFormat good = Format(16, 2, 44100);
  EXPECT_EQ(TSeekableStreamEncoder(&good, &options, &MemoryMediumCallbacks(), &medium, 0)
                .CreateResult(),
            kEncodeInvalidArgument);
  TadcEncoderOptions badPreset;
  badPreset.Preset = 5;
  EXPECT_EQ(TSeekableStreamEncoder(&good, &badPreset, &MemoryMediumCallbacks(), &medium, 10)
                .CreateResult(),
            kEncodeInvalidArgument);
  for (const TadcAudioFormat& bad : {Format(12, 2, 44100), Format(16, 3, 44100),
                                     Format(16, 2, 7999), Format(16, 2, 96001)}) {
    EXPECT_EQ(TSeekableStreamEncoder(&bad, &options, &MemoryMediumCallbacks(), &medium, 10)
                  .CreateResult(),
              kEncodeUnsupportedFormat);
  }
  TadcStreamCallbacks noFlush = MemoryMediumCallbacks();
  noFlush.Flush = nullptr;
  EXPECT_EQ(TSeekableStreamEncoder(&good, &options, &noFlush, &medium, 10).CreateResult(),
            kEncodeBadCallbacks);
  EXPECT_EQ(TSeekableStreamEncoder(&good, &options, "", 10).CreateResult(),
            kEncodeInvalidArgument);
}

TEST(SeekableStreamEncoder, CallOrderAndSampleCounts) {
  const TadcAudioFormat format = Format(16, 1, 44100);
  const std::vector<uint8_t> pcm = MakePcm(format, 101, 1);
  TadcEncoderOptions options;
  {
    TMemoryMedium medium;
    TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium, 100);
    EXPECT_EQ(encoder.EncodeSamples(pcm.data(), 101), kEncodeTooManySamples);
    EXPECT_EQ(encoder.SamplesGiven(), 0);
  }
  {
    TMemoryMedium medium;
    TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium, 100);
    EXPECT_EQ(encoder.Close(false), kEncodeNotAllowed);
  }
  {
    TMemoryMedium medium;
    TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium, 100);
    EXPECT_EQ(encoder.EncodeSamples(pcm.data(), 50), kEncodeOk);
    TadcWaveMetaInfo info{4, 0};
    EXPECT_EQ(encoder.WriteWaveMetaData(&info, "RIFF"), kEncodeNotAllowed);
  }
  {
    TMemoryMedium medium;
    TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium, 100);
    EXPECT_EQ(encoder.EncodeSamples(pcm.data(), 50), kEncodeOk);
    EXPECT_EQ(encoder.Close(false), kEncodeTooFewSamples);
  }
  {
    TMemoryMedium medium;
    TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium, 100);
    std::vector<uint8_t> big(kMaxWaveMetaBytes + 1);
    TadcWaveMetaInfo info{kMaxWaveMetaBytes + 1, 0};
    EXPECT_EQ(encoder.WriteWaveMetaData(&info, big.data()), kEncodeWaveMetaTooLarge);
    EXPECT_EQ(encoder.EncodeSamples(pcm.data(), 100), kEncodeOk);
    EXPECT_EQ(encoder.Close(false), kEncodeOk);
    EXPECT_EQ(encoder.HighestError(), kEncodeWaveMetaTooLarge);
    EXPECT_EQ(encoder.EncodeSamples(pcm.data(), 1), kEncodeNotAllowed);
    std::vector<uint8_t> expected(pcm.begin(), pcm.begin() + 200);
    EXPECT_EQ(Decode(medium, format, 100), expected);
  }
  {
    TMemoryMedium medium;
    TSeekableStreamEncoder encoder(&format, &options, &MemoryMediumCallbacks(), &medium, 100);
    EXPECT_EQ(encoder.EncodeSamples(pcm.data(), 10), kEncodeOk);
    EXPECT_EQ(encoder.Close(true), kEncodeOk);
    EXPECT_EQ(encoder.HighestError(), kEncodeAbandoned);
  }
}

TEST(SeekableStreamEncoder, WritesANewFile) {
  const TadcAudioFormat format = Format(16, 2, 44100);
  const std::vector<uint8_t> pcm = MakePcm(format, 12345, 5);
  const std::string name = testing::TempDir() + "lym_stream_encoder_test.lym";
  std::remove(name.c_str());
  TadcEncoderOptions options;
  options.Flags = kEncodeBuffered;
  {
    TSeekableStreamEncoder encoder(&format, &options, name.c_str(), 12345);
    ASSERT_EQ(encoder.CreateResult(), kEncodeOk);
    EXPECT_EQ(encoder.EncodeSamples(pcm.data(), 12345), kEncodeOk);
    EXPECT_EQ(encoder.Close(false), kEncodeOk);
    EXPECT_TRUE(encoder.CreatedOutput());
    EXPECT_GT(encoder.GetOutputSize(), 0);
    EXPECT_EQ(encoder.SourceBytes(), int64_t(pcm.size()));
  }
  {
    TSeekableStreamDecoder decoder(name.c_str(), TadcDecoderOptions{}, nullptr, nullptr);
    ASSERT_EQ(decoder.OpenResult(), kDecodeOk);
    std::vector<uint8_t> out(pcm.size());
    int32_t delivered = 0;
    EXPECT_EQ(decoder.DecodeSamples(out.data(), 12345, &delivered), kDecodeOk);
    EXPECT_EQ(delivered, 12345);
    EXPECT_EQ(out, pcm);
  }
  std::remove(name.c_str());
}

// A memory medium that refuses writes beyond a limit, or refuses to flush.
struct FailingMedium {
  TMemoryMedium memory;
  int64_t writeLimit = INT64_MAX;
  bool flushFails = false;
};

TadcStreamCallbacks FailingCallbacks() {
  TadcStreamCallbacks c = MemoryMediumCallbacks();
  c.CanRead = [](void* u) { return MemoryMediumCallbacks().CanRead(&static_cast<FailingMedium*>(u)->memory); };
  c.CanWrite = [](void* u) { return MemoryMediumCallbacks().CanWrite(&static_cast<FailingMedium*>(u)->memory); };
  c.CanSeek = [](void* u) { return MemoryMediumCallbacks().CanSeek(&static_cast<FailingMedium*>(u)->memory); };
  c.Read = [](void* u, void* buffer, int32_t count, int32_t* read) {
    return MemoryMediumCallbacks().Read(&static_cast<FailingMedium*>(u)->memory, buffer, count, read);
  };
  c.Write = [](void* u, const void* buffer, int32_t count) -> int32_t {
    auto* m = static_cast<FailingMedium*>(u);
    if (m->memory.position + count > m->writeLimit) return 0;
    return MemoryMediumCallbacks().Write(&m->memory, buffer, count);
  };
  c.Flush = [](void* u) -> int32_t {
    auto* m = static_cast<FailingMedium*>(u);
    if (m->flushFails) return 0;
    return MemoryMediumCallbacks().Flush(&m->memory);
  };
  c.Seek = [](void* u, int64_t position) {
    return MemoryMediumCallbacks().Seek(&static_cast<FailingMedium*>(u)->memory, position);
  };
  c.GetLength = [](void* u, int64_t* length) {
    return MemoryMediumCallbacks().GetLength(&static_cast<FailingMedium*>(u)->memory, length);
  };
  return c;
}

int32_t EncodeToFailing(FailingMedium& medium, uint32_t flags) {
  const TadcAudioFormat format = Format(16, 2, 44100);
  const std::vector<uint8_t> pcm = MakePcm(format, 20000, 9);
  TadcEncoderOptions options;
  options.Flags = flags;
  const TadcStreamCallbacks callbacks = FailingCallbacks();
  TSeekableStreamEncoder encoder(&format, &options, &callbacks, &medium, 20000);
  EXPECT_EQ(encoder.CreateResult(), kEncodeOk);
  const int32_t encoded = encoder.EncodeSamples(pcm.data(), 20000);
  const int32_t closed = encoder.Close(false);
  return std::max(encoded, closed);
}

TEST(SeekableStreamEncoder, FailingMediumGivesFailure) {
  for (uint32_t flags : {0u, kEncodeBuffered}) {
    FailingMedium fine;
    ASSERT_EQ(EncodeToFailing(fine, flags), kEncodeOk) << flags;
    const int64_t size = int64_t(fine.memory.bytes.size());
    ASSERT_GT(size, 100);
    for (int64_t limit : {int64_t(0), int64_t(10), size / 2, size - 1}) {
      FailingMedium medium;
      medium.writeLimit = limit;
      EXPECT_EQ(EncodeToFailing(medium, flags), kEncodeWriteError) << limit << " " << flags;
    }
    FailingMedium medium;
    medium.flushFails = true;
    EXPECT_EQ(EncodeToFailing(medium, flags), kEncodeWriteError) << flags;
  }
}

}  // namespace
}  // namespace lym

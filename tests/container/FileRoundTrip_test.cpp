// WAVE file -> .lym file -> WAVE file through the stream encoder and decoder, byte for byte; and
// what the decoder makes of compressed files damaged in every way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "TestFiles.h"
#include "codec/EncoderPresets.h"
#include "container/lymStreamDecoder.h"
#include "container/lymStreamEncoder.h"

namespace lym {
namespace {

using test::WaveSpec;

int32_t FrameLengthAt(int32_t rate) {
  TEncoderSettings settings;
  int32_t code = settings.FrameSizeCode, length = 0;
  EXPECT_TRUE(CalcFrameSamples(rate, code, length));
  return length;
}

void ExpectFileRoundTrip(const WaveSpec& spec, const TEncoderSettings& settings = {}) {
  SCOPED_TRACE(testing::Message() << spec.bits << " bits, " << spec.channels << " ch, "
                                  << spec.rate << " Hz, " << spec.samples << " samples");
  test::TempFolder folder;
  const std::vector<uint8_t> wave = test::MakeWaveFile(spec);
  test::WriteFileBytes(folder / "in.wav", wave);
  ASSERT_EQ(test::EncodeWaveFile(folder / "in.wav", folder / "in.lym", settings), kEncodeOk);
  ASSERT_EQ(test::DecodeToWaveFile(folder / "in.lym", folder / "out.wav"), kDecodeOk);
  EXPECT_TRUE(test::ReadFileBytes(folder / "out.wav") == wave);
}

TEST(FileRoundTrip, FormatsAndLengthsAroundFrameBoundaries) {
  for (const int32_t bits : {8, 16, 24}) {
    for (const int32_t channels : {1, 2}) {
      for (const int32_t rate : {8000, 22050, 44100, 96000}) {
        const int32_t frame = FrameLengthAt(rate);
        for (const int64_t samples : {int64_t(1), int64_t(frame), int64_t(frame) + 1,
                                      int64_t(3) * frame + 17}) {
          WaveSpec spec;
          spec.bits = bits;
          spec.channels = channels;
          spec.rate = rate;
          spec.samples = samples;
          spec.seed = uint32_t(bits * channels + rate);
          ExpectFileRoundTrip(spec);
        }
      }
    }
  }
}

TEST(FileRoundTrip, HeaderChunksTrailersAndIncompleteSampleFramesSurvive) {
  WaveSpec spec;
  spec.samples = 12345;
  spec.listBytes = 301;
  spec.trailerBytes = 77;
  spec.oddBytes = 3;
  ExpectFileRoundTrip(spec);
  spec.bits = 24;
  spec.channels = 1;
  spec.rate = 11025;
  spec.oddBytes = 1;
  spec.noise = true;
  ExpectFileRoundTrip(spec);
}

TEST(FileRoundTrip, EveryPresetAndLevelWithVerification) {
  WaveSpec spec;
  spec.samples = 3 * 4410 + 5;
  spec.trailerBytes = 20;
  for (int preset = 0; preset < kPresetCount; ++preset) {
    for (int level = 0; level < kLevelCount; ++level) {
      SCOPED_TRACE(testing::Message() << "preset " << preset << ", level " << level);
      TEncoderSettings settings = PresetSettings(preset, level);
      settings.Verify = true;
      spec.seed = uint32_t(preset * 3 + level);
      spec.channels = 1 + (preset + level) % 2;
      ExpectFileRoundTrip(spec, settings);
    }
  }
}

TEST(FileRoundTrip, WithoutStoredMetadataACanonicalHeaderIsWritten) {
  test::TempFolder folder;
  WaveSpec spec;
  spec.samples = 5000;
  test::WriteFileBytes(folder / "in.wav", test::MakeWaveFile(spec));
  ASSERT_EQ(test::EncodeWaveFile(folder / "in.wav", folder / "in.lym", {}, false), kEncodeOk);
  ASSERT_EQ(test::DecodeToWaveFile(folder / "in.lym", folder / "out.wav"), kDecodeOk);
  EXPECT_TRUE(test::ReadFileBytes(folder / "out.wav") == test::MakeWaveFile(spec));
}

// --- Damage ---

struct Gap {
  int64_t position, samples;
};

struct Decoded {
  int32_t openResult = 0, errorLevel = 0;
  std::vector<uint8_t> pcm;
  std::vector<Gap> gaps;
  TadcDecodeResult result;
};

void CollectGap(void* user, const TadcDamageInfo* damage) {
  static_cast<std::vector<Gap>*>(user)->push_back({damage->Position, damage->Samples});
}

Decoded DecodeFile(const std::string& path, uint32_t flags) {
  Decoded d;
  TSeekableStreamDecoder decoder(path.c_str(), TadcDecoderOptions{0, flags}, CollectGap, &d.gaps);
  d.openResult = decoder.OpenResult();
  if (d.openResult >= kDecodeFatal) return d;
  std::vector<uint8_t> block(size_t(1000) * size_t(decoder.BlockSize()));
  for (int32_t delivered = 1; delivered > 0;) {
    decoder.DecodeSamples(block.data(), 1000, &delivered);
    d.pcm.insert(d.pcm.end(), block.begin(), block.begin() + delivered * decoder.BlockSize());
  }
  d.result = decoder.Result();
  d.errorLevel = d.result.ErrorLevel;
  return d;
}

// A stream of several frames, compressed; the PCM it holds.
struct Compressed {
  test::TempFolder folder;
  WaveSpec spec;
  std::vector<uint8_t> pcm, bytes;
  int32_t block = 4, frame = 0;
  int64_t firstFrame = 0;  // a byte offset safely inside the frame data

  Compressed() {
    spec.rate = 22050;
    spec.samples = 12 * 4410 + 333;
    pcm = test::MakePcmBytes(spec);
    test::WriteFileBytes(folder / "in.wav", test::MakeWaveFile(spec));
    EXPECT_EQ(test::EncodeWaveFile(folder / "in.wav", folder / "in.lym", {}, false), kEncodeOk);
    bytes = test::ReadFileBytes(folder / "in.lym");
    frame = FrameLengthAt(spec.rate);
    firstFrame = 200;
  }
};

// Outside the reported gaps the output is the original audio: in place when muting (the gaps are
// silence and the length is kept), closed up when cutting.
void ExpectOriginalAroundGaps(const Compressed& c, const Decoded& d, bool cut) {
  ASSERT_LT(d.openResult, kDecodeFatal);
  ASSERT_LT(d.errorLevel, kDecodeFatal);
  int64_t lost = 0, previousEnd = 0;
  std::vector<uint8_t> expected;
  for (const Gap& gap : d.gaps) {
    ASSERT_GE(gap.position, previousEnd) << "gaps overlap or repeat";
    ASSERT_GT(gap.samples, 0);
    expected.insert(expected.end(), c.pcm.begin() + previousEnd * c.block,
                    c.pcm.begin() + gap.position * c.block);
    if (!cut) expected.insert(expected.end(), size_t(gap.samples * c.block), 0);
    previousEnd = gap.position + gap.samples;
    lost += gap.samples;
  }
  expected.insert(expected.end(), c.pcm.begin() + previousEnd * c.block, c.pcm.end());
  EXPECT_TRUE(d.pcm == expected);
  EXPECT_EQ(d.result.DamagedBlocks, int32_t(d.gaps.size()));
  EXPECT_EQ(d.result.MutedSamples, cut ? 0 : lost);
  EXPECT_EQ(d.result.WrittenSamples, c.spec.samples - (cut ? lost : 0));
  EXPECT_EQ(d.errorLevel, d.gaps.empty() ? d.errorLevel : kDecodeAudioDamaged);
}

void CheckDamaged(const Compressed& c, const std::vector<uint8_t>& damaged, bool expectLoss) {
  const std::string path = c.folder / "damaged.lym";
  test::WriteFileBytes(path, damaged);
  const Decoded muted = DecodeFile(path, 0);
  ExpectOriginalAroundGaps(c, muted, false);
  if (expectLoss) {
    EXPECT_FALSE(muted.gaps.empty());
  }
  const Decoded cut = DecodeFile(path, kDecodeSequential | kDecodeCutLost);
  ExpectOriginalAroundGaps(c, cut, true);
}

TEST(DamagedFile, OverwrittenRangesLoseOnlyTheirFrames) {
  Compressed c;
  std::mt19937 random(5);
  for (int round = 0; round < 24; ++round) {
    std::vector<uint8_t> bytes = c.bytes;
    const size_t length = 1 + random() % 3000;
    const size_t at = size_t(c.firstFrame) + random() % (bytes.size() - c.firstFrame - length);
    for (size_t i = at; i < at + length; ++i) {
      bytes[i] = round % 3 == 0 ? 0 : round % 3 == 1 ? 0xFF : uint8_t(random());
    }
    SCOPED_TRACE(testing::Message() << "round " << round << ": " << length << " bytes at " << at);
    CheckDamaged(c, bytes, true);
  }
}

TEST(DamagedFile, RangesCutOutAndSingleBitFlips) {
  Compressed c;
  std::mt19937 random(6);
  for (int round = 0; round < 16; ++round) {
    std::vector<uint8_t> bytes = c.bytes;
    const size_t length = 1 + random() % 5000;
    const size_t at = size_t(c.firstFrame) + random() % (bytes.size() - c.firstFrame - length);
    bytes.erase(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + length));
    SCOPED_TRACE(testing::Message() << "cut " << length << " bytes at " << at);
    CheckDamaged(c, bytes, true);
  }
  for (int round = 0; round < 16; ++round) {
    std::vector<uint8_t> bytes = c.bytes;
    const size_t at = size_t(c.firstFrame) + random() % (bytes.size() - c.firstFrame);
    bytes[at] ^= uint8_t(1u << (random() % 8));
    SCOPED_TRACE(testing::Message() << "bit flipped at " << at);
    CheckDamaged(c, bytes, true);
  }
}

TEST(DamagedFile, TruncatedFileIsMutedUpToItsAnnouncedLength) {
  Compressed c;
  for (const size_t keep : {c.bytes.size() / 3, c.bytes.size() - 1}) {
    SCOPED_TRACE(testing::Message() << "kept " << keep << " bytes");
    const std::vector<uint8_t> bytes(c.bytes.begin(), c.bytes.begin() + std::ptrdiff_t(keep));
    CheckDamaged(c, bytes, true);
    test::WriteFileBytes(c.folder / "damaged.lym", bytes);
    const Decoded muted = DecodeFile(c.folder / "damaged.lym", 0);
    ASSERT_FALSE(muted.gaps.empty());
    EXPECT_EQ(muted.gaps.back().position + muted.gaps.back().samples, c.spec.samples);
  }
}

TEST(DamagedFile, SeeksLandOnEveryFrameBoundaryAndRandomPositions) {
  Compressed c;
  TSeekableStreamDecoder decoder((c.folder / "in.lym").c_str(), TadcDecoderOptions{}, nullptr,
                                 nullptr);
  ASSERT_EQ(decoder.OpenResult(), kDecodeOk);
  std::vector<int64_t> targets;
  for (int64_t f = 0; f * c.frame < c.spec.samples; ++f) {
    targets.push_back(f * c.frame);
    if (f > 0) targets.push_back(f * c.frame - 1);
  }
  std::mt19937 random(7);
  for (int i = 0; i < 40; ++i) targets.push_back(int64_t(random() % uint64_t(c.spec.samples)));
  targets.push_back(c.spec.samples - 1);
  std::vector<uint8_t> block(size_t(700) * size_t(c.block));
  for (const int64_t target : targets) {
    SCOPED_TRACE(testing::Message() << "seek to " << target);
    ASSERT_EQ(decoder.SeekSample(target), kDecodeOk);
    const int64_t want = std::min<int64_t>(700, c.spec.samples - target);
    int32_t delivered = 0;
    ASSERT_EQ(decoder.DecodeSamples(block.data(), 700, &delivered), kDecodeOk);
    ASSERT_EQ(delivered, want);
    EXPECT_EQ(std::memcmp(block.data(), c.pcm.data() + target * c.block, size_t(want * c.block)),
              0);
  }
  EXPECT_EQ(decoder.SeekSample(c.spec.samples), kDecodeInvalidArgument);
  EXPECT_EQ(decoder.SeekSample(0), kDecodeOk);  // an invalid call does not stop the decoder
}

}  // namespace
}  // namespace lym

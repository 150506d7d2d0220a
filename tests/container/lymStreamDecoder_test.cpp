#include "container/lymStreamDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "StreamBuilder.h"
#include "codec/EncoderPresets.h"
#include "codec/FrameEncoder.h"
#include "codec/Pcm.h"
#include "container/Crc24.h"
#include "io/MemoryStream.h"

namespace lym {
namespace {

using test::Append;
using test::AppendObject;
using test::Written;

struct Shape {
  int32_t bits = 16;
  int32_t channels = 2;
  int32_t rate = 8000;
  int32_t frameSizeCode = 0;  // 750 samples at 8000 Hz
  int64_t samples = 10 * 750 - 250;
  bool seekTable = true;
  int32_t interval = 2;
  bool waveMeta = true;
  bool noise = false;  // full-scale white noise, the largest frames
};

struct Built {
  std::vector<uint8_t> bytes;
  std::vector<size_t> frames;  // positions of the frame headers, then the end of the last frame
  std::vector<uint8_t> pcm;    // the expected output
  std::vector<uint8_t> waveHeader, waveTrailer;
  int32_t frameLength = 0;
  int32_t blockSize = 0;
  size_t seekTablePosition = 0;
};

std::vector<int32_t> Signal(int64_t n, int32_t bits, uint32_t seed, bool noisy) {
  std::mt19937 random(seed);
  const int32_t top = (1 << (bits - 1)) - 1;
  std::vector<int32_t> x(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    const double tone = 0.6 * std::sin(double(i) * 0.013 * (seed + 1)) + 0.2 * std::sin(i * 0.31);
    const int32_t noise = int32_t(random() % 9) - 4;
    if (noisy) {
      x[size_t(i)] = int32_t(random() % (2u * uint32_t(top) + 2)) - top - 1;
      continue;
    }
    x[size_t(i)] = std::clamp(int32_t(std::lround(top * tone)) + noise, -top - 1, top);
  }
  return x;
}

Built Build(const Shape& shape) {
  TEncoderSettings settings = PresetSettings(0, 0);
  settings.FrameSizeCode = shape.frameSizeCode;
  const TFrameEncoderOptions options = MakeFrameEncoderOptions(settings, shape.rate);
  TFrameEncoder encoder(shape.rate, shape.bits, 0, options, settings.Predictors);

  TadcStreamInfo info;
  info.FrameSizeCode = settings.FrameSizeCode;
  info.FrameSamples = options.FrameSamples;
  info.SampleCount = shape.samples;
  info.Format = {0, shape.rate, shape.bits, shape.channels, 0};
  info.Format.BlockSize = BlockSizeOf(info.Format);

  Built built;
  built.frameLength = options.FrameSamples;
  built.blockSize = info.Format.BlockSize;
  const std::vector<int32_t> a = Signal(shape.samples, shape.bits, 1, shape.noise);
  const std::vector<int32_t> b = Signal(shape.samples, shape.bits, 2, shape.noise);
  built.pcm.resize(size_t(shape.samples) * size_t(built.blockSize));
  WritePcm(shape.bits, shape.channels, a.data(), b.data(), built.pcm.data(),
           int32_t(shape.samples));

  const int64_t frameCount = FrameCount(shape.samples, built.frameLength);
  std::vector<std::vector<uint8_t>> frames;
  for (int64_t k = 0; k < frameCount; ++k) {
    const int64_t start = k * built.frameLength;
    int32_t n = int32_t(std::min<int64_t>(built.frameLength, shape.samples - start));
    int32_t bytes = 0;
    const uint8_t* data = nullptr;
    if (shape.channels == 1) {
      EXPECT_TRUE(encoder.EncodeMono(a.data() + start, n, bytes, data));
    } else {
      EXPECT_TRUE(encoder.EncodeStereo(a.data() + start, b.data() + start, bytes, data, n));
    }
    TadcFrameHeader header;
    header.FrameNumber = int32_t(k);
    header.IsLast = k == frameCount - 1;
    header.LastFrameSamples = header.IsLast ? n : 0;
    header.HasInfo = k == 0;
    header.Info = info;
    std::vector<uint8_t> frame = Written([&](TBitOutStream& w) { WriteFrameHeader(header, w); });
    frame.insert(frame.end(), data, data + bytes);
    uint8_t crc[kCrc24Bytes];
    StoreCrc24(crc, Crc24(data, size_t(bytes)));
    frame.insert(frame.end(), crc, crc + kCrc24Bytes);
    frames.push_back(frame);
  }

  built.bytes.assign(kStreamIdentifier, kStreamIdentifier + 4);
  AppendObject(built.bytes, kObjectStreamInfo,
               Written([&](TBitOutStream& w) { EXPECT_TRUE(WriteStreamInfoObject(w, info)); }));
  if (shape.seekTable) {
    std::vector<int64_t> offsets;
    int64_t offset = 0;
    for (int64_t k = 0; k < frameCount; ++k) {
      if (k > 0 && k % shape.interval == 0) offsets.push_back(offset);
      offset += int64_t(frames[size_t(k)].size());
    }
    built.seekTablePosition = built.bytes.size() + 4;
    AppendObject(built.bytes, kObjectSeekTable, MakeSeekTablePayload(shape.interval, offsets));
  }
  if (shape.waveMeta) {
    built.waveHeader = {'R', 'I', 'F', 'F', 0x24, 0, 0, 0, 'W', 'A', 'V', 'E'};
    built.waveTrailer = {'L', 'I', 'S', 'T', 1};
    AppendObject(built.bytes, kObjectWaveMeta,
                 MakeWaveMetaPayload(built.waveHeader, built.waveTrailer));
  }
  AppendObject(built.bytes, kObjectEnd, {});
  for (const auto& frame : frames) {
    built.frames.push_back(built.bytes.size());
    Append(built.bytes, frame);
  }
  built.frames.push_back(built.bytes.size());
  return built;
}

struct Gap {
  int64_t position, samples;
};

void Record(void* user, const TadcDamageInfo* damage) {
  static_cast<std::vector<Gap>*>(user)->push_back({damage->Position, damage->Samples});
}

struct Decoding {
  Decoding(const std::vector<uint8_t>& bytes, uint32_t flags = 0) {
    medium.bytes = bytes;
    EXPECT_EQ(OpenMemoryStream(stream, medium), 0);
    TadcDecoderOptions options;
    options.ProcessorOptions = DefaultCpuFlags();
    options.DecoderFlags = flags;
    decoder = std::make_unique<TSeekableStreamDecoder>(stream, options, Record, &gaps);
  }
  // Decodes up to limit samples in chunks of chunk; returns the bytes and the highest result.
  std::vector<uint8_t> Decode(int32_t chunk = 333, int64_t limit = INT64_MAX) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(size_t(chunk) * 6);
    int64_t total = 0;
    bool ended = false;
    while (total < limit) {
      int32_t delivered = -1;
      const auto want = int32_t(std::min<int64_t>(chunk, limit - total));
      result = std::max(result, decoder->DecodeSamples(buffer.data(), want, &delivered));
      // Fewer samples than asked only at the end.
      EXPECT_FALSE(ended && delivered > 0);
      if (delivered == 0) break;
      ended = delivered < want;
      out.insert(out.end(), buffer.begin(),
                 buffer.begin() + int64_t(delivered) * decoder->BlockSize());
      total += delivered;
    }
    return out;
  }
  TMemoryMedium medium;
  TadcInterfaceStream stream;
  std::vector<Gap> gaps;
  std::unique_ptr<TSeekableStreamDecoder> decoder;
  int32_t result = 0;
};

std::vector<uint8_t> Slice(const std::vector<uint8_t>& pcm, const Built& b, int64_t from,
                           int64_t count) {
  return {pcm.begin() + from * b.blockSize, pcm.begin() + (from + count) * b.blockSize};
}

void Garble(Built& b, int frame) {
  std::mt19937 random(7);
  for (size_t i = b.frames[frame] + 12; i + 4 < b.frames[frame + 1]; ++i)
    b.bytes[i] = uint8_t(random());
}

class StreamDecoderFormats : public testing::TestWithParam<std::tuple<int32_t, int32_t>> {};

TEST_P(StreamDecoderFormats, DecodesExactPcm) {
  Shape shape;
  shape.bits = std::get<0>(GetParam());
  shape.channels = std::get<1>(GetParam());
  const Built b = Build(shape);
  Decoding d(b.bytes);
  ASSERT_EQ(d.decoder->OpenResult(), kDecodeOk);
  EXPECT_EQ(d.decoder->BlockSize(), b.blockSize);
  EXPECT_EQ(d.decoder->Result().HeaderSamples, shape.samples);
  EXPECT_EQ(d.Decode(), b.pcm);
  EXPECT_EQ(d.result, kDecodeOk);
  EXPECT_TRUE(d.gaps.empty());
  EXPECT_EQ(d.decoder->Result().WrittenSamples, shape.samples);
  EXPECT_EQ(d.decoder->Result().MutedSamples, 0);
  EXPECT_EQ(d.decoder->Result().ErrorLevel, 0);
  EXPECT_GT(d.decoder->BitRate(), 0);
}

INSTANTIATE_TEST_SUITE_P(All, StreamDecoderFormats,
                         testing::Combine(testing::Values(8, 16, 24), testing::Values(1, 2)));

TEST(StreamDecoder, LargeFramesInOneCall) {
  Shape shape;
  shape.rate = 44100;
  shape.frameSizeCode = 4;  // 4096 samples
  shape.samples = 3 * 4096 + 1;
  const Built b = Build(shape);
  Decoding d(b.bytes);
  EXPECT_EQ(d.Decode(100000), b.pcm);
  EXPECT_EQ(d.result, kDecodeOk);
}

TEST(StreamDecoder, NoiseFramesFitTheWindow) {
  for (int32_t bits : {8, 16, 24}) {
    Shape shape;
    shape.bits = bits;
    shape.noise = true;
    shape.rate = 96000;
    shape.frameSizeCode = 6;  // 16384 samples
    shape.samples = 2 * 16384 + 7;
    const Built b = Build(shape);
    // Each frame fits the decoder's frame capacity (bits + 2 per sample and 191 bytes).
    const auto capacity = size_t((bits + 2) * 16384 * 2 / 8 + 191) & ~size_t(63);
    for (size_t k = 0; k + 1 < b.frames.size(); ++k)
      EXPECT_LE(b.frames[k + 1] - b.frames[k], capacity);
    Decoding d(b.bytes);
    EXPECT_EQ(d.Decode(5000), b.pcm);
    EXPECT_EQ(d.result, kDecodeOk);
  }
}

TEST(StreamDecoder, GarbledFrameIsMutedOnce) {
  Built b = Build({});
  Garble(b, 5);
  Decoding d(b.bytes);
  const std::vector<uint8_t> out = d.Decode();
  const int64_t fl = b.frameLength;
  ASSERT_EQ(d.gaps.size(), 1u);
  EXPECT_EQ(d.gaps[0].position, 5 * fl);
  EXPECT_EQ(d.gaps[0].samples, fl);
  EXPECT_EQ(d.result, kDecodeAudioDamaged);
  EXPECT_EQ(d.decoder->Result().ErrorLevel, kDecodeAudioDamaged);
  EXPECT_EQ(d.decoder->Result().MutedSamples, fl);
  EXPECT_EQ(d.decoder->Result().DamagedBlocks, 1);
  std::vector<uint8_t> expected = b.pcm;
  std::fill(expected.begin() + 5 * fl * b.blockSize, expected.begin() + 6 * fl * b.blockSize, 0);
  EXPECT_EQ(out, expected);
}

TEST(StreamDecoder, GarbledFrameIsCutOnRequest) {
  Built b = Build({});
  Garble(b, 5);
  Decoding d(b.bytes, kDecodeSequential | kDecodeCutLost);
  const std::vector<uint8_t> out = d.Decode();
  const int64_t fl = b.frameLength;
  ASSERT_EQ(d.gaps.size(), 1u);
  EXPECT_EQ(d.gaps[0].position, 5 * fl);
  EXPECT_EQ(d.decoder->Result().WrittenSamples, d.decoder->Result().HeaderSamples - fl);
  EXPECT_EQ(d.decoder->Result().MutedSamples, 0);
  std::vector<uint8_t> expected = b.pcm;
  expected.erase(expected.begin() + 5 * fl * b.blockSize, expected.begin() + 6 * fl * b.blockSize);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(d.decoder->SeekSample(0), kDecodeNotAllowed);
}

TEST(StreamDecoder, FramesCutOutAreOneGap) {
  Built b = Build({});
  std::vector<uint8_t> bytes(b.bytes.begin(), b.bytes.begin() + int64_t(b.frames[3]));
  bytes.insert(bytes.end(), b.bytes.begin() + int64_t(b.frames[5]), b.bytes.end());
  Decoding d(bytes);
  const std::vector<uint8_t> out = d.Decode();
  const int64_t fl = b.frameLength;
  ASSERT_EQ(d.gaps.size(), 1u);
  EXPECT_EQ(d.gaps[0].position, 3 * fl);
  EXPECT_EQ(d.gaps[0].samples, 2 * fl);
  std::vector<uint8_t> expected = b.pcm;
  std::fill(expected.begin() + 3 * fl * b.blockSize, expected.begin() + 5 * fl * b.blockSize, 0);
  EXPECT_EQ(out, expected);

  Decoding cut(bytes, kDecodeSequential | kDecodeCutLost);
  expected.erase(expected.begin() + 3 * fl * b.blockSize, expected.begin() + 5 * fl * b.blockSize);
  EXPECT_EQ(cut.Decode(), expected);
}

TEST(StreamDecoder, TruncatedStreamIsMutedToItsLength) {
  Shape shape;
  shape.bits = 8;
  shape.channels = 1;
  Built b = Build(shape);
  const int64_t fl = b.frameLength;
  std::vector<uint8_t> bytes(b.bytes.begin(),
                             b.bytes.begin() + int64_t(b.frames[7] + b.frames[8]) / 2);
  Decoding d(bytes);
  const std::vector<uint8_t> out = d.Decode();
  ASSERT_EQ(d.gaps.size(), 1u);
  EXPECT_EQ(d.gaps[0].position, 7 * fl);
  EXPECT_EQ(d.gaps[0].samples, shape.samples - 7 * fl);
  std::vector<uint8_t> expected = b.pcm;
  std::fill(expected.begin() + 7 * fl * b.blockSize, expected.end(), 128);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(d.decoder->Result().MutedSamples, shape.samples - 7 * fl);
}

TEST(StreamDecoder, DamagedMetadataStillDecodes) {
  Built b = Build({});
  b.bytes[1] = 'x';  // the identifier
  Decoding d(b.bytes);
  EXPECT_EQ(d.decoder->OpenResult(), kDecodeMetaDamaged);
  EXPECT_NE(d.decoder->Result().DamageFlags & kDamageIdentifier, 0);
  EXPECT_EQ(d.Decode(), b.pcm);
  EXPECT_EQ(d.decoder->Result().ErrorLevel, kDecodeMetaDamaged);
}

TEST(StreamDecoder, InvalidOptionsAndArguments) {
  Built b = Build({});
  Decoding bad(b.bytes, kDecodeCutLost);
  EXPECT_EQ(bad.decoder->OpenResult(), kDecodeInvalidArgument);
  int32_t delivered = 0;
  uint8_t buffer[64];
  EXPECT_EQ(bad.decoder->DecodeSamples(buffer, 1, &delivered), kDecodeInvalidArgument);

  Decoding d(b.bytes);
  EXPECT_EQ(d.decoder->DecodeSamples(nullptr, 1, &delivered), kDecodeInvalidArgument);
  EXPECT_EQ(d.decoder->DecodeSamples(buffer, 1, nullptr), kDecodeInvalidArgument);
  EXPECT_EQ(d.decoder->SeekSample(d.decoder->Result().HeaderSamples), kDecodeInvalidArgument);
  EXPECT_EQ(d.decoder->SeekSample(-1), kDecodeInvalidArgument);
  // A wrong call does not stop decoding.
  EXPECT_EQ(d.Decode(), b.pcm);
  EXPECT_EQ(d.result, kDecodeOk);

  TadcDecoderOptions options;
  EXPECT_EQ(TSeekableStreamDecoder("", options, nullptr, nullptr).OpenResult(),
            kDecodeInvalidArgument);
  EXPECT_EQ(TSeekableStreamDecoder(nullptr, options, nullptr, nullptr).OpenResult(),
            kDecodeInvalidArgument);
  EXPECT_EQ(TSeekableStreamDecoder(std::string(257, 'a').c_str(), options, nullptr, nullptr)
                .OpenResult(),
            kDecodeInvalidArgument);
  EXPECT_EQ(TSeekableStreamDecoder("/nonexistent/x.lym", options, nullptr, nullptr).OpenResult(),
            kDecodeReadError);
}

void ExpectSeeks(const Built& b, const std::vector<uint8_t>& bytes) {
  Decoding d(bytes);
  const int64_t total = d.decoder->Result().HeaderSamples;
  const int64_t fl = b.frameLength;
  std::mt19937 random(3);
  std::vector<int64_t> positions = {total - 1, 0, fl, 5 * fl, 9 * fl, 2 * fl - 1, fl + 1};
  for (int i = 0; i < 12; ++i) positions.push_back(int64_t(random() % uint64_t(total)));
  for (int64_t position : positions) {
    SCOPED_TRACE(position);
    ASSERT_EQ(d.decoder->SeekSample(position), kDecodeOk);
    EXPECT_EQ(d.decoder->SamplePosition(), position);
    const int64_t count = std::min<int64_t>(1000, total - position);
    EXPECT_EQ(d.Decode(97, 1000), Slice(b.pcm, b, position, count));
    EXPECT_EQ(d.decoder->Result().WrittenSamples, count);
  }
  EXPECT_TRUE(d.gaps.empty());
  ASSERT_EQ(d.decoder->SeekSample(3 * fl + 5), kDecodeOk);
  EXPECT_EQ(d.Decode(), Slice(b.pcm, b, 3 * fl + 5, total - 3 * fl - 5));
}

TEST(StreamDecoder, SeeksWithSeekTable) {
  const Built b = Build({});
  ExpectSeeks(b, b.bytes);
}

TEST(StreamDecoder, SeeksWithoutSeekTable) {
  Shape shape;
  shape.seekTable = false;
  shape.channels = 1;
  shape.bits = 24;
  const Built b = Build(shape);
  ExpectSeeks(b, b.bytes);
}

TEST(StreamDecoder, SeeksPastADamagedSeekTable) {
  Built b = Build({});
  b.bytes[b.seekTablePosition + 6] ^= 0x40;  // inside the first entry; the table's CRC fails
  Decoding d(b.bytes);
  EXPECT_EQ(d.decoder->OpenResult(), kDecodeOk);
  ExpectSeeks(b, b.bytes);
}

TEST(StreamDecoder, SeekIntoALostFrameMutesUpToTheNextOne) {
  Built b = Build({});
  Garble(b, 5);
  Decoding d(b.bytes);
  const int64_t fl = b.frameLength;
  ASSERT_EQ(d.decoder->SeekSample(5 * fl + 100), kDecodeAudioDamaged);
  ASSERT_EQ(d.gaps.size(), 1u);
  EXPECT_EQ(d.gaps[0].position, 5 * fl + 100);
  EXPECT_EQ(d.gaps[0].samples, fl - 100);
  std::vector<uint8_t> expected(size_t(fl - 100) * size_t(b.blockSize), 0);
  Append(expected, Slice(b.pcm, b, 6 * fl, 500));
  EXPECT_EQ(d.Decode(64, fl - 100 + 500), expected);
  EXPECT_EQ(d.decoder->Result().MutedSamples, fl - 100);
}

TEST(StreamDecoder, SeekIntoLostLastFramesMutesToTheEndAndDecodingGoesOn) {
  Built b = Build({});
  const int64_t fl = b.frameLength;
  const int64_t total = int64_t(b.pcm.size()) / b.blockSize;
  b.bytes.resize(b.frames[7]);  // frames 7 and later are gone
  Decoding d(b.bytes);
  ASSERT_EQ(d.decoder->SeekSample(8 * fl + 3), kDecodeAudioDamaged);
  ASSERT_EQ(d.gaps.size(), 1u);
  EXPECT_EQ(d.gaps[0].position, 8 * fl + 3);
  EXPECT_EQ(d.gaps[0].samples, total - (8 * fl + 3));
  EXPECT_EQ(d.Decode(), std::vector<uint8_t>(size_t(total - (8 * fl + 3)) * b.blockSize, 0));
  ASSERT_EQ(d.decoder->SeekSample(100), kDecodeOk);
  EXPECT_EQ(d.Decode(64, 500), Slice(b.pcm, b, 100, 500));
}

TEST(StreamDecoder, WaveMetaData) {
  const Built b = Build({});
  Decoding d(b.bytes);
  TadcWaveMetaInfo info;
  ASSERT_EQ(d.decoder->ReadWaveMetaInfo(&info), kDecodeOk);
  EXPECT_EQ(info.HeaderBytes, int32_t(b.waveHeader.size()));
  EXPECT_EQ(info.TrailerBytes, int32_t(b.waveTrailer.size()));
  const auto size = int32_t(b.waveHeader.size() + b.waveTrailer.size());
  std::vector<uint8_t> data(static_cast<size_t>(size));
  EXPECT_EQ(d.decoder->ReadWaveMetaData(data.data(), size - 1), kDecodeBufferTooSmall);
  ASSERT_EQ(d.decoder->ReadWaveMetaData(data.data(), size), kDecodeOk);
  std::vector<uint8_t> expected = b.waveHeader;
  Append(expected, b.waveTrailer);
  EXPECT_EQ(data, expected);
  EXPECT_EQ(d.Decode(), b.pcm);  // the queries leave decoding where it was

  Shape shape;
  shape.waveMeta = false;
  Decoding none(Build(shape).bytes);
  EXPECT_EQ(none.decoder->ReadWaveMetaInfo(&info), kDecodeNoWaveMeta);
  EXPECT_EQ(none.decoder->Result().ErrorLevel, 0);
  ASSERT_NE(none.decoder->GetApeTag(), nullptr);
  EXPECT_FALSE(none.decoder->GetApeTag()->IsUsable());
}

TEST(StreamDecoder, ApeTagQueryKeepsDecoding) {
  const Built b = Build({});
  std::vector<uint8_t> bytes = b.bytes;
  Append(bytes, test::ApeTag("Title", "Song"));
  Decoding d(bytes);
  std::vector<uint8_t> out = d.Decode(333, 1000);
  TlymAPEv2Tag* tag = d.decoder->GetApeTag();
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->GetItemCount(), 1);
  Append(out, d.Decode());
  EXPECT_EQ(out, b.pcm);
  EXPECT_EQ(d.result, kDecodeOk);
  ASSERT_EQ(d.decoder->SeekSample(4000), kDecodeOk);
  EXPECT_EQ(d.Decode(), Slice(b.pcm, b, 4000, int64_t(b.pcm.size()) / b.blockSize - 4000));
}

// Damaged streams of every kind: each decode returns, stays within the announced length and
// never delivers more than asked.
TEST(StreamDecoder, SurvivesRandomDamage) {
  Shape shape;
  shape.samples = 4 * 750 + 10;
  const Built b = Build(shape);
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> bytes = b.bytes;
    const int flips = 1 + int(random() % 20);
    for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] ^= uint8_t(1 + random() % 255);
    if (round % 3 == 0) bytes.resize(random() % bytes.size());
    Decoding d(bytes, round % 2 == 0 ? 0 : kDecodeSequential | kDecodeCutLost);
    const std::vector<uint8_t> out = d.Decode(211, 1 << 22);
    if (d.decoder->OpenResult() < kDecodeFatal && d.decoder->Result().ErrorLevel < kDecodeFatal) {
      EXPECT_LE(int64_t(out.size()), d.decoder->Result().HeaderSamples * d.decoder->BlockSize());
    }
    d.decoder->SeekSample(int64_t(random() % 4000));
    d.Decode(211, 2000);
  }
}

}  // namespace
}  // namespace lym

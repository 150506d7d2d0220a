#include "container/lymStreamWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "container/Crc24.h"
#include "container/lymStreamReader.h"
#include "io/MemoryStream.h"
#include "foundation/ByteOrder.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

// 44100 Hz stereo, frame size code 3: a quarter second, 11025 samples.
TadcStreamInfo CdInfo(int64_t samples) {
  TadcStreamInfo info;
  info.Profile = 1;
  info.FrameSizeCode = 3;
  info.FrameSamples = 11025;
  info.SampleCount = samples;
  info.Format = {0, 44100, 16, 2, 4};
  return info;
}

// 8000 Hz mono, frame size code 0: 750 samples.
TadcStreamInfo SmallInfo(int64_t samples) {
  TadcStreamInfo info;
  info.FrameSizeCode = 0;
  info.FrameSamples = 750;
  info.SampleCount = samples;
  info.Format = {0, 8000, 8, 1, 1};
  return info;
}

const std::vector<uint8_t> kWaveHeader = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'W', 'A', 'V', 'E'};
const std::vector<uint8_t> kWaveTrailer = {9, 8, 7};
const TadcEncoderInfo kEncoderInfo = {0x010203, 2, 1};

struct Encoded {
  std::vector<int64_t> framePositions;
  bool ok = true;  // every call succeeded, Close(true) included
};

std::vector<uint8_t> Payload(int32_t frame) {
  return {uint8_t(frame), uint8_t(frame >> 8), 0x5A, uint8_t(frame * 7)};
}

// Writes frames of the stream described by info (last frame lastSamples long) with small fake
// payloads. Stops after stopAfter frames and closes without update when stopAfter < frames.
Encoded Encode(TadcIoStream& stream, const TadcStreamInfo& info, int32_t frames,
               int32_t lastSamples, int32_t interval, int32_t stopAfter = -1) {
  Encoded result;
  TAdcWriter writer;
  auto check = [&](bool ok) { result.ok = result.ok && ok; };
  check(writer.Open(info, info.FrameSamples, interval, stream, frames));
  check(writer.WriteEncoderInfo(kEncoderInfo));
  std::vector<uint8_t> meta = kWaveHeader;
  meta.insert(meta.end(), kWaveTrailer.begin(), kWaveTrailer.end());
  check(writer.WriteWaveMetaData({int32_t(kWaveHeader.size()), int32_t(kWaveTrailer.size())},
                                 meta.data()));
  const int32_t count = stopAfter >= 0 ? stopAfter : frames;
  for (int32_t k = 0; k < count && writer.Status() == kStreamWriterOpen; ++k) {
    const int64_t before = stream.GetPosition();
    const bool last = k == frames - 1;
    const std::vector<uint8_t> payload = Payload(k);
    check(writer.WriteFrame(payload.data(), int32_t(payload.size()), last,
                            last ? lastSamples : info.FrameSamples));
    result.framePositions.push_back(k == 0 ? writer.MetaDataEndPosition() : before);
  }
  check(writer.Close(count == frames));
  return result;
}

struct ReadBack {
  TMemoryMedium& medium;
  TadcInterfaceStream stream;
  TAdcReader reader;
  explicit ReadBack(TMemoryMedium& m) : medium(m) {
    medium.position = 0;
    EXPECT_EQ(OpenMemoryStream(stream, medium), 0);
    reader.Open(stream);
  }
};

TadcFrameHeader HeaderAt(const TMemoryMedium& medium, int64_t position,
                         int32_t* bytes = nullptr) {
  TBitInStream bits;
  bits.InitReader(medium.bytes.data() + position, int32_t(medium.bytes.size() - position));
  TadcFrameHeader header;
  EXPECT_TRUE(ReadFrameHeader(bits, header)) << position;
  if (bytes != nullptr) *bytes = bits.BytesRead();
  return header;
}

void ExpectComplete(TMemoryMedium& medium, const Encoded& encoded, const TadcStreamInfo& info,
                    int64_t samples, int32_t interval) {
  ASSERT_TRUE(encoded.ok);
  ReadBack back(medium);
  TAdcReader& reader = back.reader;
  ASSERT_EQ(reader.Status(), kStreamOpen);
  EXPECT_EQ(reader.DamageFlags(), 0);
  EXPECT_EQ(reader.StreamInfo().SampleCount, samples);
  EXPECT_EQ(reader.StreamInfo().FrameSizeCode, info.FrameSizeCode);
  const auto frames = int32_t(encoded.framePositions.size());
  EXPECT_EQ(reader.FrameCount(), frames);
  EXPECT_EQ(reader.FirstFramePosition(), encoded.framePositions[0]);

  TadcEncoderInfo encoderInfo;
  ASSERT_TRUE(reader.GetEncoderInfo(encoderInfo));
  EXPECT_EQ(encoderInfo.EncoderVersion, kEncoderInfo.EncoderVersion);
  EXPECT_EQ(encoderInfo.Preset, kEncoderInfo.Preset);
  EXPECT_EQ(encoderInfo.Evaluation, kEncoderInfo.Evaluation);
  TadcWaveMetaInfo waveInfo;
  ASSERT_TRUE(reader.ReadWaveMetaInfo(waveInfo));
  EXPECT_EQ(waveInfo.HeaderBytes, int32_t(kWaveHeader.size()));
  EXPECT_EQ(waveInfo.TrailerBytes, int32_t(kWaveTrailer.size()));
  std::vector<uint8_t> meta(kWaveHeader.size() + kWaveTrailer.size());
  ASSERT_TRUE(reader.ReadWaveMetaData(meta.data(), int32_t(meta.size())));
  EXPECT_TRUE(std::equal(kWaveHeader.begin(), kWaveHeader.end(), meta.begin()));
  EXPECT_TRUE(std::equal(kWaveTrailer.begin(), kWaveTrailer.end(),
                         meta.begin() + int64_t(kWaveHeader.size())));

  const int32_t points = SeekPointCount(frames, interval);
  TadcSeekTableInfo table;
  int32_t tableBytes = 0;
  if (points == 0) {
    EXPECT_FALSE(reader.GetSeekTableInfo(table, tableBytes));
  } else {
    ASSERT_TRUE(reader.ValidateSeekTable());
    ASSERT_TRUE(reader.GetSeekTableInfo(table, tableBytes));
    EXPECT_EQ(table.Points, points);
    EXPECT_EQ(table.Interval, interval);
    EXPECT_EQ(tableBytes, points * kSeekEntryBytes + kCrc24Bytes);
    for (int32_t frame = 0; frame < frames; ++frame) {
      int32_t seekFrame = -1;
      int64_t position = -1;
      ASSERT_TRUE(reader.FindSeekPoint(frame, seekFrame, position)) << frame;
      EXPECT_EQ(seekFrame, frame / interval * interval) << frame;
      EXPECT_EQ(position, encoded.framePositions[size_t(seekFrame)]) << frame;
    }
  }
  // Every frame is where it was written: header, payload and its CRC.
  for (int32_t k = 0; k < frames; ++k) {
    const int64_t at = encoded.framePositions[size_t(k)];
    int32_t headerBytes = 0;
    const TadcFrameHeader header = HeaderAt(medium, at, &headerBytes);
    EXPECT_EQ(header.FrameNumber, k);
    EXPECT_EQ(header.IsLast, k == frames - 1);
    EXPECT_EQ(headerBytes, header.IsLast ? (header.HasInfo ? 21 : 10) : (header.HasInfo ? 19 : 8));
    const std::vector<uint8_t> payload = Payload(k);
    const uint8_t* data = medium.bytes.data() + at + headerBytes;
    EXPECT_EQ(std::memcmp(data, payload.data(), payload.size()), 0) << k;
    EXPECT_EQ(LoadCrc24(data + payload.size()), Crc24(payload.data(), payload.size())) << k;
    const int64_t next =
        k + 1 < frames ? encoded.framePositions[size_t(k) + 1] : int64_t(medium.bytes.size());
    EXPECT_EQ(next - at, headerBytes + int64_t(payload.size()) + kCrc24Bytes) << k;
  }
}

TEST(StreamWriter, CdStreamInfoFramesAndSeekPoints) {
  constexpr int32_t kFrames = 19;
  constexpr int32_t kLast = 4000;
  const int64_t samples = int64_t(kFrames - 1) * 11025 + kLast;
  const int32_t interval = FramesPerDuration(44100, 32, 11025);
  ASSERT_EQ(interval, 4);
  TMemoryMedium medium;
  Encoded encoded;
  {
    TadcInterfaceStream stream;
    ASSERT_EQ(OpenMemoryStream(stream, medium), 0);
    encoded = Encode(stream, CdInfo(samples), kFrames, kLast, interval);
    EXPECT_EQ(stream.Close(true), 0);
  }
  ExpectComplete(medium, encoded, CdInfo(samples), samples, interval);
  // Layout: identifier, stream information, seek table, encoder information, WAVE metadata, end.
  EXPECT_EQ(std::memcmp(medium.bytes.data(), kStreamIdentifier, 4), 0);
  EXPECT_EQ(LoadLE32(medium.bytes.data() + 4), PackObjectHeader(kObjectStreamInfo, 13));
  EXPECT_EQ(LoadLE32(medium.bytes.data() + 21),
            PackObjectHeader(kObjectSeekTable, SeekTablePayloadBytes(4)));
  const int64_t encoder = 21 + 4 + SeekTablePayloadBytes(4);
  EXPECT_EQ(LoadLE32(medium.bytes.data() + encoder), PackObjectHeader(kObjectEncoderInfo, 7));
  EXPECT_EQ(LoadLE32(medium.bytes.data() + encoder + 11), PackObjectHeader(kObjectWaveMeta, 24));
  EXPECT_EQ(LoadLE32(medium.bytes.data() + encoder + 11 + 28), PackObjectHeader(kObjectEnd, 0));
  EXPECT_EQ(encoder + 11 + 28 + 4, encoded.framePositions[0]);
  // Stream information every two seconds (8 frames), and on the last frame.
  for (int32_t k = 0; k < kFrames; ++k) {
    const TadcFrameHeader header = HeaderAt(medium, encoded.framePositions[size_t(k)]);
    EXPECT_EQ(header.HasInfo, k % 8 == 0 || k == kFrames - 1) << k;
    if (header.HasInfo) {
      EXPECT_EQ(header.Info.SampleCount, samples);
    }
    if (header.IsLast) {
      EXPECT_EQ(header.LastFrameSamples, kLast);
    }
  }
}

TEST(StreamWriter, FourFramesWithIntervalFourHaveNoSeekTable) {
  const int64_t samples = 3 * 11025 + 11025;
  TMemoryMedium medium;
  TadcInterfaceStream stream;
  ASSERT_EQ(OpenMemoryStream(stream, medium), 0);
  const Encoded encoded = Encode(stream, CdInfo(samples), 4, 11025, 4);
  stream.Close(true);
  ExpectComplete(medium, encoded, CdInfo(samples), samples, 4);
  EXPECT_EQ(LoadLE32(medium.bytes.data() + 21), PackObjectHeader(kObjectEncoderInfo, 7));
}

TEST(StreamWriter, NineFramesWithIntervalFourHaveTwoSeekPoints) {
  const int64_t samples = 8 * 11025 + 1;
  TMemoryMedium medium;
  TadcInterfaceStream stream;
  ASSERT_EQ(OpenMemoryStream(stream, medium), 0);
  const Encoded encoded = Encode(stream, CdInfo(samples), 9, 1, 4);
  stream.Close(true);
  ExpectComplete(medium, encoded, CdInfo(samples), samples, 4);
  EXPECT_EQ(LoadLE32(medium.bytes.data() + 21), PackObjectHeader(kObjectSeekTable, 17));
  EXPECT_EQ(UnpackSeekEntry(medium.bytes.data() + 29),
            encoded.framePositions[4] - encoded.framePositions[0]);
  EXPECT_EQ(UnpackSeekEntry(medium.bytes.data() + 34),
            encoded.framePositions[8] - encoded.framePositions[0]);
}

TEST(StreamWriter, ManySeekPointsAreFlushedInBatches) {
  constexpr int32_t kFrames = 2 * 1700 + 1;  // 1700 points: two full batches and a rest
  const int64_t samples = int64_t(kFrames) * 750;
  TMemoryMedium medium;
  TadcInterfaceStream stream;
  ASSERT_EQ(OpenMemoryStream(stream, medium), 0);
  const Encoded encoded = Encode(stream, SmallInfo(samples), kFrames, 750, 2);
  stream.Close(true);
  ExpectComplete(medium, encoded, SmallInfo(samples), samples, 2);
}

TEST(StreamWriter, SeekTableWriterFlushesAt819Entries) {
  TMemoryMedium medium;
  TadcInterfaceStream stream;
  ASSERT_EQ(OpenMemoryStream(stream, medium, 0), 0);
  TadcSeekTableWriter table;
  ASSERT_TRUE(table.Open(stream, 820, 2, 0));
  ASSERT_TRUE(table.WritePlaceholder());
  const auto end = int64_t(medium.bytes.size());
  EXPECT_EQ(end, 8 + 820 * 5 + 3);
  for (int32_t k = 1; k <= 818; ++k) ASSERT_TRUE(table.AddSeekPoint(k * 100));
  EXPECT_EQ(UnpackSeekEntry(medium.bytes.data() + 8), 0);  // still buffered
  ASSERT_TRUE(table.AddSeekPoint(81900));
  EXPECT_EQ(UnpackSeekEntry(medium.bytes.data() + 8), 100);  // 819th entry flushed the batch
  EXPECT_EQ(UnpackSeekEntry(medium.bytes.data() + 8 + 818 * 5), 81900);
  EXPECT_EQ(stream.GetPosition(), end);
  ASSERT_TRUE(table.AddSeekPoint(kMaxSeekOffset));
  ASSERT_TRUE(table.FinishSeekTable(false));
  EXPECT_EQ(stream.GetPosition(), end);
  TadcSeekTableInfo info;
  std::vector<int64_t> offsets;
  ASSERT_TRUE(ParseSeekTablePayload(medium.bytes.data() + 4, int32_t(end - 4), info, offsets));
  ASSERT_EQ(offsets.size(), 820u);
  EXPECT_EQ(offsets[0], 100);
  EXPECT_EQ(offsets[819], kMaxSeekOffset);
  EXPECT_THROW(table.AddSeekPoint(1), EzqAssertionFailure);
}

TEST(StreamWriter, SeekTableWriterRefusesWhatDoesNotFit) {
  TMemoryMedium medium;
  TadcInterfaceStream stream;
  ASSERT_EQ(OpenMemoryStream(stream, medium), 0);
  TadcSeekTableWriter table;
  EXPECT_FALSE(table.Open(stream, 0, 4, 0));
  EXPECT_FALSE(table.Open(stream, 2, 1, 0));
  EXPECT_FALSE(table.Open(stream, 2, 1025, 0));
  ASSERT_TRUE(table.Open(stream, 2, 4, 0));
  ASSERT_TRUE(table.WritePlaceholder());
  EXPECT_FALSE(table.AddSeekPoint(kMaxSeekOffset + 1));
  EXPECT_FALSE(table.AddSeekPoint(-1));
  ASSERT_TRUE(table.AddSeekPoint(5));
  EXPECT_FALSE(table.FinishSeekTable(false));  // one point missing
  EXPECT_TRUE(table.FinishSeekTable(true));
}

TEST(StreamWriter, AbortedEncodeLeavesSampleCountZeroAndSeekTableInvalid) {
  const int64_t samples = 8 * 11025 + 1;
  TMemoryMedium medium;
  {
    TadcInterfaceStream stream;
    ASSERT_EQ(OpenMemoryStream(stream, medium), 0);
    const Encoded encoded = Encode(stream, CdInfo(samples), 9, 1, 4, 6);
    EXPECT_TRUE(encoded.ok);  // Close(false) after a clean stop succeeds
    stream.Close(true);
  }
  ReadBack back(medium);
  EXPECT_EQ(back.reader.StreamInfo().SampleCount, 0);
  EXPECT_FALSE(back.reader.ValidateSeekTable());
}

TEST(StreamWriter, IncompleteStreamCannotBeFinished) {
  TMemoryMedium medium;
  TadcInterfaceStream stream;
  ASSERT_EQ(OpenMemoryStream(stream, medium), 0);
  TAdcWriter writer;
  ASSERT_TRUE(writer.Open(CdInfo(3 * 11025), 11025, 4, stream, 3));
  const uint8_t payload[2] = {1, 2};
  ASSERT_TRUE(writer.WriteFrame(payload, 2, false, 11025));
  EXPECT_FALSE(writer.Close(true));
  EXPECT_EQ(writer.Status(), kStreamWriterClosed);
  EXPECT_FALSE(writer.Close(true));  // no stream any more
}

TEST(StreamWriter, FramesMustMatchTheAnnouncedLayout) {
  const uint8_t payload[2] = {1, 2};
  auto opened = [&](TMemoryMedium& medium, TadcInterfaceStream& stream, TAdcWriter& writer) {
    ASSERT_EQ(OpenMemoryStream(stream, medium), 0);
    ASSERT_TRUE(writer.Open(CdInfo(2 * 11025), 11025, 4, stream, 2));
  };
  {  // short frame that is not the last
    TMemoryMedium medium;
    TadcInterfaceStream stream;
    TAdcWriter writer;
    opened(medium, stream, writer);
    EXPECT_FALSE(writer.WriteFrame(payload, 2, false, 100));
    EXPECT_EQ(writer.Status(), kStreamWriterFailed);
    EXPECT_FALSE(writer.WriteFrame(payload, 2, false, 11025));
    EXPECT_FALSE(writer.Close(true));
  }
  {  // last flag on the wrong frame
    TMemoryMedium medium;
    TadcInterfaceStream stream;
    TAdcWriter writer;
    opened(medium, stream, writer);
    EXPECT_FALSE(writer.WriteFrame(payload, 2, true, 11025));
  }
  {  // metadata after the first frame, then one frame too many
    TMemoryMedium medium;
    TadcInterfaceStream stream;
    TAdcWriter writer;
    opened(medium, stream, writer);
    ASSERT_TRUE(writer.WriteFrame(payload, 2, false, 11025));
    EXPECT_FALSE(writer.WriteEncoderInfo(kEncoderInfo));
    EXPECT_FALSE(writer.WriteWaveMetaData({0, 0}, nullptr));
    ASSERT_TRUE(writer.WriteFrame(payload, 2, true, 11025));
    EXPECT_THROW(writer.WriteFrame(payload, 2, false, 11025), EzqAssertionFailure);
    EXPECT_TRUE(writer.Close(true));
  }
}

TEST(StreamWriter, OpenRefusesWhatTheFormatCannotHold) {
  TMemoryMedium medium;
  TadcInterfaceStream stream;
  ASSERT_EQ(OpenMemoryStream(stream, medium, 0), 0);
  TAdcWriter writer;
  const TadcStreamInfo info = CdInfo(0);
  EXPECT_FALSE(writer.Open(info, 11025, 0, stream, kMaxStreamFrames + 1));
  EXPECT_FALSE(writer.Open(info, 11024, 4, stream, 9));  // frame length disagrees
  EXPECT_FALSE(writer.Open(info, 11025, 1, stream, 9));  // interval the table cannot store
  EXPECT_FALSE(writer.Open(info, 11025, 1025, stream, 2000));
  EXPECT_FALSE(writer.Open(info, 11025, 4, stream, -1));
  TadcStreamInfo bad = info;
  bad.Format.Channels = 3;
  EXPECT_FALSE(writer.Open(bad, 11025, 4, stream, 9));
  EXPECT_EQ(writer.Status(), kStreamWriterClosed);
  EXPECT_TRUE(medium.bytes.empty());
  // The largest count of frames is accepted; an interval of 1 without seek points is harmless.
  EXPECT_TRUE(writer.Open(info, 11025, 1024, stream, kMaxStreamFrames));
  EXPECT_EQ(writer.Status(), kStreamWriterOpen);
  EXPECT_TRUE(writer.Close(false));
  EXPECT_TRUE(writer.Open(info, 11025, 1, stream, 1));
  EXPECT_FALSE(writer.SeekTableEnabled());
  EXPECT_EQ(writer.InfoFrameInterval(), 8);
}

TEST(StreamWriter, EmptyStreamIsComplete) {
  TMemoryMedium medium;
  {
    TadcInterfaceStream stream;
    ASSERT_EQ(OpenMemoryStream(stream, medium), 0);
    TAdcWriter writer;
    ASSERT_TRUE(writer.Open(CdInfo(0), 11025, 4, stream, 0));
    EXPECT_TRUE(writer.Close(true));
    stream.Close(true);
  }
  ASSERT_EQ(medium.bytes.size(), 25u);
  EXPECT_EQ(LoadLE32(medium.bytes.data() + 21), PackObjectHeader(kObjectEnd, 0));
}

// A memory medium that takes only the first `limit` bytes written.
struct FailingMedium : TMemoryMedium {
  int64_t limit = 0;
  int64_t taken = 0;
};

int32_t FailingWrite(void* userData, const void* buffer, int32_t count) {
  auto* medium = static_cast<FailingMedium*>(static_cast<TMemoryMedium*>(userData));
  if (medium->taken + count > medium->limit) return 0;
  medium->taken += count;
  return MemoryMediumCallbacks().Write(userData, buffer, count);
}

TEST(StreamWriter, FailingMediumIsReported) {
  TadcStreamCallbacks callbacks = MemoryMediumCallbacks();
  callbacks.Write = FailingWrite;
  const int64_t samples = 8 * 11025 + 1;
  std::vector<uint8_t> reference;
  {
    TMemoryMedium medium;
    TadcInterfaceStream stream;
    ASSERT_EQ(OpenMemoryStream(stream, medium, 0), 0);
    ASSERT_TRUE(Encode(stream, CdInfo(samples), 9, 1, 4).ok);
    reference = medium.bytes;
  }
  const auto complete = int64_t(reference.size());
  for (int32_t bufferSize : {0, 512}) {
    for (int64_t limit = 0; limit <= complete + 64; ++limit) {
      FailingMedium medium;
      medium.limit = limit == complete + 64 ? 4 * complete : limit;
      TadcInterfaceStream stream;
      ASSERT_EQ(stream.OpenInterface(callbacks, static_cast<TMemoryMedium*>(&medium), bufferSize),
                0);
      const Encoded encoded = Encode(stream, CdInfo(samples), 9, 1, 4);
      // Success only with the whole stream on the medium.
      if (limit < complete) {
        EXPECT_FALSE(encoded.ok) << bufferSize << " " << limit;
      }
      if (encoded.ok) {
        EXPECT_EQ(medium.bytes, reference) << bufferSize << " " << limit;
      } else {
        EXPECT_TRUE(stream.HasError()) << bufferSize << " " << limit;
      }
      if (limit == complete + 64) {
        EXPECT_TRUE(encoded.ok) << bufferSize;
      }
    }
  }
}

}  // namespace
}  // namespace lym

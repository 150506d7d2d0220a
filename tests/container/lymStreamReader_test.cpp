#include "container/lymStreamReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "container/Crc24.h"
#include "io/MemoryStream.h"
#include "StreamBuilder.h"
#include "foundation/ByteOrder.h"

namespace lym {
namespace {

constexpr int32_t kFrames = 5;
constexpr int64_t kSamples = 4 * 4096 + 100;
constexpr int64_t kAnnouncedSamples = 0x10000;  // what frame headers carry, see Build

TadcStreamInfo CdStereo() {
  TadcStreamInfo info;
  info.Profile = 2;
  info.FrameSizeCode = 4;
  info.FrameSamples = 4096;
  info.SampleCount = kSamples;
  info.Format = {0, 44100, 16, 2, 4};
  return info;
}

struct Layout {
  bool seekTable = true;
  bool waveMeta = true;
  int encoderInfos = 1;
  bool unknownObject = false;
  bool brokenIdentifier = false;
  bool brokenStreamInfoCrc = false;
  bool destroyFrame0 = false;
  bool apeTag = false;
  int32_t bits = 16;
  int32_t rate = 44100;
  int32_t frameSizeCode = 4;
};

struct Built {
  std::vector<uint8_t> bytes;
  std::vector<int64_t> frames;  // positions
  std::vector<uint8_t> waveHeader, waveTrailer;
};

using test::ApeTag;
using test::Append;
using test::AppendLE32;
using test::AppendObject;
using test::Written;

std::vector<uint8_t> Frame(int32_t number, const TadcStreamInfo* info, bool last,
                           std::vector<uint8_t> payload) {
  TadcFrameHeader header;
  header.FrameNumber = number;
  header.IsLast = last;
  header.LastFrameSamples = last ? int32_t(kSamples % 4096) : 0;
  header.HasInfo = info != nullptr;
  if (info) header.Info = *info;
  std::vector<uint8_t> frame = Written([&](TBitOutStream& w) { WriteFrameHeader(header, w); });
  uint8_t crc[kCrc24Bytes];
  StoreCrc24(crc, Crc24(payload.data(), payload.size()));
  Append(frame, payload);
  frame.insert(frame.end(), crc, crc + kCrc24Bytes);
  return frame;
}

// A stream of kFrames frames behind some junk bytes (the stream need not start the medium). Frame
// 0 repeats the stream information with the sample count announced when encoding began; frame 0's
// payload holds FF A0 pairs that do not start headers.
Built Build(const Layout& layout) {
  TadcStreamInfo info = CdStereo();
  info.Format.BitsPerSample = layout.bits;
  info.Format.BlockSize = BlockSizeOf(info.Format);
  info.Format.SampleRate = layout.rate;
  info.FrameSizeCode = layout.frameSizeCode;
  TadcStreamInfo announced = info;
  announced.SampleCount = kAnnouncedSamples;

  std::vector<std::vector<uint8_t>> frames;
  for (int32_t k = 0; k < kFrames; ++k) {
    std::vector<uint8_t> payload(size_t(10 + 3 * k), uint8_t(0x11 * (k + 1)));
    if (k == 0) payload = {0xFF, 0xA0, 0x00, 0xFF, 0xA0, 0xFF, 0xFF, 0xA0, 0x12, 0x34, 0x56};
    frames.push_back(Frame(k, k == 0 ? &announced : nullptr, k == kFrames - 1, payload));
  }
  if (layout.destroyFrame0) frames[0][0] = 0x00;

  Built built;
  built.bytes = {0x01, 0x02, 0x03};
  const auto start = int64_t(built.bytes.size());
  built.bytes.insert(built.bytes.end(), kStreamIdentifier, kStreamIdentifier + 4);
  if (layout.brokenIdentifier) built.bytes[start + 1] = 'x';
  std::vector<uint8_t> infoPayload =
      Written([&](TBitOutStream& w) { ASSERT_TRUE(WriteStreamInfoObject(w, info)); });
  if (layout.brokenStreamInfoCrc) infoPayload.back() ^= 1;
  AppendObject(built.bytes, kObjectStreamInfo, infoPayload);
  if (layout.unknownObject) AppendObject(built.bytes, 9, {1, 2, 3, 4, 5});
  if (layout.seekTable) {
    std::vector<int64_t> offsets;  // frames 2 and 4, interval 2
    int64_t offset = 0;
    for (int32_t k = 0; k < kFrames; ++k) {
      if (k > 0 && k % 2 == 0) offsets.push_back(offset);
      offset += int64_t(frames[size_t(k)].size());
    }
    AppendObject(built.bytes, kObjectSeekTable, MakeSeekTablePayload(2, offsets));
  }
  for (int i = 0; i < layout.encoderInfos; ++i) {
    AppendObject(built.bytes, kObjectEncoderInfo, Written([](TBitOutStream& w) {
                   WriteEncoderInfoObject(w, {0x010203, 3, 1});
                 }));
  }
  if (layout.waveMeta) {
    built.waveHeader = {'R', 'I', 'F', 'F', 0x24, 0, 0, 0, 'W', 'A', 'V', 'E'};
    built.waveTrailer = {'L', 'I', 'S', 'T'};
    AppendObject(built.bytes, kObjectWaveMeta,
                 MakeWaveMetaPayload(built.waveHeader, built.waveTrailer));
  }
  AppendObject(built.bytes, kObjectEnd, {});
  for (const auto& frame : frames) {
    built.frames.push_back(int64_t(built.bytes.size()));
    Append(built.bytes, frame);
  }
  if (layout.apeTag) Append(built.bytes, ApeTag("Title", "Song"));
  return built;
}

// Opens the stream at the identifier (after the three junk bytes).
struct Opened {
  explicit Opened(const Built& built) {
    medium.bytes = built.bytes;
    EXPECT_EQ(OpenMemoryStream(stream, medium), 0);
    EXPECT_TRUE(stream.Seek(kSeekFromStart, 3));
    reader.Open(stream);
  }
  TMemoryMedium medium;
  TadcInterfaceStream stream;
  TAdcReader reader;
};

void ExpectFirstFrame(const Opened& o, const Built& b, size_t frame) {
  EXPECT_EQ(o.reader.FirstFramePosition(), b.frames[frame]);
  EXPECT_EQ(o.reader.RelativePosition(), b.frames[frame] - 3);
  EXPECT_EQ(o.stream.GetPosition(), b.frames[frame]);
}

TEST(StreamReader, ValidStreamAnswersEveryQuery) {
  const Built b = Build({});
  Opened o(b);
  TAdcReader& r = o.reader;
  ASSERT_EQ(r.Status(), kStreamOpen);
  EXPECT_EQ(r.DamageFlags(), 0);
  EXPECT_EQ(r.StartPosition(), 3);
  ExpectFirstFrame(o, b, 0);
  EXPECT_EQ(r.StreamInfo().SampleCount, kSamples);
  EXPECT_EQ(r.StreamInfo().FrameSamples, 4096);
  EXPECT_EQ(r.StreamInfo().Format.SampleRate, 44100);
  EXPECT_EQ(r.FrameCount(), kFrames);
  EXPECT_EQ(r.MetaData().FoundFlags(), kMetaFoundStreamInfo | kMetaFoundSeekTable |
                                           kMetaFoundWaveMeta | kMetaFoundEncoderInfo);

  TadcEncoderInfo enc;
  ASSERT_TRUE(r.GetEncoderInfo(enc));
  EXPECT_EQ(enc.EncoderVersion, 0x010203);
  EXPECT_EQ(enc.Preset, 3);
  EXPECT_EQ(enc.Evaluation, 1);

  // Queries leave the stream where it was.
  TadcWaveMetaInfo wave;
  ASSERT_TRUE(r.ReadWaveMetaInfo(wave));
  EXPECT_EQ(wave.HeaderBytes, 12);
  EXPECT_EQ(wave.TrailerBytes, 4);
  std::vector<uint8_t> meta(16);
  EXPECT_FALSE(r.ReadWaveMetaData(meta.data(), 15));  // buffer too small
  ASSERT_TRUE(r.ReadWaveMetaData(meta.data(), 16));
  std::vector<uint8_t> expected = b.waveHeader;
  Append(expected, b.waveTrailer);
  EXPECT_EQ(meta, expected);
  ExpectFirstFrame(o, b, 0);

  TadcSeekTableInfo table;
  int32_t tableBytes = 0;
  ASSERT_TRUE(r.GetSeekTableInfo(table, tableBytes));
  EXPECT_EQ(table.Points, 2);
  EXPECT_EQ(table.Interval, 2);
  EXPECT_EQ(tableBytes, 2 * 5 + 3);
  ASSERT_TRUE(r.ValidateSeekTable());
  const struct {
    int32_t frame, point;
  } cases[] = {{0, 0}, {1, 0}, {2, 2}, {3, 2}, {4, 4}, {1000, 4}};
  for (const auto& c : cases) {
    int32_t point = -1;
    int64_t position = -1;
    ASSERT_TRUE(r.FindSeekPoint(c.frame, point, position)) << c.frame;
    EXPECT_EQ(point, c.point);
    EXPECT_EQ(position, b.frames[size_t(c.point)] - 3);
  }
  EXPECT_EQ(o.stream.GetPosition(), b.frames[0]);

  // Data runs from the position set by SeekRelative to the end, in short reads.
  ASSERT_TRUE(r.SeekRelative(b.frames[2] - 3));
  EXPECT_FALSE(r.SeekRelative(int64_t(b.bytes.size())));  // beyond the end: refused
  EXPECT_EQ(r.Status(), kStreamOpen);
  std::vector<uint8_t> data, chunk(7);
  for (int32_t count = 7; count > 0;) {
    count = 7;
    ASSERT_TRUE(r.ReadData(chunk.data(), count));
    data.insert(data.end(), chunk.begin(), chunk.begin() + count);
  }
  EXPECT_EQ(data, std::vector<uint8_t>(b.bytes.begin() + b.frames[2], b.bytes.end()));
  EXPECT_EQ(r.BytesRead(), int64_t(data.size()));

  r.Close();
  EXPECT_EQ(r.Status(), kStreamNotOpen);
  int32_t count = 4;
  EXPECT_FALSE(r.ReadData(chunk.data(), count));
  EXPECT_FALSE(r.GetEncoderInfo(enc));
  EXPECT_EQ(r.GetApeTag(), nullptr);
}

TEST(StreamReader, RecoversFromDamage) {
  {  // identifier overwritten: only reported
    const Built b = Build({.brokenIdentifier = true});
    Opened o(b);
    EXPECT_EQ(o.reader.Status(), kStreamOpen);
    EXPECT_EQ(o.reader.DamageFlags(), kDamageIdentifier);
    ExpectFirstFrame(o, b, 0);
    EXPECT_EQ(o.reader.StreamInfo().SampleCount, kSamples);
  }
  {  // stream information unusable: described by frame 0's header
    const Built b = Build({.brokenStreamInfoCrc = true});
    Opened o(b);
    EXPECT_EQ(o.reader.Status(), kStreamOpen);
    EXPECT_EQ(o.reader.DamageFlags(), kDamageStreamInfo | kDamageMetaData);
    ExpectFirstFrame(o, b, 0);
    EXPECT_EQ(o.reader.StreamInfo().SampleCount, kAnnouncedSamples);
    EXPECT_EQ(o.reader.FrameCount(), 16);
    TadcEncoderInfo enc;
    TadcWaveMetaInfo wave;
    EXPECT_FALSE(o.reader.GetEncoderInfo(enc));
    EXPECT_FALSE(o.reader.ReadWaveMetaInfo(wave));
    EXPECT_FALSE(o.reader.ValidateSeekTable());
  }
  {  // frame 0 destroyed; the FF A0 pairs in its payload are passed over
    const Built b = Build({.destroyFrame0 = true});
    Opened o(b);
    EXPECT_EQ(o.reader.Status(), kStreamOpen);
    EXPECT_EQ(o.reader.DamageFlags(), kDamageFirstFrame);
    ExpectFirstFrame(o, b, 1);
    EXPECT_EQ(o.reader.StreamInfo().SampleCount, kSamples);
  }
  {  // two encoder information objects
    const Built b = Build({.encoderInfos = 2});
    Opened o(b);
    EXPECT_EQ(o.reader.Status(), kStreamOpen);
    EXPECT_EQ(o.reader.DamageFlags(), kDamageMetaData);
    ExpectFirstFrame(o, b, 0);
    EXPECT_EQ(o.reader.StreamInfo().SampleCount, kSamples);
    TadcEncoderInfo enc;
    EXPECT_FALSE(o.reader.GetEncoderInfo(enc));
  }
  {  // an unknown object is skipped without damage; no encoder information means the default
    const Built b = Build({.encoderInfos = 0, .unknownObject = true});
    Opened o(b);
    EXPECT_EQ(o.reader.Status(), kStreamOpen);
    EXPECT_EQ(o.reader.DamageFlags(), 0);
    EXPECT_TRUE(o.reader.MetaData().FoundFlags() & kMetaFoundUnknown);
    ExpectFirstFrame(o, b, 0);
    TadcEncoderInfo enc;
    ASSERT_TRUE(o.reader.GetEncoderInfo(enc));
    EXPECT_EQ(enc.EncoderVersion, kDefaultEncoderVersion);
    EXPECT_EQ(enc.Preset, 2);
    EXPECT_EQ(enc.Evaluation, 0);
  }
}

TEST(StreamReader, RefusesWhatItCannotDecode) {
  {  // fewer than 21 bytes from the identifier on
    Built b = Build({});
    b.bytes.resize(3 + 20);
    EXPECT_EQ(Opened(b).reader.Status(), kStreamUndecodable);
  }
  {  // no frame anywhere and no stream information
    Built b = Build({.brokenStreamInfoCrc = true});
    b.bytes.resize(size_t(b.frames[0]));
    b.bytes.insert(b.bytes.end(), 5000, 0xFF);
    EXPECT_EQ(Opened(b).reader.Status(), kStreamUndecodable);
  }
  // Formats this system does not handle.
  EXPECT_EQ(Opened(Build({.bits = 12})).reader.Status(), kStreamUnsupported);
  EXPECT_EQ(Opened(Build({.rate = 7999, .frameSizeCode = 0})).reader.Status(),
            kStreamUnsupported);
  EXPECT_EQ(Opened(Build({.rate = 96001})).reader.Status(), kStreamUnsupported);
  EXPECT_EQ(Opened(Build({.bits = 24, .rate = 96000})).reader.Status(), kStreamOpen);
  EXPECT_EQ(Opened(Build({.bits = 8, .rate = 8000, .frameSizeCode = 0})).reader.Status(),
            kStreamOpen);
}

TEST(StreamReader, SeekTableEntriesOutsideTheStreamAreRefused) {
  Built b = Build({});
  // Point the last entry (frame 4) far beyond the end and fix the table's checksum.
  const std::vector<uint8_t> table = MakeSeekTablePayload(2, {b.frames[2] - b.frames[0], 1 << 30});
  const auto at = std::search(b.bytes.begin(), b.bytes.end(), table.begin(), table.begin() + 9);
  ASSERT_NE(at, b.bytes.end());
  std::copy(table.begin(), table.end(), at);
  Opened o(b);
  ASSERT_EQ(o.reader.Status(), kStreamOpen);
  ASSERT_TRUE(o.reader.ValidateSeekTable());
  int32_t point = 0;
  int64_t position = 0;
  EXPECT_TRUE(o.reader.FindSeekPoint(3, point, position));
  EXPECT_EQ(position, b.frames[2] - 3);
  EXPECT_FALSE(o.reader.FindSeekPoint(4, point, position));
  EXPECT_EQ(o.reader.Status(), kStreamOpen);
}

TEST(StreamReader, ReadsTheApeTagOnce) {
  const Built b = Build({.apeTag = true});
  Opened o(b);
  ASSERT_EQ(o.reader.Status(), kStreamOpen);
  TlymAPEv2Tag* tag = o.reader.GetApeTag();
  ASSERT_NE(tag, nullptr);
  ASSERT_TRUE(tag->IsUsable());
  int32_t index = -1;
  ASSERT_EQ(tag->FindItem("title", &index), kAPEv2QueryDone);
  EXPECT_EQ(tag->Items()[index]->TextValue(0), "Song");
  EXPECT_EQ(o.reader.GetApeTag(), tag);
  EXPECT_EQ(o.stream.GetPosition(), b.frames[0]);
}

}  // namespace
}  // namespace lym

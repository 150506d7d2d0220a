#include "container/lymStream.h"

#include <gtest/gtest.h>

#include <vector>

#include "container/Crc24.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

TadcStreamInfo CdStereo() {
  TadcStreamInfo info;
  info.Profile = 2;
  info.FrameSizeCode = 3;
  info.FrameSamples = 11025;
  info.SampleCount = 0x12345678;
  info.Format = {0, 44100, 16, 2, 4};
  return info;
}

void ExpectSameInfo(const TadcStreamInfo& a, const TadcStreamInfo& b) {
  EXPECT_EQ(a.Codec, b.Codec);
  EXPECT_EQ(a.Profile, b.Profile);
  EXPECT_EQ(a.FrameSizeCode, b.FrameSizeCode);
  EXPECT_EQ(a.FrameSamples, b.FrameSamples);
  EXPECT_EQ(a.SampleCount, b.SampleCount);
  EXPECT_EQ(a.Format.DataType, b.Format.DataType);
  EXPECT_EQ(a.Format.SampleRate, b.Format.SampleRate);
  EXPECT_EQ(a.Format.BitsPerSample, b.Format.BitsPerSample);
  EXPECT_EQ(a.Format.Channels, b.Format.Channels);
  EXPECT_EQ(a.Format.BlockSize, b.Format.BlockSize);
}

// Bits appended least significant first, the way every field of a stream is laid out.
class BitImage {
 public:
  BitImage& Field(uint64_t value, int n) {
    for (int i = 0; i < n; ++i, ++bits_) {
      if (bits_ % 8 == 0) bytes_.push_back(0);
      bytes_.back() |= uint8_t((value >> i & 1) << (bits_ % 8));
    }
    return *this;
  }
  BitImage& Crc() {
    const uint32_t crc = Crc24(bytes_.data(), bytes_.size());
    return Field(crc, 24);
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int bits_ = 0;
};

std::vector<uint8_t> StreamInfoImage(uint32_t code, uint64_t count, uint32_t rateField) {
  return BitImage()
      .Field(0, 6).Field(2, 4).Field(code, 4).Field(count & 0xFFFFFF, 24).Field(count >> 24, 11)
      .Field(0, 3).Field(rateField, 18).Field(16 - 8, 5).Field(2 - 1, 5)
      .Crc().Bytes();
}

bool ReadInfo(const std::vector<uint8_t>& bytes, TadcStreamInfo& info) {
  TBitInStream reader;
  reader.InitReader(bytes.data(), int32_t(bytes.size()));
  return ReadStreamInfoObject(reader, info);
}

std::vector<uint8_t> WriteHeader(const TadcFrameHeader& header) {
  std::vector<uint8_t> bytes(kMaxFrameHeaderBytes);
  TBitOutStream writer;
  writer.InitWriter(bytes.data(), int32_t(bytes.size()));
  WriteFrameHeader(header, writer);
  bytes.resize(size_t(writer.Finish()));
  return bytes;
}

bool ReadHeader(const std::vector<uint8_t>& bytes, TadcFrameHeader& header) {
  TBitInStream reader;
  reader.InitReader(bytes.data(), int32_t(bytes.size()));
  return ReadFrameHeader(reader, header);
}

// Flips bits of a header and gives it a matching checksum again, so that only the field is wrong.
std::vector<uint8_t> Tampered(std::vector<uint8_t> bytes, int byte, uint8_t bits) {
  bytes[size_t(byte)] ^= bits;
  const size_t covered = bytes.size() - kCrc24Bytes;
  StoreCrc24(bytes.data() + covered, Crc24(bytes.data(), covered));
  return bytes;
}

TEST(FrameLength, DurationAndSampleCountCodes) {
  int32_t code = 3, samples = 0;
  EXPECT_TRUE(CalcFrameSamples(44100, code, samples));
  EXPECT_EQ(samples, 11025);
  code = 0;
  EXPECT_TRUE(CalcFrameSamples(44100, code, samples));
  EXPECT_EQ(samples, 4134);
  code = 5;
  EXPECT_TRUE(CalcFrameSamples(48000, code, samples));
  EXPECT_EQ(samples, 8192);
  EXPECT_EQ(code, 5);
}

TEST(FrameLength, TooLongFramesAreCorrected) {
  int32_t code = 3, samples = 0;
  EXPECT_FALSE(CalcFrameSamples(192000, code, samples));
  EXPECT_EQ(samples, 16384);
  EXPECT_EQ(code, 6);
  code = 6;
  EXPECT_FALSE(CalcFrameSamples(8000, code, samples));
  EXPECT_EQ(samples, 2000);
  EXPECT_EQ(code, 3);
  code = 7;
  EXPECT_FALSE(CalcFrameSamples(44100, code, samples));
}

TEST(FrameLength, CountsOfFramesSeekPointsAndIntervals) {
  EXPECT_EQ(FrameCount(1, 11025), 1);
  EXPECT_EQ(FrameCount(11025, 11025), 1);
  EXPECT_EQ(FrameCount(11026, 11025), 2);
  EXPECT_EQ(SeekPointCount(4, 4), 0);
  EXPECT_EQ(SeekPointCount(9, 4), 2);
  EXPECT_EQ(SeekPointCount(0, 4), 0);
  EXPECT_EQ(SeekPointCount(9, 0), 0);
  EXPECT_EQ(FramesPerDuration(44100, 64, 11025), 8);  // two seconds
  EXPECT_EQ(FramesPerDuration(44100, 32, 11025), 4);  // one second
}

TEST(AudioFormat, AcceptedRange) {
  const TadcAudioFormat good{0, 44100, 16, 2, 4};
  EXPECT_TRUE(ValidateAudioFormat(good));
  auto with = [&](auto change) {
    TadcAudioFormat format = good;
    change(format);
    return ValidateAudioFormat(format);
  };
  EXPECT_TRUE(with([](auto& f) { f.SampleRate = 6000; }));
  EXPECT_FALSE(with([](auto& f) { f.SampleRate = 5999; }));
  EXPECT_TRUE(with([](auto& f) { f.SampleRate = 262144; }));
  EXPECT_FALSE(with([](auto& f) { f.SampleRate = 262145; }));
  EXPECT_TRUE(with([](auto& f) { f.BitsPerSample = 8; }));
  EXPECT_FALSE(with([](auto& f) { f.BitsPerSample = 7; }));
  EXPECT_TRUE(with([](auto& f) { f.BitsPerSample = 24; }));
  EXPECT_FALSE(with([](auto& f) { f.BitsPerSample = 25; }));
  EXPECT_TRUE(with([](auto& f) { f.Channels = 1; }));
  EXPECT_FALSE(with([](auto& f) { f.Channels = 0; }));
  EXPECT_FALSE(with([](auto& f) { f.Channels = 3; }));
  EXPECT_FALSE(with([](auto& f) { f.DataType = 1; }));
  EXPECT_EQ(BlockSizeOf({0, 8000, 24, 2, 0}), 6);
  EXPECT_EQ(BlockSizeOf({0, 8000, 12, 1, 0}), 2);
}

TEST(StreamInfoObject, LayoutAndRoundTrip) {
  uint8_t payload[kStreamInfoPayloadBytes];
  TBitOutStream writer;
  writer.InitWriter(payload, sizeof payload);
  ASSERT_TRUE(WriteStreamInfoObject(writer, CdStereo()));
  ASSERT_EQ(writer.Finish(), kStreamInfoPayloadBytes);
  const auto expected = StreamInfoImage(3, 0x12345678, 44100 - 6000);
  EXPECT_EQ(std::vector<uint8_t>(payload, payload + sizeof payload), expected);

  TadcStreamInfo read;
  ASSERT_TRUE(ReadInfo(expected, read));
  ExpectSameInfo(read, CdStereo());
}

TEST(StreamInfoObject, RejectsInvalidDescriptionsEvenWithAMatchingChecksum) {
  TadcStreamInfo info;
  EXPECT_FALSE(ReadInfo(StreamInfoImage(7, 1000, 44100 - 6000), info));      // code 7
  EXPECT_FALSE(ReadInfo(StreamInfoImage(3, 1000, 262145 - 6000), info));     // rate too high
  EXPECT_FALSE(ReadInfo(StreamInfoImage(6, 1000, 8000 - 6000), info));       // frame too long
  EXPECT_FALSE(ReadInfo(StreamInfoImage(3, uint64_t(1) << 31, 38100), info));  // count >= 2^31
  EXPECT_TRUE(ReadInfo(StreamInfoImage(3, (uint64_t(1) << 31) - 1, 38100), info));
}

TEST(StreamInfoObject, RejectsDamageAndShortData) {
  auto bytes = StreamInfoImage(3, 1000, 38100);
  TadcStreamInfo info;
  for (size_t length = 0; length < bytes.size(); ++length)
    EXPECT_FALSE(ReadInfo(std::vector<uint8_t>(bytes.begin(), bytes.begin() + length), info));
  bytes[4] ^= 0x10;
  EXPECT_FALSE(ReadInfo(bytes, info));
}

TEST(StreamInfoObject, WriterRefusesWhatNoReaderAccepts) {
  uint8_t payload[kStreamInfoPayloadBytes];
  TBitOutStream writer;
  for (auto change : {+[](TadcStreamInfo& i) { i.FrameSizeCode = 7; },
                      +[](TadcStreamInfo& i) { i.SampleCount = int64_t(1) << 31; },
                      +[](TadcStreamInfo& i) { i.Format.Channels = 3; },
                      +[](TadcStreamInfo& i) { i.Profile = 16; }}) {
    TadcStreamInfo info = CdStereo();
    change(info);
    writer.InitWriter(payload, sizeof payload);
    EXPECT_FALSE(WriteStreamInfoObject(writer, info));
    EXPECT_EQ(writer.BytesUsed(), 0);
  }
}

TEST(EncoderInfoObject, LayoutRoundTripAndDamage) {
  uint8_t payload[kEncoderInfoPayloadBytes];
  TBitOutStream writer;
  writer.InitWriter(payload, sizeof payload);
  WriteEncoderInfoObject(writer, {0x010001, 4, 2});
  ASSERT_EQ(writer.Finish(), kEncoderInfoPayloadBytes);
  const auto expected = BitImage().Field(0x010001, 24).Field(4, 4).Field(2, 2).Field(0, 2).Crc();
  std::vector<uint8_t> bytes(payload, payload + sizeof payload);
  EXPECT_EQ(bytes, expected.Bytes());

  TBitInStream reader;
  TadcEncoderInfo info;
  reader.InitReader(bytes.data(), int32_t(bytes.size()));
  ASSERT_TRUE(ReadEncoderInfoObject(reader, info));
  EXPECT_EQ(info.EncoderVersion, 0x010001);
  EXPECT_EQ(info.Preset, 4);
  EXPECT_EQ(info.Evaluation, 2);

  // The two padding bits are not checked; the checksum is.
  auto padded = BitImage().Field(0x010001, 24).Field(4, 4).Field(2, 2).Field(3, 2).Crc().Bytes();
  reader.InitReader(padded.data(), int32_t(padded.size()));
  EXPECT_TRUE(ReadEncoderInfoObject(reader, info));
  padded[6] ^= 1;
  reader.InitReader(padded.data(), int32_t(padded.size()));
  EXPECT_FALSE(ReadEncoderInfoObject(reader, info));

  TadcStreamInfo old = CdStereo();
  const TadcEncoderInfo defaulted = DefaultEncoderInfo(old);
  EXPECT_EQ(defaulted.EncoderVersion, 0x010000);
  EXPECT_EQ(defaulted.Preset, old.Profile);
  EXPECT_EQ(defaulted.Evaluation, 0);
}

TEST(ObjectHeader, PackAndUnpack) {
  EXPECT_EQ(PackObjectHeader(kObjectStreamInfo, 13), 0x0D01u);
  int type = -1;
  int32_t size = -1;
  UnpackObjectHeader(0x00123482, type, size);  // bit 7 set: ignored
  EXPECT_EQ(type, 2);
  EXPECT_EQ(size, 0x1234);
  UnpackObjectHeader(0xFFFFFF7F, type, size);
  EXPECT_EQ(type, 127);
  EXPECT_EQ(size, 0xFFFFFF);
}

TEST(SeekTable, InfoWord) {
  EXPECT_EQ(PackSeekTableInfo(2, 4), 2u + (3u << 21));
  TadcSeekTableInfo info;
  EXPECT_TRUE(UnpackSeekTableInfo(PackSeekTableInfo(0x1FFFFF, 1024), info));
  EXPECT_EQ(info.Points, 0x1FFFFF);
  EXPECT_EQ(info.Interval, 1024);
  EXPECT_TRUE(UnpackSeekTableInfo(PackSeekTableInfo(5, 2), info));
  EXPECT_FALSE(UnpackSeekTableInfo(7, info));  // interval field 0: interval 1
}

TEST(SeekTable, PayloadRoundTripAndValidation) {
  const std::vector<int64_t> offsets = {0x1234, 0xFFFFFFFFFFLL, 7};
  auto payload = MakeSeekTablePayload(4, offsets);
  ASSERT_EQ(payload.size(), size_t(SeekTablePayloadBytes(3)));
  EXPECT_EQ(payload.size(), 22u);
  EXPECT_EQ(UnpackSeekEntry(payload.data() + 4 + 5), 0xFFFFFFFFFFLL);

  TadcSeekTableInfo info;
  std::vector<int64_t> read;
  ASSERT_TRUE(ParseSeekTablePayload(payload.data(), int32_t(payload.size()), info, read));
  EXPECT_EQ(info.Interval, 4);
  EXPECT_EQ(read, offsets);

  // A larger payload is acceptable, a shorter one or a damaged entry is not.
  auto larger = payload;
  larger.push_back(0);
  EXPECT_TRUE(ParseSeekTablePayload(larger.data(), int32_t(larger.size()), info, read));
  EXPECT_FALSE(ParseSeekTablePayload(payload.data(), int32_t(payload.size()) - 1, info, read));
  payload[6] ^= 0x40;
  EXPECT_FALSE(ParseSeekTablePayload(payload.data(), int32_t(payload.size()), info, read));
  const uint8_t huge[] = {0xFF, 0xFF, 0x3F, 0x00, 0, 0, 0};  // 2^21 - 1 points claimed
  EXPECT_FALSE(ParseSeekTablePayload(huge, sizeof huge, info, read));
}

TEST(WaveMeta, PayloadRoundTripAndValidation) {
  const std::vector<uint8_t> header = {'R', 'I', 'F', 'F', 1, 2, 3};
  const std::vector<uint8_t> trailer = {9, 8};
  auto payload = MakeWaveMetaPayload(header, trailer);
  ASSERT_EQ(payload.size(), 7u + 2u + 9u);
  EXPECT_EQ(payload[0], 7);
  EXPECT_EQ(payload[3], 2);

  std::vector<uint8_t> readHeader, readTrailer;
  ASSERT_TRUE(ParseWaveMetaPayload(payload.data(), int32_t(payload.size()), readHeader, readTrailer));
  EXPECT_EQ(readHeader, header);
  EXPECT_EQ(readTrailer, trailer);

  auto larger = payload;
  larger.push_back(0);
  EXPECT_FALSE(ParseWaveMetaPayload(larger.data(), int32_t(larger.size()), readHeader, readTrailer));
  payload[8] ^= 1;
  EXPECT_FALSE(ParseWaveMetaPayload(payload.data(), int32_t(payload.size()), readHeader, readTrailer));
}

TEST(WaveMeta, AtMostOneMebibyteOfHeaderAndTrailer) {
  const std::vector<uint8_t> header(kMaxWaveMetaBytes - 1), trailer(1);
  const auto payload = MakeWaveMetaPayload(header, trailer);
  std::vector<uint8_t> readHeader, readTrailer;
  EXPECT_TRUE(ParseWaveMetaPayload(payload.data(), int32_t(payload.size()), readHeader, readTrailer));
  EXPECT_THROW(MakeWaveMetaPayload(header, std::vector<uint8_t>(2)), EzqAssertionFailure);

  // A payload that claims one byte more, with a matching checksum, is refused.
  std::vector<uint8_t> over(size_t(kMaxWaveMetaBytes) + 1 + 9);
  over[2] = 0x10;  // header 1048576 bytes
  over[3] = 1;     // trailer 1 byte
  StoreCrc24(over.data() + over.size() - 3, Crc24(over.data(), over.size() - 3));
  EXPECT_FALSE(ParseWaveMetaPayload(over.data(), int32_t(over.size()), readHeader, readTrailer));
}

TEST(FrameHeader, SizesAndRoundTripOfEveryKind) {
  struct Kind {
    bool last, info, optional1, optional2;
    size_t bytes;
  };
  for (const Kind kind : {Kind{false, false, false, false, 8}, Kind{true, false, false, false, 10},
                          Kind{false, true, false, false, 19}, Kind{true, true, false, false, 21},
                          Kind{true, true, true, false, 24}, Kind{true, true, true, true, 27}}) {
    TadcFrameHeader header;
    header.IsLast = kind.last;
    header.HasInfo = kind.info;
    header.FrameNumber = kMaxFrameNumber;
    header.LastFrameSamples = kind.last ? 16384 : 0;
    if (kind.info) header.Info = CdStereo();
    header.HasOptional1 = kind.optional1;
    header.Optional1 = kind.optional1 ? 0x1ABCDEF : 0;
    header.HasOptional2 = kind.optional2;
    header.Optional2 = kind.optional2 ? 0x0123456 : 0;

    const auto bytes = WriteHeader(header);
    ASSERT_EQ(bytes.size(), kind.bytes);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xA0);
    TadcFrameHeader read;
    ASSERT_TRUE(ReadHeader(bytes, read));
    EXPECT_EQ(read.IsLast, header.IsLast);
    EXPECT_EQ(read.HasInfo, header.HasInfo);
    EXPECT_EQ(read.FrameNumber, header.FrameNumber);
    EXPECT_EQ(read.LastFrameSamples, header.LastFrameSamples);
    EXPECT_EQ(read.Optional1, header.Optional1);
    EXPECT_EQ(read.Optional2, header.Optional2);
    if (kind.info) ExpectSameInfo(read.Info, header.Info);
    for (size_t length = 0; length < bytes.size(); ++length)
      EXPECT_FALSE(ReadHeader(std::vector<uint8_t>(bytes.begin(), bytes.begin() + length), read));
  }
}

TEST(FrameHeader, RejectsEveryBrokenRuleEvenWithAMatchingChecksum) {
  TadcFrameHeader header;
  header.HasInfo = true;
  header.FrameNumber = 8;
  header.Info = CdStereo();
  const auto good = WriteHeader(header);  // 126 bits of fields, then 2 padding bits
  ASSERT_EQ(good.size(), 19u);
  TadcFrameHeader read;
  ASSERT_TRUE(ReadHeader(good, read));

  EXPECT_FALSE(ReadHeader(Tampered(good, 0, 0x01), read));  // sync
  EXPECT_FALSE(ReadHeader(Tampered(good, 2, 0x04), read));  // reserved flag (bit 18)
  EXPECT_FALSE(ReadHeader(Tampered(good, 15, 0x04), read));  // the four zero bits
  EXPECT_FALSE(ReadHeader(Tampered(good, 15, 0x80), read));  // alignment padding
  EXPECT_FALSE(ReadHeader(Tampered(good, 6, 0xF0), read));  // frame size code 15
  auto damaged = good;
  damaged[10] ^= 0x08;
  EXPECT_FALSE(ReadHeader(damaged, read));  // checksum
}

TEST(FrameHeader, LastFramePaddingIsNotChecked) {
  TadcFrameHeader header;
  header.IsLast = true;
  header.FrameNumber = 3;
  header.LastFrameSamples = 100;
  TadcFrameHeader read;
  EXPECT_TRUE(ReadHeader(Tampered(WriteHeader(header), 6, 0xC0), read));
  EXPECT_EQ(read.LastFrameSamples, 100);
}

TEST(FrameHeader, WriterRefusesFormatsItCannotDescribe) {
  TadcFrameHeader header;
  header.HasInfo = true;
  header.Info = CdStereo();
  header.Info.Format.BitsPerSample = 32;
  try {
    WriteHeader(header);
    FAIL() << "no exception";
  } catch (const EzqException& error) {
    EXPECT_STREQ(error.what(), "Extended stream format not supported");
  }
  header.HasInfo = false;  // a plain header does not describe the format
  EXPECT_EQ(WriteHeader(header).size(), 8u);
  header.FrameNumber = kMaxFrameNumber + 1;
  EXPECT_THROW(WriteHeader(header), EzqAssertionFailure);
}

}  // namespace
}  // namespace lym

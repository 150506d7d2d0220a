#include "container/lymStream.h"

#include <algorithm>

#include "container/Crc24.h"
#include "foundation/ByteOrder.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int32_t kMinSampleRate = 6000;
constexpr int32_t kMaxSampleRate = 262144;

constexpr int kSampleCountLowBits = 24;
constexpr int kSampleCountHighBits = 11;
constexpr int kOptionalFieldBits = 25;
constexpr int kSeekPointBits = 21;
constexpr uint32_t kSeekIntervalMask = 0x3FF;
constexpr int kWaveMetaSizeBytes = 3;

// Byte offset of a writer or reader that must stand on a byte boundary.
int32_t AlignedStart(const TBitOutStream& writer) {
  LYM_ASSERT(writer.BitsUsed() % 8 == 0, "Writer not byte-aligned");
  return writer.BytesUsed();
}
int32_t AlignedStart(const TBitInStream& reader) {
  LYM_ASSERT(reader.BitsRead() % 8 == 0, "Reader not byte-aligned");
  return reader.BytesRead();
}

// Appends the CRC-24 of everything written since byte `from`.
void WriteCrcSince(TBitOutStream& writer, int32_t from) {
  const uint8_t* data = writer.Data() + from;
  writer.WriteBits(Crc24(data, size_t(writer.BytesUsed() - from)), 24);
}

// Reads a CRC-24 and compares it with the checksum of the bytes read since byte `from`.
bool ReadCrcSince(TBitInStream& reader, int32_t from) {
  const uint32_t computed = Crc24(reader.Data() + from, size_t(reader.BytesRead() - from));
  const uint32_t stored = reader.ReadBits(24);
  return !reader.ReadError && Crc24Matches(stored, computed);
}

bool StreamInfoIsWritable(const TadcStreamInfo& info) {
  int32_t code = info.FrameSizeCode;
  int32_t samples = 0;
  return info.Codec >= 0 && info.Codec < 64 && info.Profile >= 0 && info.Profile < 16 &&
         info.SampleCount >= 0 && info.SampleCount <= kMaxSampleCount &&
         ValidateAudioFormat(info.Format) &&
         CalcFrameSamples(info.Format.SampleRate, code, samples);
}

}  // namespace

bool ValidateAudioFormat(const TadcAudioFormat& format) {
  return format.DataType == 0 && format.SampleRate >= kMinSampleRate &&
         format.SampleRate <= kMaxSampleRate && format.BitsPerSample >= 8 &&
         format.BitsPerSample <= 24 && (format.Channels == 1 || format.Channels == 2);
}

int32_t BlockSizeOf(const TadcAudioFormat& format) {
  return (format.BitsPerSample + 7) / 8 * format.Channels;
}

int64_t FrameCount(int64_t sampleCount, int32_t frameSamples) {
  return (sampleCount + frameSamples - 1) / frameSamples;
}

int32_t SeekPointCount(int64_t frameCount, int32_t interval) {
  if (frameCount < 1 || interval == 0) return 0;
  return int32_t((frameCount - 1) / interval);
}

int32_t FramesPerDuration(int32_t sampleRate, int32_t thirtySeconds, int32_t frameSamples) {
  return int32_t(int64_t(sampleRate) * thirtySeconds / (int64_t(frameSamples) * 32));
}

uint32_t PackObjectHeader(int type, int32_t size) {
  LYM_ASSERT(type >= 0 && type <= 0x7F && size >= 0 && size <= 0xFFFFFF,
             "Object header out of range");
  return uint32_t(type) + uint32_t(size) * 256;
}

void UnpackObjectHeader(uint32_t value, int& type, int32_t& size) {
  type = int(value & 0x7F);
  size = int32_t((value >> 8) & 0xFFFFFF);
}

bool WriteStreamInfoBits(TBitOutStream& writer, const TadcStreamInfo& info) {
  if (!StreamInfoIsWritable(info)) return false;
  const auto count = uint64_t(info.SampleCount);
  const TadcAudioFormat& format = info.Format;
  writer.WriteBits(uint32_t(info.Codec), 6);
  writer.WriteBits(uint32_t(info.Profile), 4);
  writer.WriteBits(uint32_t(info.FrameSizeCode), 4);
  writer.WriteBits(uint32_t(count), kSampleCountLowBits);
  writer.WriteBits(uint32_t(count >> kSampleCountLowBits), kSampleCountHighBits);
  writer.WriteBits(uint32_t(format.DataType), 3);
  writer.WriteBits(uint32_t(format.SampleRate - kMinSampleRate), 18);
  writer.WriteBits(uint32_t(format.BitsPerSample - 8), 5);
  writer.WriteBits(uint32_t(format.Channels - 1), 5);
  return true;
}

bool ReadStreamInfoBits(TBitInStream& reader, TadcStreamInfo& info) {
  info.Codec = int32_t(reader.ReadBits(6));
  info.Profile = int32_t(reader.ReadBits(4));
  info.FrameSizeCode = int32_t(reader.ReadBits(4));
  const uint64_t countLow = reader.ReadBits(kSampleCountLowBits);
  const uint64_t countHigh = reader.ReadBits(kSampleCountHighBits);
  info.SampleCount = int64_t(countLow | countHigh << kSampleCountLowBits);
  TadcAudioFormat& format = info.Format;
  format.DataType = int32_t(reader.ReadBits(3));
  format.SampleRate = int32_t(reader.ReadBits(18)) + kMinSampleRate;
  format.BitsPerSample = int32_t(reader.ReadBits(5)) + 8;
  format.Channels = int32_t(reader.ReadBits(5)) + 1;
  format.BlockSize = BlockSizeOf(format);
  if (reader.ReadError || !ValidateAudioFormat(format)) return false;
  // Sample counts are kept below 2^31 everywhere; a larger one cannot be ours.
  if (info.SampleCount > kMaxSampleCount) return false;
  int32_t code = info.FrameSizeCode;
  return CalcFrameSamples(format.SampleRate, code, info.FrameSamples);
}

bool WriteStreamInfoObject(TBitOutStream& writer, const TadcStreamInfo& info) {
  const int32_t start = AlignedStart(writer);
  if (!WriteStreamInfoBits(writer, info)) return false;
  WriteCrcSince(writer, start);
  return true;
}

bool ReadStreamInfoObject(TBitInStream& reader, TadcStreamInfo& info) {
  const int32_t start = AlignedStart(reader);
  const bool valid = ReadStreamInfoBits(reader, info);
  return ReadCrcSince(reader, start) && valid;
}

void WriteEncoderInfoObject(TBitOutStream& writer, const TadcEncoderInfo& info) {
  LYM_ASSERT(info.EncoderVersion >= 0 && info.EncoderVersion <= 0xFFFFFF && info.Preset >= 0 &&
                 info.Preset < 16 && info.Evaluation >= 0 && info.Evaluation < 4,
             "Encoder information out of range");
  const int32_t start = AlignedStart(writer);
  writer.WriteBits(uint32_t(info.EncoderVersion), 24);
  writer.WriteBits(uint32_t(info.Preset), 4);
  writer.WriteBits(uint32_t(info.Evaluation), 2);
  writer.AlignToByte();
  WriteCrcSince(writer, start);
}

bool ReadEncoderInfoObject(TBitInStream& reader, TadcEncoderInfo& info) {
  const int32_t start = AlignedStart(reader);
  info.EncoderVersion = int32_t(reader.ReadBits(24));
  info.Preset = int32_t(reader.ReadBits(4));
  info.Evaluation = int32_t(reader.ReadBits(2));
  reader.AlignToByte();  // padding value not checked
  return ReadCrcSince(reader, start);
}

TadcEncoderInfo DefaultEncoderInfo(const TadcStreamInfo& info) {
  return {kDefaultEncoderVersion, info.Profile, 0};
}

uint32_t PackSeekTableInfo(int32_t points, int32_t interval) {
  LYM_ASSERT(points >= 0 && points <= kMaxSeekPoints && interval >= kMinSeekInterval &&
                 interval <= kMaxSeekInterval,
             "Seek table out of range");
  return uint32_t(points) + (uint32_t(interval - 1) << kSeekPointBits);
}

bool UnpackSeekTableInfo(uint32_t value, TadcSeekTableInfo& info) {
  info.Points = int32_t(value & kMaxSeekPoints);
  info.Interval = int32_t((value >> kSeekPointBits) & kSeekIntervalMask) + 1;
  return info.Interval >= kMinSeekInterval && info.Interval <= kMaxSeekInterval;
}

int32_t SeekTablePayloadBytes(int32_t points) {
  return kSeekEntryBytes * points + 4 + kCrc24Bytes;
}

void PackSeekEntry(int64_t offset, uint8_t* to) { StoreLE(to, uint64_t(offset), kSeekEntryBytes); }

int64_t UnpackSeekEntry(const uint8_t* from) { return int64_t(LoadLE(from, kSeekEntryBytes)); }

std::vector<uint8_t> MakeSeekTablePayload(int32_t interval, const std::vector<int64_t>& offsets) {
  const auto points = int32_t(offsets.size());
  std::vector<uint8_t> payload(size_t(SeekTablePayloadBytes(points)));
  StoreLE32(payload.data(), PackSeekTableInfo(points, interval));
  uint8_t* entry = payload.data() + 4;
  for (int64_t offset : offsets) {
    PackSeekEntry(offset, entry);
    entry += kSeekEntryBytes;
  }
  StoreCrc24(entry, Crc24(payload.data(), size_t(entry - payload.data())));
  return payload;
}

bool ParseSeekTablePayload(const uint8_t* payload, int32_t size, TadcSeekTableInfo& info,
                           std::vector<int64_t>& offsets) {
  offsets.clear();
  if (size < SeekTablePayloadBytes(0) || !UnpackSeekTableInfo(LoadLE32(payload), info))
    return false;
  if (int64_t(info.Points) * kSeekEntryBytes > size - SeekTablePayloadBytes(0)) return false;
  const int32_t checked = 4 + kSeekEntryBytes * info.Points;
  if (!Crc24Matches(LoadCrc24(payload + checked), Crc24(payload, size_t(checked)))) return false;
  offsets.reserve(size_t(info.Points));
  for (int32_t k = 0; k < info.Points; ++k)
    offsets.push_back(UnpackSeekEntry(payload + 4 + kSeekEntryBytes * k));
  return true;
}

void PackWaveMetaInfo(const TadcWaveMetaInfo& info, uint8_t* to) {
  LYM_ASSERT(info.HeaderBytes >= 0 && info.TrailerBytes >= 0 &&
                 int64_t(info.HeaderBytes) + info.TrailerBytes <= kMaxWaveMetaBytes,
             "WAVE metadata too big");
  StoreLE(to, uint32_t(info.HeaderBytes), kWaveMetaSizeBytes);
  StoreLE(to + kWaveMetaSizeBytes, uint32_t(info.TrailerBytes), kWaveMetaSizeBytes);
}

void UnpackWaveMetaInfo(const uint8_t* from, TadcWaveMetaInfo& info) {
  info.HeaderBytes = int32_t(LoadLE(from, kWaveMetaSizeBytes));
  info.TrailerBytes = int32_t(LoadLE(from + kWaveMetaSizeBytes, kWaveMetaSizeBytes));
}

int32_t WaveMetaPayloadBytes(const TadcWaveMetaInfo& info) {
  return kWaveMetaSizesBytes + info.HeaderBytes + info.TrailerBytes + kCrc24Bytes;
}

std::vector<uint8_t> MakeWaveMetaPayload(const std::vector<uint8_t>& header,
                                         const std::vector<uint8_t>& trailer) {
  const TadcWaveMetaInfo info{int32_t(header.size()), int32_t(trailer.size())};
  std::vector<uint8_t> payload(size_t(WaveMetaPayloadBytes(info)));
  PackWaveMetaInfo(info, payload.data());
  const auto bytes = payload.begin() + kWaveMetaSizesBytes;
  std::copy(trailer.begin(), trailer.end(), std::copy(header.begin(), header.end(), bytes));
  const size_t checked = payload.size() - kCrc24Bytes;
  StoreCrc24(payload.data() + checked, Crc24(payload.data(), checked));
  return payload;
}

bool ParseWaveMetaPayload(const uint8_t* payload, int32_t size, std::vector<uint8_t>& header,
                          std::vector<uint8_t>& trailer) {
  header.clear();
  trailer.clear();
  if (size < kWaveMetaSizesBytes + kCrc24Bytes) return false;
  TadcWaveMetaInfo info;
  UnpackWaveMetaInfo(payload, info);
  if (int64_t(info.HeaderBytes) + info.TrailerBytes > kMaxWaveMetaBytes ||
      WaveMetaPayloadBytes(info) != size)
    return false;
  const int32_t checked = size - kCrc24Bytes;
  if (!Crc24Matches(LoadCrc24(payload + checked), Crc24(payload, size_t(checked)))) return false;
  const uint8_t* bytes = payload + kWaveMetaSizesBytes;
  header.assign(bytes, bytes + info.HeaderBytes);
  trailer.assign(bytes + info.HeaderBytes, bytes + info.HeaderBytes + info.TrailerBytes);
  return true;
}

void WriteFrameHeader(const TadcFrameHeader& header, TBitOutStream& writer) {
  if (header.HasInfo && !ValidateAudioFormat(header.Info.Format))
    throw EzqException("Extended stream format not supported");
  LYM_ASSERT(header.FrameNumber >= 0 && header.FrameNumber <= kMaxFrameNumber,
             "Frame number out of range");
  LYM_ASSERT(!header.IsLast ||
                 (header.LastFrameSamples >= 1 && header.LastFrameSamples <= kMaxFrameSamples),
             "Last frame length out of range");
  const int32_t start = AlignedStart(writer);
  writer.WriteBits(kFrameSync, 16);
  writer.WriteBit(header.IsLast);
  writer.WriteBit(header.HasInfo);
  writer.WriteBit(false);  // reserved
  writer.WriteBits(uint32_t(header.FrameNumber), 21);
  if (header.IsLast) {
    writer.WriteBits(uint32_t(header.LastFrameSamples - 1), 14);
    writer.WriteBits(0, 2);
  }
  if (header.HasInfo) {
    const bool described = WriteStreamInfoBits(writer, header.Info);
    LYM_ASSERT(described, "Invalid stream information");
    writer.WriteBit(header.HasOptional1);
    writer.WriteBit(header.HasOptional2);
    writer.WriteBits(0, 4);
    if (header.HasOptional1) writer.WriteBits(header.Optional1, kOptionalFieldBits);
    if (header.HasOptional2) writer.WriteBits(header.Optional2, kOptionalFieldBits);
    writer.AlignToByte();
  }
  LYM_ASSERT(writer.BytesUsed() - start + kCrc24Bytes <= kMaxFrameHeaderBytes,
             "InfoFrameHeader too big");
  WriteCrcSince(writer, start);
}

namespace {

// The part of an info header after the flags and the frame number; false on any invalid field.
bool ReadHeaderStreamInfo(TBitInStream& reader, TadcFrameHeader& header) {
  const bool validInfo = ReadStreamInfoBits(reader, header.Info);
  header.HasOptional1 = reader.ReadBit() != 0;
  header.HasOptional2 = reader.ReadBit() != 0;
  const uint32_t zeros = reader.ReadBits(4);
  header.Optional1 = header.HasOptional1 ? reader.ReadBits(kOptionalFieldBits) : 0;
  header.Optional2 = header.HasOptional2 ? reader.ReadBits(kOptionalFieldBits) : 0;
  const uint32_t padding = reader.AlignToByte();
  return validInfo && zeros == 0 && padding == 0;
}

}  // namespace

bool ReadFrameHeader(TBitInStream& reader, TadcFrameHeader& header) {
  const int32_t start = AlignedStart(reader);
  header = TadcFrameHeader{};
  if (reader.ReadBits(16) != kFrameSync) return false;
  header.IsLast = reader.ReadBit() != 0;
  header.HasInfo = reader.ReadBit() != 0;
  const bool reserved = reader.ReadBit() != 0;
  header.FrameNumber = int32_t(reader.ReadBits(21));
  if (reserved || reader.ReadError) return false;
  if (header.IsLast) {
    header.LastFrameSamples = int32_t(reader.ReadBits(14)) + 1;
    reader.ReadBits(2);  // not checked
  }
  if (header.HasInfo && !ReadHeaderStreamInfo(reader, header)) return false;
  LYM_ASSERT(reader.BytesRead() - start + kCrc24Bytes <= kMaxFrameHeaderBytes,
             "InfoFrameHeader too big");
  return ReadCrcSince(reader, start);
}

}  // namespace lym

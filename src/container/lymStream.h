// Byte layout of a compressed stream: the identifier, the metadata objects, the frame header, and
// the records and conversions that the writer, the reader, the decoders and file information share.
//
// A stream is the identifier "wQyZ", metadata objects (stream information first, an end object
// last), then frames numbered from 0. A frame is its header, the payload, and the CRC-24 of the
// payload. Every piece carries a CRC-24 so that a damaged stream can be resynchronised.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/BitStream.h"
#include "codec/FrameLength.h"

namespace lym {

inline constexpr uint8_t kStreamIdentifier[4] = {'w', 'Q', 'y', 'Z'};
// The shortest stream a reader accepts, counted from the identifier.
inline constexpr int kMinStreamBytes = 21;

// Metadata object types; 5 to 127 are unknown objects that readers skip.
inline constexpr int kObjectEnd = 0;
inline constexpr int kObjectStreamInfo = 1;
inline constexpr int kObjectSeekTable = 2;
inline constexpr int kObjectWaveMeta = 3;
inline constexpr int kObjectEncoderInfo = 4;

inline constexpr int kObjectHeaderBytes = 4;
inline constexpr int kStreamInfoGroupBytes = 10;
inline constexpr int kStreamInfoPayloadBytes = 13;
inline constexpr int kEncoderInfoPayloadBytes = 7;
inline constexpr int kSeekEntryBytes = 5;
inline constexpr int kWaveMetaSizesBytes = 6;
// The stored WAVE header and trailer together.
inline constexpr int32_t kMaxWaveMetaBytes = 1048576;

inline constexpr uint32_t kFrameSync = 0xA0FF;  // the bytes FF A0
inline constexpr int kPlainFrameHeaderBytes = 8;
inline constexpr int kMinInfoFrameHeaderBytes = 19;
inline constexpr int kMaxFrameHeaderBytes = 27;
inline constexpr int32_t kMaxFrameNumber = (1 << 21) - 1;
inline constexpr int64_t kMaxSampleCount = (int64_t(1) << 31) - 1;
inline constexpr int kMaxSeekPoints = (1 << 21) - 1;
inline constexpr int kMinSeekInterval = 2;
inline constexpr int kMaxSeekInterval = 1024;

// Streams without encoder information were written by this version.
inline constexpr int32_t kDefaultEncoderVersion = 0x010000;
// Encoders up to this version did not store the evaluation level.
inline constexpr int32_t kLastVersionWithoutEvaluation = 0x010000;

struct TadcAudioFormat {
  int32_t DataType = 0;  // 0 = PCM, the only value
  int32_t SampleRate = 0;
  int32_t BitsPerSample = 0;
  int32_t Channels = 0;
  int32_t BlockSize = 0;  // bytes per sample frame, derived
};

struct TadcStreamInfo {
  int32_t Codec = 0;  // 0 is the only codec
  int32_t Profile = 0;
  int32_t FrameSizeCode = 0;
  int32_t FrameSamples = 0;  // samples per channel in every frame but the last, derived
  int64_t SampleCount = 0;   // per channel
  TadcAudioFormat Format;
};

struct TadcEncoderInfo {
  int32_t EncoderVersion = 0;  // major in bits 16..23, minor 8..15, release 0..7
  int32_t Preset = 0;
  int32_t Evaluation = 0;
};

struct TadcFrameHeader {
  bool IsLast = false;
  bool HasInfo = false;
  int32_t FrameNumber = 0;
  int32_t LastFrameSamples = 0;  // with IsLast: 1 to the frame length
  TadcStreamInfo Info;           // with HasInfo
  bool HasOptional1 = false;     // optional 25-bit fields: never written, read and ignored
  bool HasOptional2 = false;
  uint32_t Optional1 = 0;
  uint32_t Optional2 = 0;
};

struct TadcSeekTableInfo {
  int32_t Points = 0;    // frame 0 is not listed
  int32_t Interval = 0;  // in frames
};

struct TadcWaveMetaInfo {
  int32_t HeaderBytes = 0;
  int32_t TrailerBytes = 0;
};

// --- Formats and frame lengths ---

bool ValidateAudioFormat(const TadcAudioFormat& format);
int32_t BlockSizeOf(const TadcAudioFormat& format);
int64_t FrameCount(int64_t sampleCount, int32_t frameSamples);
int32_t SeekPointCount(int64_t frameCount, int32_t interval);
// Whole frames in a duration of thirtySeconds 32nds of a second.
int32_t FramesPerDuration(int32_t sampleRate, int32_t thirtySeconds, int32_t frameSamples);

// --- Metadata objects ---

uint32_t PackObjectHeader(int type, int32_t size);
void UnpackObjectHeader(uint32_t value, int& type, int32_t& size);

// The 80-bit description shared by the stream information object and info frame headers. Writing
// refuses (false, nothing written) a description that no reader would accept.
bool WriteStreamInfoBits(TBitOutStream& writer, const TadcStreamInfo& info);
bool ReadStreamInfoBits(TBitInStream& reader, TadcStreamInfo& info);

// Payloads; the writer and the reader must stand on a byte boundary.
bool WriteStreamInfoObject(TBitOutStream& writer, const TadcStreamInfo& info);
bool ReadStreamInfoObject(TBitInStream& reader, TadcStreamInfo& info);
void WriteEncoderInfoObject(TBitOutStream& writer, const TadcEncoderInfo& info);
bool ReadEncoderInfoObject(TBitInStream& reader, TadcEncoderInfo& info);
TadcEncoderInfo DefaultEncoderInfo(const TadcStreamInfo& info);

uint32_t PackSeekTableInfo(int32_t points, int32_t interval);
bool UnpackSeekTableInfo(uint32_t value, TadcSeekTableInfo& info);
int32_t SeekTablePayloadBytes(int32_t points);
void PackSeekEntry(int64_t offset, uint8_t* to);
int64_t UnpackSeekEntry(const uint8_t* from);
// A whole seek table payload: info word, one entry per point (offsets of frames k * interval from
// the first frame, k = 1..points), CRC-24.
std::vector<uint8_t> MakeSeekTablePayload(int32_t interval, const std::vector<int64_t>& offsets);
bool ParseSeekTablePayload(const uint8_t* payload, int32_t size, TadcSeekTableInfo& info,
                           std::vector<int64_t>& offsets);

void PackWaveMetaInfo(const TadcWaveMetaInfo& info, uint8_t* to);
void UnpackWaveMetaInfo(const uint8_t* from, TadcWaveMetaInfo& info);
int32_t WaveMetaPayloadBytes(const TadcWaveMetaInfo& info);
// A whole WAVE metadata payload: both sizes, the header and trailer bytes, CRC-24.
std::vector<uint8_t> MakeWaveMetaPayload(const std::vector<uint8_t>& header,
                                         const std::vector<uint8_t>& trailer);
bool ParseWaveMetaPayload(const uint8_t* payload, int32_t size, std::vector<uint8_t>& header,
                          std::vector<uint8_t>& trailer);

// --- Frame headers ---

// Writes a header at a byte boundary. An info header whose format this system cannot describe
// raises "Extended stream format not supported"; other fields out of range are assertion failures.
void WriteFrameHeader(const TadcFrameHeader& header, TBitOutStream& writer);
// True only for a header with the sync, a clear reserved flag, a valid description (when present),
// zero padding and a matching checksum, read entirely from the data.
bool ReadFrameHeader(TBitInStream& reader, TadcFrameHeader& header);

}  // namespace lym

// Reading and writing RIFF WAVE files (PCM, one or two channels). The reader finds the sample data
// and hands out the bytes before it (the header) and after the last whole sample frame (the
// trailer); the writer puts such bytes back verbatim, so that a file survives compression and
// decompression byte for byte, or writes a canonical 44-byte header of its own.
//
// Both work on a stream that the caller opens, owns and closes. Every size stored in a WAVE file
// is a 32-bit field, so neither side handles files of 4 GiB or more.
#pragma once

#include <cstdint>
#include <string>

#include "container/lymStream.h"
#include "io/lymFileIo.h"

namespace lym {

// Reader states. The first error stays.
inline constexpr uint8_t kReaderNotOpen = 0;
inline constexpr uint8_t kReaderOpen = 1;
inline constexpr uint8_t kReaderNotWave = 2;
// File too large, or a required chunk missing or beginning beyond the chunk search. (Sample data
// running past the end of the file is taken up to the end, with a warning.)
inline constexpr uint8_t kReaderTooLargeOrIncomplete = 3;
inline constexpr uint8_t kReaderUnsupportedFormat = 4;
inline constexpr uint8_t kReaderDamaged = 5;
inline constexpr uint8_t kReaderIoError = 6;  // or a stream that cannot be used

// Streams of this length or longer cannot be described by 32-bit RIFF sizes.
inline constexpr int64_t kMaxForeignFileBytes = 0xFFFFFFF1;
// The sample data must begin within this many bytes, which bounds the chunk search.
inline constexpr int64_t kMaxWaveChunkSearch = 0x100000;
inline constexpr int32_t kWaveHeaderBytes = 44;

// Departures from a well-formed file that the reader accepts, since the stored header and trailer
// bring the file's exact bytes back anyway; bits of TWaveReader::Acceptances(). Each one deserves
// a warning: without the stored metadata the file would not come back as it was.

// The RIFF size disagrees with the file's length.
inline constexpr uint32_t kWaveRiffSizeIgnored = 1u << 0;
// Data size 0 or 0xFFFFFFFF, as written where the output could not be rewound: the samples run to
// the end of the file.
inline constexpr uint32_t kWaveDataSizeUnknown = 1u << 1;
// The data size runs past the end of the file: the samples run to the end of the file.
inline constexpr uint32_t kWaveDataSizePastEnd = 1u << 2;
// Extensible PCM with fewer valid bits than the container's: coded with the container's bits.
inline constexpr uint32_t kWaveValidBitsBelowContainer = 1u << 3;
// Mono on a single speaker other than front centre.
inline constexpr uint32_t kWaveMonoMaskOffCentre = 1u << 4;

// Writers into a pipe cannot go back to fill in the sizes: they leave the RIFF size as it fell,
// and a data size of 0, 0xFFFFFFFF or about the largest that a signed 32-bit size allows, rounded
// to their sample frames (sox: 0x7FFFF000 less up to a frame); from this value up.
inline constexpr uint32_t kWaveLargePlaceholderFrom = 0x7F000000;
// Of what a stream from a pipe needed to be accepted, what such a writer does not explain; a
// smaller data size that runs past the end tells of a stream cut short.
uint32_t AcceptancesBeyondPipeWriter(uint32_t acceptances, uint32_t declaredDataSize);

// The warnings of the set bits, in the order of the bits, separated by "; "; empty for none.
std::string WaveAcceptanceText(uint32_t acceptances);

class TForeignReaderBase {
 public:
  TForeignReaderBase() = default;
  virtual ~TForeignReaderBase() = default;
  TForeignReaderBase(const TForeignReaderBase&) = delete;
  TForeignReaderBase& operator=(const TForeignReaderBase&) = delete;

  // Reads whole sample frames as stored; frames is shortened to what remains.
  virtual bool ReadSamples(void* buffer, int32_t& frames) = 0;
  virtual int64_t GetTotalSamples() const = 0;
  virtual int64_t GetSamplesRead() const = 0;
  virtual bool SeekSample(int64_t frame) = 0;
  virtual int64_t GetRemainingSamples() const = 0;
  // Checks that the stream can be used; derived readers then parse their header.
  virtual uint8_t Open(TadcIoStream* stream);
  virtual void Close() = 0;

  uint8_t State() const { return state_; }
  const TadcAudioFormat& Format() const { return format_; }

 protected:
  // Only replaces "not open" and "open", so the first error is what the caller sees.
  void SetState(uint8_t state);

  uint8_t state_ = kReaderNotOpen;
  TadcAudioFormat format_;
  TadcIoStream* stream_ = nullptr;
};

// The fields of a format chunk that matter here, extensible ones included.
struct TWaveFormatChunk {
  uint16_t FormatTag = 0;
  uint16_t Channels = 0;
  uint32_t SamplesPerSec = 0;
  uint32_t AvgBytesPerSec = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;
  uint16_t ExtraSize = 0;
  uint16_t ValidBits = 0;
  uint32_t ChannelMask = 0;
  uint8_t SubFormat[16] = {};
};

class TWaveReader : public TForeignReaderBase {
 public:
  bool ReadSamples(void* buffer, int32_t& frames) override;
  int64_t GetTotalSamples() const override { return totalFrames_; }
  int64_t GetSamplesRead() const override { return framesRead_; }
  bool SeekSample(int64_t frame) override;
  int64_t GetRemainingSamples() const override;
  uint8_t Open(TadcIoStream* stream) override;
  // Parses a header alone as the beginning of a file of fileLength bytes, to learn what a reader
  // of the whole file would find; the stream holds the header and perhaps less.
  uint8_t OpenHeader(TadcIoStream* stream, int64_t fileLength);
  void Close() override;

  // What the open file needed to be accepted (kWave... bits); 0 unless open.
  uint32_t Acceptances() const { return state_ == kReaderOpen ? acceptances_ : 0; }
  // The data chunk's size field as the file states it.
  uint32_t DeclaredDataSize() const { return declaredDataSize_; }

  // Everything before the first sample, the data chunk's own 8 bytes included.
  int64_t GetHeaderSize() const { return dataStart_; }
  // Everything after the last whole sample frame: leftover bytes of the data chunk, its pad
  // byte and any later chunks, or the bytes of an incomplete frame where the samples run to the
  // end of the file.
  int64_t GetTrailerSize() const;
  bool ReadHeaderBytes(void* buffer);
  bool ReadTrailerBytes(void* buffer);

 private:
  uint8_t OpenWithLength(int64_t fileLength);
  uint8_t ParseHeader();
  uint8_t ReadRiffHeader();
  uint8_t ReadFormatChunk(uint32_t chunkSize);
  uint32_t SampleDataSize(uint32_t declared, int64_t available);
  bool CopyBytes(int64_t from, int64_t count, void* buffer);

  int64_t fileLength_ = 0;
  uint32_t acceptances_ = 0;
  TWaveFormatChunk formatChunk_;
  uint32_t dataStart_ = 0;
  uint32_t dataSize_ = 0;
  uint32_t declaredDataSize_ = 0;
  int64_t totalFrames_ = 0;
  int64_t framesRead_ = 0;
};

// Whether a header stored from a WAVE file describes this stream: whether the reader would open
// the file restored from it (the header, samples sample frames of format, trailerSize bytes of
// trailer) with the same format and sample count.
bool StoredWaveHeaderFits(const uint8_t* header, int32_t headerSize, int64_t trailerSize,
                          const TadcAudioFormat& format, int64_t samples);

// Writer states.
inline constexpr uint8_t kWriterClosed = 0;
inline constexpr uint8_t kWriterOpen = 1;
inline constexpr uint8_t kWriterFailed = 2;

class TForeignWriterBase {
 public:
  TForeignWriterBase() = default;
  virtual ~TForeignWriterBase() = default;
  TForeignWriterBase(const TForeignWriterBase&) = delete;
  TForeignWriterBase& operator=(const TForeignWriterBase&) = delete;

  virtual bool WriteSamples(const void* buffer, int32_t frames) = 0;
  // Without header bytes the writer generates a header of its own.
  virtual bool Open(const TadcAudioFormat& format, TadcIoStream* stream, int32_t headerSize,
                    const void* headerBytes) = 0;
  // With finish, appends the trailer and completes the header; never closes the stream.
  virtual bool Close(bool finish, const void* trailerBytes, int64_t trailerSize) = 0;

  uint8_t State() const { return state_; }
  const TadcAudioFormat& Format() const { return format_; }

 protected:
  uint8_t state_ = kWriterClosed;
  TadcAudioFormat format_;
  TadcIoStream* stream_ = nullptr;
};

inline constexpr uint8_t kHeaderStored = 0;
inline constexpr uint8_t kHeaderGenerated = 1;

class TWaveWriter : public TForeignWriterBase {
 public:
  bool WriteSamples(const void* buffer, int32_t frames) override;
  bool Open(const TadcAudioFormat& format, TadcIoStream* stream, int32_t headerSize,
            const void* headerBytes) override;
  bool Close(bool finish, const void* trailerBytes, int64_t trailerSize) override;

  uint8_t HeaderMode() const { return headerMode_; }
  int64_t GetSamplesWritten() const { return framesWritten_; }

 private:
  bool WriteGeneratedHeader();

  uint8_t headerMode_ = kHeaderGenerated;
  int32_t blockSize_ = 0;
  int64_t headerStart_ = 0;
  int64_t framesWritten_ = 0;
};

// The canonical 44-byte header for dataSize bytes of samples; false when the sizes would not fit
// the 32-bit fields.
bool BuildWaveHeader(const TadcAudioFormat& format, int64_t dataSize,
                     uint8_t (&header)[kWaveHeaderBytes]);

}  // namespace lym

#include "files/WaveFile.h"

#include <algorithm>
#include <cstring>

#include "foundation/ByteOrder.h"

namespace lym {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kExtensibleChunkBytes = 40;
constexpr uint16_t kExtensibleExtraBytes = 22;
// KSDATAFORMAT_SUBTYPE_PCM as stored: 00000001-0000-0010-8000-00AA00389B71.
constexpr uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint32_t kMonoMask = 0x4;    // front centre
constexpr uint32_t kStereoMask = 0x3;  // front left and right

constexpr uint32_t kMinSampleRateField = 4000;
constexpr uint32_t kMaxSampleRateField = 192000;
constexpr int32_t kChunkHeaderBytes = 8;
constexpr int64_t kRiffHeaderBytes = 12;
constexpr int64_t kMax32 = 0xFFFFFFFF;

// Transfer counts of a stream are 32-bit; trailers and sample blocks may be larger.
constexpr int64_t kTransferPiece = int64_t(1) << 30;

bool ReadAll(TadcIoStream& stream, void* buffer, int64_t count) {
  auto* at = static_cast<uint8_t*>(buffer);
  for (int64_t done = 0; done < count;) {
    const auto piece = int32_t(std::min(count - done, kTransferPiece));
    if (!stream.ReadExact(at + done, piece)) return false;
    done += piece;
  }
  return !stream.HasError();
}

bool WriteAll(TadcIoStream& stream, const void* buffer, int64_t count) {
  const auto* at = static_cast<const uint8_t*>(buffer);
  for (int64_t done = 0; done < count;) {
    const auto piece = int32_t(std::min(count - done, kTransferPiece));
    if (!stream.WriteExact(at + done, piece)) return false;
    done += piece;
  }
  return !stream.HasError();
}

bool IsChunk(const uint8_t* id, const char (&name)[5]) { return std::memcmp(id, name, 4) == 0; }

TWaveFormatChunk UnpackFormatChunk(const uint8_t (&raw)[kExtensibleChunkBytes]) {
  TWaveFormatChunk chunk;
  chunk.FormatTag = uint16_t(LoadLE(raw, 2));
  chunk.Channels = uint16_t(LoadLE(raw + 2, 2));
  chunk.SamplesPerSec = LoadLE32(raw + 4);
  chunk.AvgBytesPerSec = LoadLE32(raw + 8);
  chunk.BlockAlign = uint16_t(LoadLE(raw + 12, 2));
  chunk.BitsPerSample = uint16_t(LoadLE(raw + 14, 2));
  chunk.ExtraSize = uint16_t(LoadLE(raw + 16, 2));
  chunk.ValidBits = uint16_t(LoadLE(raw + 18, 2));
  chunk.ChannelMask = LoadLE32(raw + 20);
  std::memcpy(chunk.SubFormat, raw + 24, sizeof chunk.SubFormat);
  return chunk;
}

// The extensible layout is accepted only where it says nothing that plain PCM could not, since
// the encoder keeps no more than channels, rate and bits (the header itself is stored verbatim).
bool IsPlainPcmLayout(const TWaveFormatChunk& format, uint32_t chunkSize) {
  if (format.FormatTag == kFormatPcm) return true;
  if (format.FormatTag != kFormatExtensible || chunkSize < kExtensibleChunkBytes ||
      format.ExtraSize < kExtensibleExtraBytes) {
    return false;
  }
  const uint32_t plainMask = format.Channels == 1 ? kMonoMask : kStereoMask;
  return std::memcmp(format.SubFormat, kPcmSubFormat, sizeof kPcmSubFormat) == 0 &&
         format.ValidBits == format.BitsPerSample &&
         (format.ChannelMask == 0 || format.ChannelMask == plainMask);
}

bool IsSupportedFormat(const TWaveFormatChunk& format, uint32_t chunkSize) {
  return IsPlainPcmLayout(format, chunkSize) && (format.Channels == 1 || format.Channels == 2) &&
         format.SamplesPerSec >= kMinSampleRateField &&
         format.SamplesPerSec <= kMaxSampleRateField && format.BitsPerSample >= 8 &&
         format.BitsPerSample <= 24 &&
         format.BlockAlign == format.Channels * format.BitsPerSample / 8;
}

}  // namespace

// ---- Reader ----

void TForeignReaderBase::SetState(uint8_t state) {
  if (state_ == kReaderNotOpen || state_ == kReaderOpen) state_ = state;
}

uint8_t TForeignReaderBase::Open(TadcIoStream* stream) {
  state_ = kReaderNotOpen;
  stream_ = stream;
  if (stream == nullptr || stream->HasError() || !stream->CanRead() || !stream->CanSeek()) {
    SetState(kReaderIoError);
  } else if (stream->GetLength() >= kMaxForeignFileBytes) {
    SetState(kReaderTooLargeOrIncomplete);
  } else {
    SetState(kReaderOpen);
  }
  return state_;
}

uint8_t TWaveReader::Open(TadcIoStream* stream) {
  Close();
  if (TForeignReaderBase::Open(stream) != kReaderOpen) return state_;
  SetState(ParseHeader());
  if (state_ == kReaderOpen && !stream_->Seek(kSeekFromStart, dataStart_)) {
    SetState(kReaderIoError);
  }
  if (state_ != kReaderOpen) return state_;
  format_.DataType = 0;
  format_.SampleRate = int32_t(formatChunk_.SamplesPerSec);
  format_.BitsPerSample = formatChunk_.BitsPerSample;
  format_.Channels = formatChunk_.Channels;
  format_.BlockSize = formatChunk_.BlockAlign;
  totalFrames_ = dataSize_ / formatChunk_.BlockAlign;
  framesRead_ = 0;
  return state_;
}

uint8_t TWaveReader::ParseHeader() {
  const int64_t fileLength = stream_->GetLength();
  if (!stream_->Seek(kSeekFromStart, 0)) return kReaderIoError;
  const uint8_t riff = ReadRiffHeader(fileLength);
  if (riff != kReaderOpen) return riff;

  bool formatFound = false;
  int64_t position = kRiffHeaderBytes;
  for (;;) {
    uint8_t header[kChunkHeaderBytes];
    if (!stream_->ReadExact(header, kChunkHeaderBytes)) return kReaderDamaged;
    const uint32_t size = LoadLE32(header + 4);
    position += kChunkHeaderBytes;
    if (IsChunk(header, "data")) {
      if (!formatFound) return kReaderTooLargeOrIncomplete;
      if (position + size > fileLength) return kReaderTooLargeOrIncomplete;
      dataStart_ = uint32_t(position);
      dataSize_ = size;
      return kReaderOpen;
    }
    if (IsChunk(header, "fmt ") && !formatFound) {
      const uint8_t format = ReadFormatChunk(size);
      if (format != kReaderOpen) return format;
      formatFound = true;
    }
    // Chunks of odd size are followed by a pad byte that their size does not count.
    const int64_t next = position + size + (size & 1);
    if (next > fileLength || !stream_->Seek(kSeekFromStart, next)) return kReaderDamaged;
    position = next;
    if (position >= kMaxWaveChunkSearch) return kReaderTooLargeOrIncomplete;
  }
}

uint8_t TWaveReader::ReadRiffHeader(int64_t fileLength) {
  uint8_t header[kRiffHeaderBytes];
  if (fileLength < kChunkHeaderBytes) return kReaderNotWave;
  if (!stream_->ReadExact(header, kChunkHeaderBytes)) return kReaderIoError;
  if (!IsChunk(header, "RIFF")) return kReaderNotWave;
  if (LoadLE32(header + 4) != fileLength - kChunkHeaderBytes) return kReaderDamaged;
  // Too short for the form type: not a short read of a WAVE file but no WAVE file at all.
  if (fileLength < kRiffHeaderBytes) return kReaderNotWave;
  if (!stream_->ReadExact(header + 8, 4)) return kReaderIoError;
  return IsChunk(header + 8, "WAVE") ? kReaderOpen : kReaderNotWave;
}

uint8_t TWaveReader::ReadFormatChunk(uint32_t chunkSize) {
  uint8_t raw[kExtensibleChunkBytes] = {};
  const auto count = int32_t(std::min(chunkSize, kExtensibleChunkBytes));
  if (!stream_->ReadExact(raw, count)) return kReaderDamaged;
  formatChunk_ = UnpackFormatChunk(raw);
  return IsSupportedFormat(formatChunk_, chunkSize) ? kReaderOpen : kReaderUnsupportedFormat;
}

bool TWaveReader::ReadSamples(void* buffer, int32_t& frames) {
  if (state_ != kReaderOpen) return false;
  frames = int32_t(std::clamp<int64_t>(frames, 0, GetRemainingSamples()));
  if (!ReadAll(*stream_, buffer, int64_t(frames) * format_.BlockSize)) {
    SetState(kReaderIoError);
    return false;
  }
  framesRead_ += frames;
  return true;
}

bool TWaveReader::SeekSample(int64_t frame) {
  if (state_ != kReaderOpen || frame < 0 || frame > totalFrames_) return false;
  if (!stream_->Seek(kSeekFromStart, dataStart_ + frame * format_.BlockSize)) {
    SetState(kReaderIoError);
    return false;
  }
  framesRead_ = frame;
  return true;
}

int64_t TWaveReader::GetRemainingSamples() const {
  return stream_ == nullptr ? 0 : totalFrames_ - framesRead_;
}

int64_t TWaveReader::GetTrailerSize() const {
  if (state_ != kReaderOpen) return 0;
  return stream_->GetLength() - (dataStart_ + totalFrames_ * format_.BlockSize);
}

bool TWaveReader::ReadHeaderBytes(void* buffer) { return CopyBytes(0, GetHeaderSize(), buffer); }

bool TWaveReader::ReadTrailerBytes(void* buffer) {
  return CopyBytes(dataStart_ + totalFrames_ * format_.BlockSize, GetTrailerSize(), buffer);
}

bool TWaveReader::CopyBytes(int64_t from, int64_t count, void* buffer) {
  if (state_ != kReaderOpen) return false;
  if (count == 0) return true;
  const int64_t resume = stream_->GetPosition();
  if (!stream_->Seek(kSeekFromStart, from) || !ReadAll(*stream_, buffer, count) ||
      !stream_->Seek(kSeekFromStart, resume)) {
    SetState(kReaderIoError);
    return false;
  }
  return true;
}

void TWaveReader::Close() {
  stream_ = nullptr;
  state_ = kReaderNotOpen;
  formatChunk_ = {};
  dataStart_ = 0;
  dataSize_ = 0;
  totalFrames_ = 0;
  framesRead_ = 0;
}

// ---- Writer ----

bool BuildWaveHeader(const TadcAudioFormat& format, int64_t dataSize,
                     uint8_t (&header)[kWaveHeaderBytes]) {
  static constexpr uint8_t kTemplate[kWaveHeaderBytes] = {
      'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0,
      1, 0, 0x11, 0x2B, 0, 0, 0x11, 0x2B, 0, 0, 1, 0, 8, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
  const int64_t channels = format.Channels == 1 ? 1 : 2;
  const int64_t blockAlign = channels * format.BitsPerSample / 8;
  const int64_t bytesPerSecond = blockAlign * format.SampleRate;
  const int64_t riffSize = dataSize + kWaveHeaderBytes - kChunkHeaderBytes;
  if (dataSize < 0 || riffSize > kMax32 || format.SampleRate < 0 || format.BitsPerSample < 0 ||
      format.BitsPerSample > 0xFFFF || bytesPerSecond > kMax32) {
    return false;
  }
  std::memcpy(header, kTemplate, sizeof kTemplate);
  StoreLE32(header + 4, uint32_t(riffSize));
  StoreLE(header + 22, uint64_t(channels), 2);
  StoreLE32(header + 24, uint32_t(format.SampleRate));
  StoreLE32(header + 28, uint32_t(bytesPerSecond));
  StoreLE(header + 32, uint64_t(blockAlign), 2);
  StoreLE(header + 34, uint64_t(format.BitsPerSample), 2);
  StoreLE32(header + 40, uint32_t(dataSize));
  return true;
}

bool TWaveWriter::Open(const TadcAudioFormat& format, TadcIoStream* stream, int32_t headerSize,
                       const void* headerBytes) {
  Close(false, nullptr, 0);
  format_ = format;
  blockSize_ = format.BlockSize;
  framesWritten_ = 0;
  headerMode_ = headerBytes != nullptr ? kHeaderStored : kHeaderGenerated;
  uint8_t header[kWaveHeaderBytes] = {};
  // A format that no header can describe is refused now rather than after all the samples.
  const bool usable = stream != nullptr && blockSize_ > 0 && headerSize >= 0 &&
                      (headerMode_ == kHeaderStored || BuildWaveHeader(format, 0, header));
  if (!usable) {
    state_ = kWriterFailed;
    return false;
  }
  headerStart_ = stream->GetPosition();
  // The generated header is written last, over this placeholder, once the data size is known.
  static constexpr uint8_t kPlaceholder[kWaveHeaderBytes] = {};
  const bool written = headerMode_ == kHeaderStored
                           ? WriteAll(*stream, headerBytes, headerSize)
                           : WriteAll(*stream, kPlaceholder, kWaveHeaderBytes);
  if (!written) {
    state_ = kWriterFailed;
    return false;
  }
  stream_ = stream;
  state_ = kWriterOpen;
  return true;
}

bool TWaveWriter::WriteSamples(const void* buffer, int32_t frames) {
  if (state_ != kWriterOpen || frames < 0) return false;
  if (!WriteAll(*stream_, buffer, int64_t(frames) * blockSize_)) {
    state_ = kWriterFailed;
    return false;
  }
  framesWritten_ += frames;
  return true;
}

bool TWaveWriter::Close(bool finish, const void* trailerBytes, int64_t trailerSize) {
  if (stream_ == nullptr) return false;
  bool finished = state_ != kWriterFailed;
  if (state_ == kWriterOpen && finish) {
    if (trailerBytes != nullptr && trailerSize > 0) {
      finished = WriteAll(*stream_, trailerBytes, trailerSize);
    }
    if (finished && headerMode_ == kHeaderGenerated) finished = WriteGeneratedHeader();
  }
  finished = finished && !stream_->HasError();
  stream_ = nullptr;
  state_ = kWriterClosed;
  return finished;
}

bool TWaveWriter::WriteGeneratedHeader() {
  uint8_t header[kWaveHeaderBytes];
  if (!BuildWaveHeader(format_, framesWritten_ * blockSize_, header)) return false;
  // Leave the stream at the end, where a caller would continue.
  const int64_t end = stream_->GetPosition();
  return stream_->Seek(kSeekFromStart, headerStart_) &&
         stream_->WriteExact(header, kWaveHeaderBytes) && stream_->Seek(kSeekFromStart, end);
}

}  // namespace lym

#include "files/WaveFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <vector>

#include "io/MemoryStream.h"
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

// Samples whose valid bits are fewer than the container's are coded with all of the container's
// bits, so that the padding comes back as it was.
bool AcceptValidBits(const TWaveFormatChunk& format, uint32_t& acceptances) {
  if (format.ValidBits == format.BitsPerSample) return true;
  if (format.ValidBits == 0 || format.ValidBits > format.BitsPerSample) return false;
  acceptances |= kWaveValidBitsBelowContainer;
  return true;
}

// One channel may sit on any single speaker. Two channels must be front left and right: a stereo
// stream is coded as such, and a mask that says otherwise would not come back without the header.
bool AcceptChannelMask(const TWaveFormatChunk& format, uint32_t& acceptances) {
  const uint32_t mask = format.ChannelMask;
  if (mask == 0 || mask == (format.Channels == 1 ? kMonoMask : kStereoMask)) return true;
  if (format.Channels != 1 || std::popcount(mask) != 1) return false;
  acceptances |= kWaveMonoMaskOffCentre;
  return true;
}

// The extensible layout is accepted for PCM samples only. The encoder keeps no more than channels,
// rate and bits (the header itself is stored verbatim), so what the layout says beyond plain PCM
// is accepted with a warning.
bool IsPcmLayout(const TWaveFormatChunk& format, uint32_t chunkSize, uint32_t& acceptances) {
  if (format.FormatTag == kFormatPcm) return true;
  return format.FormatTag == kFormatExtensible && chunkSize >= kExtensibleChunkBytes &&
         format.ExtraSize >= kExtensibleExtraBytes &&
         std::memcmp(format.SubFormat, kPcmSubFormat, sizeof kPcmSubFormat) == 0 &&
         AcceptValidBits(format, acceptances) && AcceptChannelMask(format, acceptances);
}

bool IsSupportedFormat(const TWaveFormatChunk& format, uint32_t chunkSize, uint32_t& acceptances) {
  return IsPcmLayout(format, chunkSize, acceptances) &&
         (format.Channels == 1 || format.Channels == 2) &&
         format.SamplesPerSec >= kMinSampleRateField &&
         format.SamplesPerSec <= kMaxSampleRateField && format.BitsPerSample >= 8 &&
         format.BitsPerSample <= 24 &&
         format.BlockAlign == format.Channels * format.BitsPerSample / 8;
}

bool SameFormat(const TadcAudioFormat& a, const TadcAudioFormat& b) {
  return a.SampleRate == b.SampleRate && a.BitsPerSample == b.BitsPerSample &&
         a.Channels == b.Channels && a.BlockSize == b.BlockSize;
}

}  // namespace

std::string WaveAcceptanceText(uint32_t acceptances) {
  // In the order of the bits.
  static constexpr const char* kTexts[] = {"RIFF size ignored", "Data size unknown",
                                           "Data size past end", "Valid bits below sample size",
                                           "Mono channel mask ignored"};
  std::string text;
  for (size_t bit = 0; bit < std::size(kTexts); ++bit) {
    if ((acceptances >> bit & 1) == 0) continue;
    if (!text.empty()) text += "; ";
    text += kTexts[bit];
  }
  return text;
}

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
  return OpenWithLength(stream_->GetLength());
}

uint8_t TWaveReader::OpenHeader(TadcIoStream* stream, int64_t fileLength) {
  Close();
  if (TForeignReaderBase::Open(stream) != kReaderOpen) return state_;
  // A stream longer than the file it begins cannot hold that file's header.
  if (fileLength < stream_->GetLength()) {
    SetState(kReaderIoError);
  } else if (fileLength >= kMaxForeignFileBytes) {
    SetState(kReaderTooLargeOrIncomplete);
  }
  return state_ == kReaderOpen ? OpenWithLength(fileLength) : state_;
}

uint8_t TWaveReader::OpenWithLength(int64_t fileLength) {
  fileLength_ = fileLength;
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
  if (!stream_->Seek(kSeekFromStart, 0)) return kReaderIoError;
  const uint8_t riff = ReadRiffHeader();
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
      dataStart_ = uint32_t(position);
      declaredDataSize_ = size;
      dataSize_ = SampleDataSize(size, fileLength_ - position);
      return kReaderOpen;
    }
    if (IsChunk(header, "fmt ") && !formatFound) {
      const uint8_t format = ReadFormatChunk(size);
      if (format != kReaderOpen) return format;
      formatFound = true;
    }
    // Chunks of odd size are followed by a pad byte that their size does not count. The stream
    // holds every chunk before the data, also when it holds only a header.
    const int64_t next = position + size + (size & 1);
    if (next > stream_->GetLength() || !stream_->Seek(kSeekFromStart, next)) return kReaderDamaged;
    position = next;
    if (position >= kMaxWaveChunkSearch) return kReaderTooLargeOrIncomplete;
  }
}

uint8_t TWaveReader::ReadRiffHeader() {
  uint8_t header[kRiffHeaderBytes];
  if (fileLength_ < kChunkHeaderBytes) return kReaderNotWave;
  if (!stream_->ReadExact(header, kChunkHeaderBytes)) return kReaderIoError;
  if (!IsChunk(header, "RIFF")) return kReaderNotWave;
  // Tools that cannot rewind their output leave a guess here; the chunks themselves are walked.
  if (LoadLE32(header + 4) != fileLength_ - kChunkHeaderBytes) {
    acceptances_ |= kWaveRiffSizeIgnored;
  }
  // Too short for the form type: not a short read of a WAVE file but no WAVE file at all.
  if (fileLength_ < kRiffHeaderBytes) return kReaderNotWave;
  if (!stream_->ReadExact(header + 8, 4)) return kReaderIoError;
  return IsChunk(header + 8, "WAVE") ? kReaderOpen : kReaderNotWave;
}

uint8_t TWaveReader::ReadFormatChunk(uint32_t chunkSize) {
  uint8_t raw[kExtensibleChunkBytes] = {};
  const auto count = int32_t(std::min(chunkSize, kExtensibleChunkBytes));
  if (!stream_->ReadExact(raw, count)) return kReaderDamaged;
  formatChunk_ = UnpackFormatChunk(raw);
  return IsSupportedFormat(formatChunk_, chunkSize, acceptances_) ? kReaderOpen
                                                                  : kReaderUnsupportedFormat;
}

// The declared size, unless it is a placeholder (0 with bytes after it, or 0xFFFFFFFF) or runs
// past the end of the file, as written by tools that could not rewind their output to fill it in
// (or whose output was cut short): then the samples run to the end of the file.
uint32_t TWaveReader::SampleDataSize(uint32_t declared, int64_t available) {
  const bool placeholder = (declared == 0 && available > 0) || declared == kMax32;
  if (!placeholder && declared <= available) return declared;
  acceptances_ |= placeholder ? kWaveDataSizeUnknown : kWaveDataSizePastEnd;
  return uint32_t(available);
}

uint32_t AcceptancesBeyondPipeWriter(uint32_t acceptances, uint32_t declaredDataSize) {
  uint32_t explained = kWaveRiffSizeIgnored | kWaveDataSizeUnknown;
  if (declaredDataSize >= kWaveLargePlaceholderFrom) explained |= kWaveDataSizePastEnd;
  return acceptances & ~explained;
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
  return fileLength_ - (dataStart_ + totalFrames_ * format_.BlockSize);
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
  fileLength_ = 0;
  acceptances_ = 0;
  formatChunk_ = {};
  dataStart_ = 0;
  dataSize_ = declaredDataSize_ = 0;
  totalFrames_ = 0;
  framesRead_ = 0;
}

bool StoredWaveHeaderFits(const uint8_t* header, int32_t headerSize, int64_t trailerSize,
                          const TadcAudioFormat& format, int64_t samples) {
  // Sizes that no readable file could have; they also keep the length below from overflowing.
  if (header == nullptr || headerSize <= 0 || trailerSize < 0 ||
      trailerSize >= kMaxForeignFileBytes || format.BlockSize <= 0 || samples < 0 ||
      samples > kMaxForeignFileBytes / format.BlockSize) {
    return false;
  }
  const int64_t fileLength = headerSize + samples * format.BlockSize + trailerSize;
  TMemoryMedium medium{std::vector<uint8_t>(header, header + headerSize)};
  TadcInterfaceStream stream;
  if (OpenMemoryStream(stream, medium) != 0) return false;
  TWaveReader reader;
  return reader.OpenHeader(&stream, fileLength) == kReaderOpen &&
         reader.GetHeaderSize() == headerSize && reader.GetTotalSamples() == samples &&
         SameFormat(reader.Format(), format);
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

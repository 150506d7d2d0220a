#include "container/lymStreamReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "container/Crc24.h"
#include "foundation/ByteOrder.h"

namespace lym {
namespace {

constexpr int64_t kMaxMetaPosition = std::numeric_limits<int32_t>::max();
constexpr int32_t kSeekInfoBytes = 4;
constexpr int32_t kSeekChunkBytes = 4096;
// Identifier and stream information payload: where searches start when the metadata fails.
constexpr int64_t kSearchStartOffset = 4 + kStreamInfoPayloadBytes;

// Positions the stream absolutely; refuses targets outside 0..length.
bool SeekTo(TadcIoStream& stream, int64_t position) {
  if (stream.HasError()) return false;
  const int64_t length = stream.GetLength();
  if (position < 0 || position > length) return false;
  return stream.Seek(kSeekFromStart, position);
}

int64_t RemainingIn(const TadcIoStream& stream) {
  return stream.GetLength() - stream.GetPosition();
}

bool SupportedFormat(const TadcStreamInfo& info) {
  const TadcAudioFormat& format = info.Format;
  return info.Codec == 0 && format.DataType == 0 &&
         (format.BitsPerSample == 8 || format.BitsPerSample == 16 ||
          format.BitsPerSample == 24) &&
         format.SampleRate >= 8000 && format.SampleRate <= 96000;
}

}  // namespace

// --- TadcMetaDataReader ---

bool TadcMetaDataReader::ReadMetaData(TadcIoStream& stream, TBitInStream& reader,
                                      int32_t& errorFlags) {
  stream_ = &stream;
  reader_ = &reader;
  startPosition_ = endPosition_ = 0;
  found_ = errors_ = 0;
  info_ = TadcStreamInfo{};
  encoderInfo_ = TadcEncoderInfo{};
  frameLength_ = 0;
  frameCount_ = 0;
  seekTablePosition_ = seekTableSize_ = 0;
  seekTableInfo_ = TadcSeekTableInfo{};
  seekTableValid_ = false;
  waveMetaPosition_ = waveMetaSize_ = 0;

  if (ReadStreamInfo()) {
    endPosition_ = int32_t(stream.GetPosition());
    if (ReadObjects()) {
      endPosition_ = int32_t(stream.GetPosition());
      if (!(found_ & kMetaFoundEncoderInfo) && info_.Codec == 0) {
        encoderInfo_ = DefaultEncoderInfo(info_);
        found_ |= kMetaFoundEncoderInfo;
      }
    }
  }
  stream.ClearError();
  errorFlags = errors_;
  return errors_ == 0;
}

bool TadcMetaDataReader::ReadStreamInfo() {
  const int64_t start = stream_->GetPosition();
  // Every position kept here is 32-bit; a stream placed beyond that is not ours to describe.
  if (stream_->HasError() || start < 0 || start > kMaxMetaPosition - kObjectHeaderBytes -
                                                      kStreamInfoPayloadBytes) {
    errors_ |= kMetaErrorStreamInfo;
    return false;
  }
  startPosition_ = int32_t(start);
  int type = 0;
  int32_t size = 0;
  uint8_t payload[kStreamInfoPayloadBytes];
  if (!ReadObjectHeader(type, size) || type != kObjectStreamInfo ||
      size != kStreamInfoPayloadBytes || RemainingIn(*stream_) < kStreamInfoPayloadBytes ||
      !stream_->ReadExact(payload, kStreamInfoPayloadBytes)) {
    errors_ |= kMetaErrorStreamInfo;
    return false;
  }
  reader_->InitReader(payload, kStreamInfoPayloadBytes);
  if (!ReadStreamInfoObject(*reader_, info_) || info_.FrameSamples < 1) {
    errors_ |= kMetaErrorStreamInfo;
    return false;
  }
  frameLength_ = info_.FrameSamples;
  frameCount_ = lym::FrameCount(info_.SampleCount, frameLength_);
  found_ |= kMetaFoundStreamInfo;
  return true;
}

bool TadcMetaDataReader::ReadObjectHeader(int& type, int32_t& size) {
  if (RemainingIn(*stream_) < kObjectHeaderBytes) return false;
  uint8_t bytes[kObjectHeaderBytes];
  if (!stream_->ReadExact(bytes, kObjectHeaderBytes)) return false;
  UnpackObjectHeader(LoadLE32(bytes), type, size);
  // At least one byte must follow the object.
  return stream_->GetPosition() + size < stream_->GetLength();
}

bool TadcMetaDataReader::ReadObjects() {
  for (;;) {
    int type = 0;
    int32_t size = 0;
    if (!ReadObjectHeader(type, size) || size >= RemainingIn(*stream_)) {
      errors_ |= kMetaErrorDamaged;
      return false;
    }
    const int64_t payload = stream_->GetPosition();
    if (payload + size > kMaxMetaPosition) {
      errors_ |= kMetaErrorDamaged;
      return false;
    }
    bool consumed = false;
    switch (type) {
      case kObjectEnd:
        return true;
      case kObjectStreamInfo:
        errors_ |= kMetaErrorDamaged;
        break;
      case kObjectSeekTable:
        if (found_ & kMetaFoundSeekTable) {
          errors_ |= kMetaErrorDamaged;
        } else {
          found_ |= kMetaFoundSeekTable;
          seekTablePosition_ = int32_t(payload);
          seekTableSize_ = size;
        }
        break;
      case kObjectWaveMeta:
        if (found_ & kMetaFoundWaveMeta) {
          errors_ |= kMetaErrorDamaged;
        } else {
          found_ |= kMetaFoundWaveMeta;
          waveMetaPosition_ = int32_t(payload);
          waveMetaSize_ = size;
        }
        break;
      case kObjectEncoderInfo:
        if (found_ & kMetaFoundEncoderInfo) {
          errors_ |= kMetaErrorDamaged;
        } else {
          uint8_t bytes[kEncoderInfoPayloadBytes];
          if (size != kEncoderInfoPayloadBytes ||
              !stream_->ReadExact(bytes, kEncoderInfoPayloadBytes)) {
            errors_ |= kMetaErrorDamaged;
            return false;
          }
          consumed = true;
          reader_->InitReader(bytes, kEncoderInfoPayloadBytes);
          if (!ReadEncoderInfoObject(*reader_, encoderInfo_)) {
            errors_ |= kMetaErrorDamaged;
            return false;
          }
          found_ |= kMetaFoundEncoderInfo;
        }
        break;
      default:
        found_ |= kMetaFoundUnknown;
        break;
    }
    if (!consumed && !SeekTo(*stream_, payload + size)) return false;
  }
}

template <class F>
bool TadcMetaDataReader::Query(int64_t position, F&& read) {
  if (stream_ == nullptr || (errors_ & kMetaErrorDamaged)) return false;
  if (stream_->HasError() && !stream_->ClearError()) return false;
  const int64_t saved = stream_->GetPosition();
  const bool ok = SeekTo(*stream_, position) && read();
  if (!stream_->ClearError()) return false;
  return SeekTo(*stream_, saved) && ok;
}

bool TadcMetaDataReader::GetEncoderInfo(TadcEncoderInfo& info) const {
  if ((errors_ & kMetaErrorDamaged) || !(found_ & kMetaFoundEncoderInfo)) return false;
  info = encoderInfo_;
  return true;
}

bool TadcMetaDataReader::GetSeekTableInfo(TadcSeekTableInfo& info, int32_t& tableBytes) {
  if (!(found_ & kMetaFoundSeekTable)) return false;
  tableBytes = seekTableSize_ - kSeekInfoBytes;
  if (seekTableSize_ < kSeekInfoBytes) return false;
  return Query(seekTablePosition_, [&] {
    uint8_t word[kSeekInfoBytes];
    return stream_->ReadExact(word, kSeekInfoBytes) && UnpackSeekTableInfo(LoadLE32(word), info);
  });
}

bool TadcMetaDataReader::ReadWaveMetaInfo(TadcWaveMetaInfo& info) {
  if (!(found_ & kMetaFoundWaveMeta) || waveMetaSize_ < kWaveMetaSizesBytes + kCrc24Bytes)
    return false;
  return Query(waveMetaPosition_, [&] {
    uint8_t sizes[kWaveMetaSizesBytes];
    if (!stream_->ReadExact(sizes, kWaveMetaSizesBytes)) return false;
    UnpackWaveMetaInfo(sizes, info);
    return true;
  });
}

bool TadcMetaDataReader::ReadWaveMetaData(void* buffer, int32_t bufferSize) {
  if (!(found_ & kMetaFoundWaveMeta) || waveMetaSize_ < kWaveMetaSizesBytes + kCrc24Bytes)
    return false;
  return Query(waveMetaPosition_, [&] {
    uint8_t sizes[kWaveMetaSizesBytes];
    if (!stream_->ReadExact(sizes, kWaveMetaSizesBytes)) return false;
    TadcWaveMetaInfo info;
    UnpackWaveMetaInfo(sizes, info);
    const int64_t bytes = int64_t(info.HeaderBytes) + info.TrailerBytes;
    if (bytes + kWaveMetaSizesBytes + kCrc24Bytes != waveMetaSize_ || bytes > bufferSize ||
        (bytes > 0 && buffer == nullptr))
      return false;
    uint32_t crc = Crc24(sizes, kWaveMetaSizesBytes);
    if (bytes > 0) {
      if (!stream_->ReadExact(buffer, int32_t(bytes))) return false;
      crc = Crc24Update(buffer, size_t(bytes), crc);
    }
    uint8_t stored[kCrc24Bytes];
    return stream_->ReadExact(stored, kCrc24Bytes) && Crc24Matches(LoadCrc24(stored), crc);
  });
}

bool TadcMetaDataReader::ValidateSeekTable() {
  if (seekTableValid_) return true;
  if (!(found_ & kMetaFoundSeekTable) || seekTableSize_ < kSeekInfoBytes + kCrc24Bytes)
    return false;
  TadcSeekTableInfo info;
  const bool ok = Query(seekTablePosition_, [&] {
    uint8_t chunk[kSeekChunkBytes];
    if (!stream_->ReadExact(chunk, kSeekInfoBytes) || !UnpackSeekTableInfo(LoadLE32(chunk), info))
      return false;
    int64_t entryBytes = int64_t(kSeekEntryBytes) * info.Points;
    if (entryBytes + kSeekInfoBytes + kCrc24Bytes > seekTableSize_) return false;
    uint32_t crc = Crc24(chunk, kSeekInfoBytes);
    while (entryBytes > 0) {
      const auto n = int32_t(std::min<int64_t>(entryBytes, kSeekChunkBytes));
      if (!stream_->ReadExact(chunk, n)) return false;
      crc = Crc24Update(chunk, size_t(n), crc);
      entryBytes -= n;
    }
    return stream_->ReadExact(chunk, kCrc24Bytes) && Crc24Matches(LoadCrc24(chunk), crc);
  });
  if (ok) {
    seekTableInfo_ = info;
    seekTableValid_ = true;
  }
  return ok;
}

bool TadcMetaDataReader::FindSeekPoint(int32_t frame, int32_t& seekFrame, int64_t& offset) {
  if (!ValidateSeekTable() || frame < 0) return false;
  const int32_t interval = seekTableInfo_.Interval;
  const int32_t index = std::min(frame / interval - 1, seekTableInfo_.Points - 1);
  if (index < 0) return false;
  const int64_t point = int64_t(index + 1) * interval;
  // A table that lists frames the stream does not have is not to be trusted.
  if (point >= frameCount_) return false;
  uint8_t entry[kSeekEntryBytes];
  const bool ok = Query(int64_t(seekTablePosition_) + kSeekInfoBytes + int64_t(kSeekEntryBytes) * index,
                        [&] { return stream_->ReadExact(entry, kSeekEntryBytes); });
  if (!ok) return false;
  seekFrame = int32_t(point);
  offset = UnpackSeekEntry(entry);
  return true;
}

// --- TadcFrameSearcher ---

TadcFrameSearcher::TadcFrameSearcher() : buffer_(kFrameSearchBufferBytes) {}

void TadcFrameSearcher::Attach(TadcIoStream& stream, TBitInStream& reader) {
  stream_ = &stream;
  reader_ = &reader;
  index_ = 0;
  available_ = 0;
  windowPosition_ = stream.GetPosition();
}

void TadcFrameSearcher::PositionAt(int64_t position) {
  if (position >= windowPosition_ && position < windowPosition_ + available_) {
    Drop(int32_t(position - windowPosition_));
  } else {
    index_ = 0;
    available_ = 0;
    windowPosition_ = position;
  }
}

void TadcFrameSearcher::Drop(int32_t count) {
  index_ += count;
  available_ -= count;
  windowPosition_ += count;
}

bool TadcFrameSearcher::Fill(int64_t limit) {
  const int64_t toRead = std::min<int64_t>(limit - windowPosition_ + 1 - available_,
                                           kFrameSearchBufferBytes - available_);
  if (toRead <= 0) return true;
  auto* bytes = buffer_.As<uint8_t>();
  if (index_ > 0) {
    std::memmove(bytes, bytes + index_, size_t(available_));
    index_ = 0;
  }
  const int64_t next = windowPosition_ + available_;
  if (stream_->GetPosition() != next && !SeekTo(*stream_, next)) return false;
  if (!stream_->ReadExact(bytes + available_, int32_t(toRead))) return false;
  available_ += int32_t(toRead);
  return true;
}

bool TadcFrameSearcher::FindSync(int64_t limit, bool& found) {
  found = false;
  if (available_ < 2 && !Fill(limit)) return false;
  while (available_ >= 2) {
    const uint8_t* bytes = buffer_.As<uint8_t>() + index_;
    for (int32_t i = 0; i + 1 < available_; ++i) {
      if (bytes[i] == 0xFF && bytes[i + 1] == 0xA0) {
        Drop(i);
        found = true;
        return true;
      }
    }
    Drop(available_ - 1);
    if (!Fill(limit)) return false;
    if (available_ < 2) break;  // nothing more came
  }
  return true;
}

bool TadcFrameSearcher::FindFrame(bool needInfo, bool needLast, TadcFrameHeader& header,
                                  int64_t& position, int64_t limit, int64_t start) {
  if (stream_ == nullptr || start < 0 || start > limit) return false;
  PositionAt(start);
  for (;;) {
    bool found = false;
    if (!FindSync(limit, found) || !found) return false;
    if (available_ < kMinInfoFrameHeaderBytes) {
      if (!Fill(limit) || available_ < kMinInfoFrameHeaderBytes) return false;
    }
    reader_->InitReader(buffer_.As<uint8_t>() + index_, available_);
    if (ReadFrameHeader(*reader_, header) && (!needInfo || header.HasInfo) &&
        (!needLast || header.IsLast)) {
      position = windowPosition_;
      return true;
    }
    Drop(1);
  }
}

// --- TAdcReader ---

TAdcReader::TAdcReader()
    : reader_(std::make_unique<TBitInStream>()),
      meta_(std::make_unique<TadcMetaDataReader>()),
      tag_(std::make_unique<TlymAPEv2Tag>()) {}

TAdcReader::~TAdcReader() = default;

void TAdcReader::Close() {
  stream_ = nullptr;
  tag_->Clear();
  tagRead_ = false;
  status_ = kStreamNotOpen;
}

bool TAdcReader::Fail(int32_t status) {
  status_ = status;
  return false;
}

bool TAdcReader::QueryResult(bool ok) {
  if (!ok && stream_->IsClosed()) status_ = kStreamIoError;
  return ok;
}

int64_t TAdcReader::RelativePosition() const {
  return stream_ == nullptr ? 0 : stream_->GetPosition() - startPosition_;
}

int64_t TAdcReader::Remaining() const {
  return stream_ == nullptr ? 0 : RemainingIn(*stream_);
}

bool TAdcReader::ReadHeaderAt(int64_t position, TadcFrameHeader& header) {
  if (!SeekTo(*stream_, position)) return false;
  const int64_t n = std::min<int64_t>(kMaxFrameHeaderBytes, RemainingIn(*stream_));
  if (n < kPlainFrameHeaderBytes) return false;
  uint8_t bytes[kMaxFrameHeaderBytes];
  if (!stream_->ReadExact(bytes, int32_t(n))) {
    stream_->ClearError();
    return false;
  }
  reader_->InitReader(bytes, int32_t(n));
  return ReadFrameHeader(*reader_, header);
}

bool TAdcReader::SearchFrame(bool needInfo, int64_t from, TadcFrameHeader& header,
                             int64_t& position) {
  const int64_t limit = std::min(from + kFrameSearchWindow - 1, stream_->GetLength() - 1);
  if (from > limit || !SeekTo(*stream_, from)) {
    stream_->ClearError();
    return false;
  }
  TadcFrameSearcher searcher;
  searcher.Attach(*stream_, *reader_);
  if (searcher.FindFrame(needInfo, false, header, position, limit, from)) return true;
  stream_->ClearError();
  return false;
}

bool TAdcReader::Open(TadcIoStream& stream) {
  Close();
  stream_ = &stream;
  damage_ = 0;
  bytesRead_ = 0;
  frameCount_ = 0;
  info_ = TadcStreamInfo{};
  if (stream.IsClosed()) return Fail(kStreamIoError);
  startPosition_ = stream.GetPosition();
  firstFramePosition_ = startPosition_;
  if (RemainingIn(stream) < kMinStreamBytes) return Fail(kStreamUndecodable);

  uint8_t identifier[4];
  if (!stream.ReadExact(identifier, 4)) return Fail(kStreamIoError);
  if (std::memcmp(identifier, kStreamIdentifier, 4) != 0) damage_ |= kDamageIdentifier;

  int32_t errorFlags = 0;
  bool infoKnown = false;
  bool firstFrameValid = false;
  TadcFrameHeader header;
  if (meta_->ReadMetaData(stream, *reader_, errorFlags)) {
    infoKnown = true;
    firstFramePosition_ = meta_->EndPosition();
    firstFrameValid =
        ReadHeaderAt(firstFramePosition_, header) && header.HasInfo && header.FrameNumber == 0;
    if (stream.IsClosed()) return Fail(kStreamIoError);
  } else {
    if (stream.IsClosed()) return Fail(kStreamIoError);
    infoKnown = (meta_->FoundFlags() & kMetaFoundStreamInfo) != 0;
    firstFramePosition_ = startPosition_ + kSearchStartOffset;
    damage_ |= kDamageMetaData;
  }

  if (infoKnown) {
    info_ = meta_->StreamInfo();
    frameCount_ = meta_->FrameCount();
  } else {
    damage_ |= kDamageStreamInfo;
    int64_t position = 0;
    if (!SearchFrame(true, firstFramePosition_, header, position))
      return Fail(stream.IsClosed() ? kStreamIoError : kStreamUndecodable);
    info_ = header.Info;
    frameCount_ = lym::FrameCount(info_.SampleCount, info_.FrameSamples);
  }
  if (frameCount_ < 1) return Fail(kStreamUndecodable);

  if (!firstFrameValid) {
    int64_t position = 0;
    if (!SearchFrame(false, startPosition_ + kSearchStartOffset, header, position))
      return Fail(stream.IsClosed() ? kStreamIoError : kStreamUndecodable);
    firstFramePosition_ = position;
    if (header.FrameNumber != 0) damage_ |= kDamageFirstFrame;
  }

  if (!SupportedFormat(info_)) return Fail(kStreamUnsupported);
  if (!SeekTo(stream, firstFramePosition_)) return Fail(kStreamIoError);
  status_ = kStreamOpen;
  bytesRead_ = 0;
  return true;
}

bool TAdcReader::ReadData(void* buffer, int32_t& count) {
  if (status_ != kStreamOpen) {
    count = 0;
    return false;
  }
  count = int32_t(std::clamp<int64_t>(RemainingIn(*stream_), 0, std::max(count, 0)));
  if (count > 0 && !stream_->ReadExact(buffer, count)) {
    count = 0;
    return Fail(kStreamIoError);
  }
  bytesRead_ += count;
  return true;
}

bool TAdcReader::SeekRelative(int64_t offset) {
  if (status_ != kStreamOpen) return false;
  // Positions outside the stream are refused without touching it.
  if (offset < 0 || offset > stream_->GetLength() - startPosition_) return false;
  if (!SeekTo(*stream_, startPosition_ + offset)) return Fail(kStreamIoError);
  return true;
}

TlymAPEv2Tag* TAdcReader::GetApeTag() {
  if (status_ != kStreamOpen) return nullptr;
  if (!tagRead_) {
    tagRead_ = true;
    TlymAPEv2TagReader tagReader;
    if (tagReader.ReadTag(*stream_, *tag_) == kAPEv2ReadError) status_ = kStreamIoError;
  }
  return tag_.get();
}

bool TAdcReader::GetEncoderInfo(TadcEncoderInfo& info) {
  return status_ == kStreamOpen && meta_->GetEncoderInfo(info);
}

bool TAdcReader::GetSeekTableInfo(TadcSeekTableInfo& info, int32_t& tableBytes) {
  return status_ == kStreamOpen && QueryResult(meta_->GetSeekTableInfo(info, tableBytes));
}

bool TAdcReader::ReadWaveMetaInfo(TadcWaveMetaInfo& info) {
  return status_ == kStreamOpen && QueryResult(meta_->ReadWaveMetaInfo(info));
}

bool TAdcReader::ReadWaveMetaData(void* buffer, int32_t bufferSize) {
  return status_ == kStreamOpen && QueryResult(meta_->ReadWaveMetaData(buffer, bufferSize));
}

bool TAdcReader::ValidateSeekTable() {
  return status_ == kStreamOpen && QueryResult(meta_->ValidateSeekTable());
}

bool TAdcReader::FindSeekPoint(int32_t frame, int32_t& seekFrame, int64_t& position) {
  if (status_ != kStreamOpen || frame < 0 || !ValidateSeekTable()) return false;
  const int64_t firstOffset = firstFramePosition_ - startPosition_;
  if (frame < meta_->SeekTable().Interval) {
    seekFrame = 0;
    position = firstOffset;
    return true;
  }
  int64_t offset = 0;
  int32_t point = 0;
  if (!QueryResult(meta_->FindSeekPoint(frame, point, offset))) return false;
  // An entry pointing outside the stream is damage, not a place to seek to.
  if (offset > stream_->GetLength() - firstFramePosition_) return false;
  seekFrame = point;
  position = firstOffset + offset;
  return true;
}

}  // namespace lym

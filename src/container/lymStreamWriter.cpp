#include "container/lymStreamWriter.h"

#include <algorithm>
#include <cstring>

#include "container/Crc24.h"
#include "foundation/ByteOrder.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int32_t kSeekInfoBytes = 4;
constexpr int32_t kSeekTableOverheadBytes = kSeekInfoBytes + kCrc24Bytes;
constexpr int32_t kWaveMetaOverheadBytes = kWaveMetaSizesBytes + kCrc24Bytes;

}  // namespace

// --- TadcSeekTableWriter ---

TadcSeekTableWriter::TadcSeekTableWriter() : buffer_(new uint8_t[kSeekEntryBufferBytes]) {}

TadcSeekTableWriter::~TadcSeekTableWriter() = default;

bool TadcSeekTableWriter::Open(TadcIoStream& stream, int32_t points, int32_t interval,
                               int64_t position) {
  if (points < 1 || points > kMaxSeekPoints || interval < kMinSeekInterval ||
      interval > kMaxSeekInterval || position < 0)
    return false;
  stream_ = &stream;
  points_ = points;
  added_ = 0;
  interval_ = interval;
  tableBytes_ = kSeekEntryBytes * points;
  entriesBuffered_ = 0;
  bytesBuffered_ = 0;
  headerPosition_ = position;
  firstEntryPosition_ = position + kObjectHeaderBytes + kSeekInfoBytes;
  entryPosition_ = firstEntryPosition_;
  crc_ = kCrc24Init;
  return true;
}

bool TadcSeekTableWriter::WritePlaceholder() {
  if (stream_ == nullptr) return false;
  uint8_t head[kObjectHeaderBytes + kSeekInfoBytes];
  StoreLE32(head, PackObjectHeader(kObjectSeekTable, tableBytes_ + kSeekTableOverheadBytes));
  StoreLE32(head + kObjectHeaderBytes, PackSeekTableInfo(points_, interval_));
  crc_ = Crc24(head + kObjectHeaderBytes, kSeekInfoBytes);
  if (!stream_->WriteExact(head, sizeof head)) return false;
  std::memset(buffer_.get(), 0, kSeekEntryBufferBytes);
  int32_t zeros = tableBytes_ + kCrc24Bytes;
  while (zeros > 0) {
    const int32_t piece = std::min(zeros, kSeekEntryBufferBytes);
    if (!stream_->WriteExact(buffer_.get(), piece)) return false;
    zeros -= piece;
  }
  return true;
}

bool TadcSeekTableWriter::AddSeekPoint(int64_t offset) {
  LYM_ASSERT(added_ < points_, "Too many seek points");
  if (offset < 0 || offset > kMaxSeekOffset) return false;
  PackSeekEntry(offset, buffer_.get() + bytesBuffered_);
  bytesBuffered_ += kSeekEntryBytes;
  ++entriesBuffered_;
  ++added_;
  if (entriesBuffered_ == kSeekEntriesPerFlush) return Flush();
  return true;
}

bool TadcSeekTableWriter::Flush() {
  if (entriesBuffered_ == 0) return true;
  if (stream_ == nullptr) return false;
  const int64_t back = stream_->GetPosition();
  if (back < 0 || !stream_->Seek(kSeekFromStart, entryPosition_) ||
      !stream_->WriteExact(buffer_.get(), bytesBuffered_))
    return false;
  crc_ = Crc24Update(buffer_.get(), size_t(bytesBuffered_), crc_);
  entryPosition_ += bytesBuffered_;
  entriesBuffered_ = 0;
  bytesBuffered_ = 0;
  return stream_->Seek(kSeekFromStart, back);
}

bool TadcSeekTableWriter::FinishSeekTable(bool abandon) {
  if (abandon) return true;
  if (stream_ == nullptr || added_ != points_ || !Flush()) return false;
  uint8_t crc[kCrc24Bytes];
  StoreCrc24(crc, crc_);
  const int64_t back = stream_->GetPosition();
  return back >= 0 && stream_->Seek(kSeekFromStart, entryPosition_) &&
         stream_->WriteExact(crc, kCrc24Bytes) && stream_->Seek(kSeekFromStart, back);
}

// --- TAdcWriter ---

TAdcWriter::TAdcWriter()
    : bits_(std::make_unique<TBitOutStream>()),
      seekTable_(std::make_unique<TadcSeekTableWriter>()) {}

TAdcWriter::~TAdcWriter() = default;

bool TAdcWriter::Fail() {
  if (status_ == kStreamWriterOpen) status_ = kStreamWriterFailed;
  return false;
}

bool TAdcWriter::Put(const void* data, int32_t count) {
  return stream_->WriteExact(data, count);
}

bool TAdcWriter::WriteObjectHeader(int type, int32_t size) {
  uint8_t head[kObjectHeaderBytes];
  StoreLE32(head, PackObjectHeader(type, size));
  return Put(head, kObjectHeaderBytes);
}

bool TAdcWriter::WriteStreamInfo() {
  TadcStreamInfo info = info_;
  info.SampleCount = samplesWritten_;
  bits_->InitWriter(scratch_, sizeof scratch_);
  if (!WriteStreamInfoObject(*bits_, info)) return false;
  const int32_t size = bits_->Finish();
  LYM_ASSERT(size == kStreamInfoPayloadBytes, "Stream information size");
  return WriteObjectHeader(kObjectStreamInfo, size) && Put(scratch_, size);
}

bool TAdcWriter::WriteEndObject() {
  if (!WriteObjectHeader(kObjectEnd, 0)) return false;
  metaDataEnd_ = stream_->GetPosition();
  return metaDataEnd_ >= 0;
}

bool TAdcWriter::Open(const TadcStreamInfo& info, int32_t frameLength, int32_t seekInterval,
                      TadcIoStream& stream, int64_t totalFrames) {
  Close(false);
  info_ = info;
  header_ = TadcFrameHeader();
  header_.Info = info;
  header_.HasOptional1 = false;
  header_.HasOptional2 = false;

  // Everything is checked before the first byte is written.
  bits_->InitWriter(scratch_, sizeof scratch_);
  if (!WriteStreamInfoBits(*bits_, info)) return false;
  int32_t code = info.FrameSizeCode;
  int32_t derivedLength = 0;
  if (!CalcFrameSamples(info.Format.SampleRate, code, derivedLength) ||
      frameLength != derivedLength)
    return false;
  if (totalFrames < 0 || totalFrames > kMaxStreamFrames || seekInterval < 0) return false;
  const int32_t points = SeekPointCount(totalFrames, seekInterval);
  const bool enabled = seekInterval > 0 && points > 0;
  if (enabled && (seekInterval < kMinSeekInterval || seekInterval > kMaxSeekInterval))
    return false;

  stream_ = &stream;
  status_ = kStreamWriterFailed;  // until the whole head is written
  seekInterval_ = seekInterval;
  frameLength_ = frameLength;
  totalFrames_ = totalFrames;
  seekTableEnabled_ = enabled;
  bytesWritten_ = 0;
  framesWritten_ = 0;
  samplesWritten_ = 0;

  startPosition_ = stream.GetPosition();
  if (startPosition_ < 0 || !Put(kStreamIdentifier, sizeof kStreamIdentifier)) return false;
  streamInfoPosition_ = stream.GetPosition();
  if (!WriteStreamInfo()) return false;
  if (enabled) {
    if (!seekTable_->Open(stream, points, seekInterval, stream.GetPosition()) ||
        !seekTable_->WritePlaceholder())
      return false;
  }
  metaDataEnd_ = stream.GetPosition();
  if (metaDataEnd_ < 0) return false;
  infoFrameInterval_ = std::max(1, 2 * info.Format.SampleRate / frameLength);
  nextInfoFrame_ = 0;
  nextSeekPoint_ = seekInterval;
  status_ = kStreamWriterOpen;
  return true;
}

bool TAdcWriter::WriteEncoderInfo(const TadcEncoderInfo& info) {
  if (status_ != kStreamWriterOpen || framesWritten_ > 0) return false;
  if (info.EncoderVersion < 0 || info.EncoderVersion > 0xFFFFFF || info.Preset < 0 ||
      info.Preset >= 16 || info.Evaluation < 0 || info.Evaluation >= 4)
    return false;
  bits_->InitWriter(scratch_, sizeof scratch_);
  WriteEncoderInfoObject(*bits_, info);
  const int32_t size = bits_->Finish();
  LYM_ASSERT(size == kEncoderInfoPayloadBytes, "Encoder information size");
  if (!stream_->Seek(kSeekFromStart, metaDataEnd_) ||
      !WriteObjectHeader(kObjectEncoderInfo, size) || !Put(scratch_, size))
    return Fail();
  metaDataEnd_ = stream_->GetPosition();
  return metaDataEnd_ >= 0 || Fail();
}

bool TAdcWriter::WriteWaveMetaData(const TadcWaveMetaInfo& info, const void* bytes) {
  if (status_ != kStreamWriterOpen || framesWritten_ > 0) return false;
  if (info.HeaderBytes < 0 || info.TrailerBytes < 0 ||
      int64_t(info.HeaderBytes) + info.TrailerBytes > kMaxWaveMetaBytes)
    return false;
  const int32_t count = info.HeaderBytes + info.TrailerBytes;
  if (count > 0 && bytes == nullptr) return false;
  uint8_t sizes[kWaveMetaSizesBytes];
  PackWaveMetaInfo(info, sizes);
  uint32_t crc = Crc24(sizes, sizeof sizes);
  if (count > 0) crc = Crc24Update(bytes, size_t(count), crc);
  uint8_t crcBytes[kCrc24Bytes];
  StoreCrc24(crcBytes, crc);
  if (!stream_->Seek(kSeekFromStart, metaDataEnd_) ||
      !WriteObjectHeader(kObjectWaveMeta, count + kWaveMetaOverheadBytes) ||
      !Put(sizes, sizeof sizes) || (count > 0 && !Put(bytes, count)) ||
      !Put(crcBytes, kCrc24Bytes))
    return Fail();
  metaDataEnd_ = stream_->GetPosition();
  return metaDataEnd_ >= 0 || Fail();
}

bool TAdcWriter::WriteFrame(const void* payload, int32_t payloadSize, bool isLast,
                            int32_t sampleCount) {
  LYM_ASSERT(framesWritten_ < totalFrames_ || status_ != kStreamWriterOpen,
             "More frames than announced");
  if (status_ != kStreamWriterOpen) return false;
  const int32_t number = framesWritten_;
  // A frame that does not fit the announced layout would leave a stream no reader can follow.
  if (isLast != (number == totalFrames_ - 1) || sampleCount < 1 || sampleCount > frameLength_ ||
      (!isLast && sampleCount != frameLength_) ||
      samplesWritten_ + sampleCount > kMaxSampleCount || payloadSize < 0 ||
      (payloadSize > 0 && payload == nullptr))
    return Fail();

  if (number == 0 && (!stream_->Seek(kSeekFromStart, metaDataEnd_) || !WriteEndObject()))
    return Fail();

  const int64_t framePosition = stream_->GetPosition();
  if (framePosition < 0) return Fail();
  header_.IsLast = isLast;
  header_.HasInfo = number == nextInfoFrame_ || number == 0 || isLast;
  header_.FrameNumber = number;
  header_.LastFrameSamples = sampleCount;
  bits_->InitWriter(scratch_, sizeof scratch_);
  WriteFrameHeader(header_, *bits_);
  const int32_t headerSize = bits_->Finish();
  if (!Put(scratch_, headerSize)) return Fail();
  if (header_.HasInfo) nextInfoFrame_ = number + infoFrameInterval_;

  uint8_t crc[kCrc24Bytes];
  StoreCrc24(crc, payloadSize > 0 ? Crc24(payload, size_t(payloadSize)) : kCrc24Init);
  if ((payloadSize > 0 && !Put(payload, payloadSize)) || !Put(crc, kCrc24Bytes)) return Fail();
  bytesWritten_ += int64_t(headerSize) + payloadSize + kCrc24Bytes;
  samplesWritten_ += sampleCount;

  if (seekTableEnabled_) {
    if (number == nextSeekPoint_) {
      if (!seekTable_->AddSeekPoint(framePosition - metaDataEnd_)) return Fail();
      nextSeekPoint_ += seekInterval_;
    }
    if (isLast && !seekTable_->FinishSeekTable(false)) return Fail();
  }
  ++framesWritten_;
  return true;
}

bool TAdcWriter::Close(bool update) {
  if (stream_ == nullptr) return false;
  bool ok = status_ == kStreamWriterOpen;
  if (ok && update) {
    // Only a complete stream may be finished: a missing last frame or seek table CRC is damage.
    ok = framesWritten_ == totalFrames_;
    if (ok && totalFrames_ == 0)
      ok = stream_->Seek(kSeekFromStart, metaDataEnd_) && WriteEndObject();
    const int64_t end = stream_->GetPosition();
    ok = ok && end >= 0 && stream_->Seek(kSeekFromStart, streamInfoPosition_) &&
         WriteStreamInfo() && stream_->Seek(kSeekFromStart, end) && stream_->Flush();
  }
  status_ = kStreamWriterClosed;
  stream_ = nullptr;
  return ok;
}

}  // namespace lym

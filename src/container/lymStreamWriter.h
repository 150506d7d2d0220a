// Writing a compressed stream onto a seekable I/O stream: the identifier and the stream
// information at open, a seek table whose room is reserved at open and filled while frames are
// written, the encoder information and WAVE metadata objects, the end object, then the frames with
// their headers and checksums. At the end the stream information is rewritten with the final
// sample count. The total number of frames must be known at open, because it sizes the seek table.
//
// The writer never reports success for a stream that a reader would find broken: every I/O
// failure, every request that does not fit the format (more frames than a frame number can count,
// seek offsets beyond 40 bits, sample counts beyond 31 bits, frames that disagree with the
// announced layout) makes the call return false and marks the writer failed.
#pragma once

#include <cstdint>
#include <memory>

#include "codec/BitStream.h"
#include "container/lymStream.h"
#include "io/lymFileIo.h"

namespace lym {

// Frame numbers have 21 bits: frames 0 .. 2097151.
inline constexpr int64_t kMaxStreamFrames = int64_t(kMaxFrameNumber) + 1;
// Seek entries hold 40-bit offsets from the first frame.
inline constexpr int64_t kMaxSeekOffset = (int64_t(1) << 40) - 1;
// Seek entries collected before they are written: 819 entries, 4095 bytes.
inline constexpr int32_t kSeekEntryBufferBytes = 4096;
inline constexpr int32_t kSeekEntriesPerFlush = kSeekEntryBufferBytes / kSeekEntryBytes;

// TAdcWriter::Status().
inline constexpr uint8_t kStreamWriterOpen = 0;
inline constexpr uint8_t kStreamWriterFailed = 1;
inline constexpr uint8_t kStreamWriterClosed = 2;

// Fills the seek table object: a placeholder of the full size at open, then the entries in
// batches, and the CRC-24 once every entry is there.
class TadcSeekTableWriter {
 public:
  TadcSeekTableWriter();
  ~TadcSeekTableWriter();
  TadcSeekTableWriter(const TadcSeekTableWriter&) = delete;
  TadcSeekTableWriter& operator=(const TadcSeekTableWriter&) = delete;

  // Remembers where the object goes (position of its object header); nothing is written. False
  // for a point count or interval the format cannot store (points 1..2097151, interval 2..1024).
  bool Open(TadcIoStream& stream, int32_t points, int32_t interval, int64_t position);
  // Writes the object header, the info word and zeros for the entries and the CRC at the
  // stream's current position, which must be the position given to Open.
  bool WritePlaceholder();
  // Adds the next entry: the offset of the seek point's frame from the first frame. More points
  // than announced are an assertion failure; an offset outside 0..2^40-1 fails.
  bool AddSeekPoint(int64_t offset);
  // Writes the buffered entries into their place and returns to the stream's position.
  bool Flush();
  // With abandon nothing is written (true). Otherwise the remaining entries and the CRC-24 are
  // written; fails unless every announced point was added.
  bool FinishSeekTable(bool abandon);

  int32_t Points() const { return points_; }
  int32_t PointsAdded() const { return added_; }
  int32_t Interval() const { return interval_; }
  int32_t TableBytes() const { return tableBytes_; }

 private:
  TadcIoStream* stream_ = nullptr;
  int32_t points_ = 0;
  int32_t added_ = 0;
  int32_t interval_ = 0;
  int32_t tableBytes_ = 0;
  std::unique_ptr<uint8_t[]> buffer_;
  int32_t entriesBuffered_ = 0;
  int32_t bytesBuffered_ = 0;
  int64_t headerPosition_ = 0;
  int64_t firstEntryPosition_ = 0;
  int64_t entryPosition_ = 0;
  uint32_t crc_ = 0;
};

class TAdcWriter {
 public:
  TAdcWriter();
  ~TAdcWriter();
  TAdcWriter(const TAdcWriter&) = delete;
  TAdcWriter& operator=(const TAdcWriter&) = delete;

  // Starts a stream at the I/O stream's current position. Closes an earlier stream first
  // (without updating it). frameLength must be the length that the stream information's frame
  // size code gives; totalFrames is 0 .. 2097152. The seek table holds
  // (totalFrames - 1) div seekInterval points and is left out when that is 0 or seekInterval is 0;
  // a table needs an interval of 2..1024. Invalid arguments fail before anything is written and
  // leave the writer closed; a write failure leaves it failed.
  bool Open(const TadcStreamInfo& info, int32_t frameLength, int32_t seekInterval,
            TadcIoStream& stream, int64_t totalFrames);
  // Both must come before the first frame.
  bool WriteEncoderInfo(const TadcEncoderInfo& info);
  // bytes holds info.HeaderBytes header bytes followed by info.TrailerBytes trailer bytes.
  bool WriteWaveMetaData(const TadcWaveMetaInfo& info, const void* bytes);
  // Writes the next frame. Every frame but the last holds exactly frameLength samples, the last
  // 1..frameLength, and isLast must be set exactly on frame totalFrames - 1. Writing more frames
  // than announced is an assertion failure.
  bool WriteFrame(const void* payload, int32_t payloadSize, bool isLast, int32_t sampleCount);
  // Ends the stream and forgets the I/O stream (which stays open). With update, the stream
  // information is rewritten with the final sample count, the I/O stream is flushed and left at
  // the end of the written stream; this fails unless all announced frames were written. Without
  // update nothing is written (true while the writer was not failed). False without a stream.
  bool Close(bool update);

  uint8_t Status() const { return status_; }
  int64_t BytesWritten() const { return bytesWritten_; }
  int32_t FramesWritten() const { return framesWritten_; }
  int64_t SamplesWritten() const { return samplesWritten_; }
  int64_t StartPosition() const { return startPosition_; }
  // The first frame's position once the end object has been written.
  int64_t MetaDataEndPosition() const { return metaDataEnd_; }
  bool SeekTableEnabled() const { return seekTableEnabled_; }
  int32_t InfoFrameInterval() const { return infoFrameInterval_; }

 private:
  bool Fail();
  bool Put(const void* data, int32_t count);
  bool WriteObjectHeader(int type, int32_t size);
  bool WriteStreamInfo();
  bool WriteEndObject();

  std::unique_ptr<TBitOutStream> bits_;
  uint8_t status_ = kStreamWriterClosed;
  TadcIoStream* stream_ = nullptr;
  int32_t seekInterval_ = 0;
  TadcStreamInfo info_;
  int32_t frameLength_ = 0;
  int64_t totalFrames_ = 0;
  bool seekTableEnabled_ = false;
  std::unique_ptr<TadcSeekTableWriter> seekTable_;
  int64_t startPosition_ = 0;
  int64_t streamInfoPosition_ = 0;
  int64_t metaDataEnd_ = 0;
  int64_t bytesWritten_ = 0;
  int32_t framesWritten_ = 0;
  TadcFrameHeader header_;
  uint8_t scratch_[kMaxFrameHeaderBytes + 5] = {};
  int64_t samplesWritten_ = 0;
  int32_t infoFrameInterval_ = 0;
  int32_t nextInfoFrame_ = 0;
  int32_t nextSeekPoint_ = 0;
};

}  // namespace lym

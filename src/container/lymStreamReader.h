// Reading a compressed stream: the metadata objects, the search for frame headers in raw bytes,
// and the reader that combines them into a described, positioned source of frame bytes.
//
// The reader opens streams whose identifier, metadata or first frames are destroyed: whatever it
// cannot take from the metadata it recovers from the nearest frame that repeats the stream
// information, and it reports what it had to recover through its damage flags. No input makes it
// read outside the stream or position the stream outside 0..length; stored positions and sizes
// that do not fit the quantities kept here are treated as damage.
#pragma once

#include <cstdint>
#include <memory>

#include "codec/BitStream.h"
#include "container/lymStream.h"
#include "container/APEv2Tag.h"
#include "io/lymFileIo.h"
#include "foundation/zqAlignedMem.h"

namespace lym {

// Found flags of TadcMetaDataReader.
inline constexpr int32_t kMetaFoundStreamInfo = 1;
inline constexpr int32_t kMetaFoundSeekTable = 2;
inline constexpr int32_t kMetaFoundWaveMeta = 4;
inline constexpr int32_t kMetaFoundEncoderInfo = 8;  // read, or defaulted
inline constexpr int32_t kMetaFoundUnknown = 16;     // at least one unknown object skipped

// Error flags of TadcMetaDataReader.
inline constexpr int32_t kMetaErrorStreamInfo = 1;  // stream information missing or invalid
inline constexpr int32_t kMetaErrorDamaged = 4;     // later metadata damaged

// TAdcReader::Status().
inline constexpr int32_t kStreamOpen = 0;
inline constexpr int32_t kStreamIoError = 1;
inline constexpr int32_t kStreamUnsupported = 2;
inline constexpr int32_t kStreamUndecodable = 3;
inline constexpr int32_t kStreamNotOpen = 4;

// TAdcReader::DamageFlags().
inline constexpr int32_t kDamageIdentifier = 1;
inline constexpr int32_t kDamageStreamInfo = 2;  // stream information taken from a frame header
inline constexpr int32_t kDamageMetaData = 4;
inline constexpr int32_t kDamageFirstFrame = 8;  // the first frame found is not frame 0

// Frame search covers positions from .. from + kFrameSearchWindow - 1.
inline constexpr int64_t kFrameSearchWindow = 0x500000;
inline constexpr int32_t kFrameSearchBufferBytes = 4096;

class TadcMetaDataReader {
 public:
  // Parses the metadata objects from the stream's current position (right after the identifier).
  // True when every object read cleanly up to the end object; errorFlags receives the error flags.
  // Leaves no I/O error recorded in the stream unless it is closed.
  bool ReadMetaData(TadcIoStream& stream, TBitInStream& reader, int32_t& errorFlags);

  // The queries below keep the stream's position; they fail on damaged metadata (error flag 4),
  // when the object was not seen, and when the stream cannot be repositioned afterwards.
  bool GetEncoderInfo(TadcEncoderInfo& info) const;
  // tableBytes = payload size - 4 whenever a seek table was seen.
  bool GetSeekTableInfo(TadcSeekTableInfo& info, int32_t& tableBytes);
  bool ReadWaveMetaInfo(TadcWaveMetaInfo& info);
  // Reads header and trailer bytes into buffer (bufferSize bytes) and checks their CRC-24.
  bool ReadWaveMetaData(void* buffer, int32_t bufferSize);
  // Reads the whole seek table and checks its CRC-24; a success is remembered.
  bool ValidateSeekTable();
  // The last seek point at or before frame: its frame number and its offset from the first frame.
  // Fails for frames before the first seek point and for entries outside the stream's frames.
  bool FindSeekPoint(int32_t frame, int32_t& seekFrame, int64_t& offset);

  // The seek table's description once ValidateSeekTable has succeeded.
  const TadcSeekTableInfo& SeekTable() const { return seekTableInfo_; }
  int32_t FoundFlags() const { return found_; }
  int32_t ErrorFlags() const { return errors_; }
  const TadcStreamInfo& StreamInfo() const { return info_; }
  int64_t FrameCount() const { return frameCount_; }
  int32_t StartPosition() const { return startPosition_; }
  int32_t EndPosition() const { return endPosition_; }

 private:
  bool ReadStreamInfo();
  bool ReadObjects();
  bool ReadObjectHeader(int& type, int32_t& size);
  // Runs read at position with the stream's position saved and restored around it.
  template <class F>
  bool Query(int64_t position, F&& read);

  TadcIoStream* stream_ = nullptr;
  TBitInStream* reader_ = nullptr;
  int32_t startPosition_ = 0;
  int32_t endPosition_ = 0;
  int32_t found_ = 0;
  int32_t errors_ = 0;
  TadcStreamInfo info_;
  TadcEncoderInfo encoderInfo_;
  int32_t frameLength_ = 0;
  int64_t frameCount_ = 0;
  int32_t seekTablePosition_ = 0;
  int32_t seekTableSize_ = 0;
  TadcSeekTableInfo seekTableInfo_;
  bool seekTableValid_ = false;
  int32_t waveMetaPosition_ = 0;
  int32_t waveMetaSize_ = 0;
};

// A sliding window over the stream in which frame headers are searched.
class TadcFrameSearcher {
 public:
  TadcFrameSearcher();
  void Attach(TadcIoStream& stream, TBitInStream& reader);
  // Finds the first valid frame header at or after start whose sync lies at or before limit - 18
  // (the header must fit in positions up to limit); with needInfo it must carry the stream
  // information, with needLast it must be the last frame. position receives the sync's position.
  // The stream must stand at start when the window is empty; limit must be below its length.
  bool FindFrame(bool needInfo, bool needLast, TadcFrameHeader& header, int64_t& position,
                 int64_t limit, int64_t start);

 private:
  void PositionAt(int64_t position);
  void Drop(int32_t count);
  bool Fill(int64_t limit);
  bool FindSync(int64_t limit, bool& found);

  TAlignedMem buffer_;
  TadcIoStream* stream_ = nullptr;
  TBitInStream* reader_ = nullptr;
  int32_t index_ = 0;
  int64_t windowPosition_ = 0;
  int32_t available_ = 0;
};

class TAdcReader {
 public:
  TAdcReader();
  ~TAdcReader();
  TAdcReader(const TAdcReader&) = delete;
  TAdcReader& operator=(const TAdcReader&) = delete;

  // Opens the stream from its current position; true when Status() is 0 afterwards. The stream
  // is not owned and must stay open until Close.
  bool Open(TadcIoStream& stream);
  void Close();

  // Reads up to count bytes, fewer at the end of the stream; count receives the number read.
  bool ReadData(void* buffer, int32_t& count);
  // Positions the stream at offset from the start position (0 .. length - start).
  bool SeekRelative(int64_t offset);
  // The APEv2 tag at the end of the stream, read on the first request; null while not open.
  TlymAPEv2Tag* GetApeTag();

  bool GetEncoderInfo(TadcEncoderInfo& info);
  bool GetSeekTableInfo(TadcSeekTableInfo& info, int32_t& tableBytes);
  bool ReadWaveMetaInfo(TadcWaveMetaInfo& info);
  bool ReadWaveMetaData(void* buffer, int32_t bufferSize);
  bool ValidateSeekTable();
  // The last seek point at or before frame, with its position relative to the start position
  // (ready for SeekRelative); frames before the first seek point answer frame 0.
  bool FindSeekPoint(int32_t frame, int32_t& seekFrame, int64_t& position);

  int32_t Status() const { return status_; }
  int32_t DamageFlags() const { return damage_; }
  const TadcStreamInfo& StreamInfo() const { return info_; }
  int64_t FrameCount() const { return frameCount_; }
  int64_t StartPosition() const { return startPosition_; }
  int64_t FirstFramePosition() const { return firstFramePosition_; }
  // Bytes delivered by ReadData since Open.
  int64_t BytesRead() const { return bytesRead_; }
  int64_t RelativePosition() const;
  int64_t Remaining() const;
  const TadcMetaDataReader& MetaData() const { return *meta_; }

 private:
  bool Fail(int32_t status);
  // Status 1 when the stream was closed by a failed query.
  bool QueryResult(bool ok);
  bool SearchFrame(bool needInfo, int64_t from, TadcFrameHeader& header, int64_t& position);
  bool ReadHeaderAt(int64_t position, TadcFrameHeader& header);

  int32_t status_ = kStreamNotOpen;
  int32_t damage_ = 0;
  TadcIoStream* stream_ = nullptr;
  std::unique_ptr<TBitInStream> reader_;
  std::unique_ptr<TadcMetaDataReader> meta_;
  TadcStreamInfo info_;
  int64_t startPosition_ = 0;
  int64_t firstFramePosition_ = 0;
  int64_t bytesRead_ = 0;
  int64_t frameCount_ = 0;
  std::unique_ptr<TlymAPEv2Tag> tag_;
  bool tagRead_ = false;
};

}  // namespace lym

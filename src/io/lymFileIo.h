// The stream family through which the container layer and the file formats read and write: an
// abstract stream, a block-buffering stream, and two media (a file, and callbacks of a caller).
//
// I/O failures never raise: each is kept as a one-byte code in the stream, every later operation
// refuses to work while a code is recorded, and callers test the Boolean results or ErrorCode().
// The lowest non-zero code wins, so an error never turns a closed stream into an open one.
// Positions and lengths are signed 64-bit byte counts; transfer counts are signed 32-bit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/zqAlignedMem.h"
#include "platform/PlatformFile.h"

namespace lym {

// Values of ErrorCode().
inline constexpr uint8_t kIoNoError = 0;
inline constexpr uint8_t kIoClosed = 1;  // after construction and after Close
inline constexpr uint8_t kIoNotOpen = 2;  // set by nobody here; treated like kIoClosed
inline constexpr uint8_t kIoReadError = 3;
inline constexpr uint8_t kIoWriteError = 4;
inline constexpr uint8_t kIoSeekError = 5;  // positioning or length

// Origins of Seek; any other value means "stay where you are".
inline constexpr uint8_t kSeekFromStart = 0;
inline constexpr uint8_t kSeekFromCurrent = 1;
inline constexpr uint8_t kSeekFromEnd = 2;

class TadcIoStream {
 public:
  TadcIoStream() = default;
  virtual ~TadcIoStream();
  TadcIoStream(const TadcIoStream&) = delete;
  TadcIoStream& operator=(const TadcIoStream&) = delete;

  virtual bool CanRead() const;
  virtual bool CanWrite() const;
  virtual bool CanSeek() const;
  virtual int64_t GetPosition() const;
  virtual void SetLength(int64_t newLength);
  virtual int64_t GetLength() const;
  virtual bool Seek(uint8_t origin, int64_t offset);
  virtual bool ReadSome(void* buffer, int32_t count, int32_t& actual);
  virtual bool Write(const void* buffer, int32_t count, int32_t& actual);
  virtual bool Flush();
  // Returns the error code as it stood when closing began.
  virtual uint8_t Close(bool flush);

  uint8_t ErrorCode() const { return errorCode_; }
  // Keeps the lowest non-zero code, so a closed stream stays closed.
  void SetError(uint8_t code);
  bool HasError() const { return errorCode_ != kIoNoError; }
  bool IsClosed() const { return errorCode_ == kIoClosed || errorCode_ == kIoNotOpen; }
  // For readers after a probe that may fail (frame search, trailing tag). False on a closed stream.
  bool ClearError();

  // A short transfer is an error here (3 or 4); true when no error is recorded.
  bool ReadExact(void* buffer, int32_t count);
  bool WriteExact(const void* buffer, int32_t count);

 protected:
  // For media that open and close themselves.
  void SetErrorCodeDirectly(uint8_t code) { errorCode_ = code; }

 private:
  uint8_t errorCode_ = kIoClosed;
};

// Values of BufferMode().
inline constexpr uint8_t kBufferOff = 0;
inline constexpr uint8_t kBufferIdle = 1;
inline constexpr uint8_t kBufferReading = 2;  // holds read data
inline constexpr uint8_t kBufferWriting = 3;  // holds data not yet written

// Buffers transfers in one block and aligns physical transfers to 512-byte boundaries of the
// medium, except for transfers that end at the end of the medium. Media override the raw
// operations; the raw operations record their own failures.
class TadcBufferedIoStream : public TadcIoStream {
 public:
  static constexpr int32_t kBlockSize = 512;
  static constexpr int64_t kBlockMask = kBlockSize - 1;
  static constexpr int32_t kMaxBufferSize = 32768;

  ~TadcBufferedIoStream() override;

  int64_t GetPosition() const override;
  void SetLength(int64_t newLength) override;
  int64_t GetLength() const override;
  bool Seek(uint8_t origin, int64_t offset) override;
  bool ReadSome(void* buffer, int32_t count, int32_t& actual) override;
  bool Write(const void* buffer, int32_t count, int32_t& actual) override;
  bool Flush() override;
  uint8_t Close(bool flush) override;

  bool NoErrorCheck() const { return !HasError(); }
  uint8_t BufferMode() const { return bufferMode_; }
  // 0 when unbuffered, else a power of two from 512 to 32768.
  int32_t BufferSize() const { return bufferSize_; }

 protected:
  virtual bool RawGetLength(int64_t& length);
  virtual bool RawSeek(int64_t& newPosition, int64_t target);
  virtual bool RawRead(void* buffer, int32_t count, int32_t& actual);
  virtual bool RawWrite(const void* buffer, int32_t count, int32_t& actual);

  // Called by the opens once the medium is ready: reads the medium's length and allocates the
  // buffer (a request of 0 or less means unbuffered). False when the length cannot be read.
  bool SetUpBuffer(int32_t requestedSize);

 private:
  bool PhysicalRead(void* buffer, int32_t count, int32_t& actual);
  bool PhysicalWrite(const void* buffer, int32_t count);
  bool PhysicalSeek(int64_t target);
  void DropReadBuffer();
  void FlushWriteBuffer();
  int32_t ReadUnaligned(uint8_t* buffer, int32_t count);
  int32_t WriteUnaligned(const uint8_t* buffer, int32_t count);

  std::unique_ptr<TAlignedMem> bufferOwner_;
  uint8_t* buffer_ = nullptr;
  int32_t bufferSize_ = 0;
  uint8_t bufferMode_ = kBufferOff;
  int64_t bufferIndex_ = 0;  // reading: next byte to deliver; writing: bytes waiting
  int64_t bufferFill_ = 0;   // reading: valid bytes; writing: capacity
  int64_t physicalPosition_ = 0;
  int64_t knownLength_ = 0;  // read at open, raised by every physical write beyond it
};

// Values of the access mode of TadcFileStream.
inline constexpr uint8_t kAccessRead = 0;
inline constexpr uint8_t kAccessWrite = 1;
inline constexpr uint8_t kAccessReadWrite = 2;

// Share modes: what other openers of the same file may do meanwhile (Windows only).
inline constexpr int32_t kShareNone = 0;
inline constexpr int32_t kShareRead = 1;
inline constexpr int32_t kShareWrite = 2;
inline constexpr int32_t kShareReadWrite = 3;
// Added to a share mode: the file may be deleted while it is open, as an interruption does with
// temporary and scratch files.
inline constexpr int32_t kShareDelete = 4;

class TadcFileStream : public TadcBufferedIoStream {
 public:
  TadcFileStream() = default;
  ~TadcFileStream() override;

  // Both return 0 on success and 1 on failure. The name is UTF-8.
  uint8_t OpenFile(const std::string& name, uint8_t accessMode, int32_t bufferSize,
                   int32_t shareMode);
  uint8_t CreateNewFile(const std::string& name, uint8_t accessMode, int32_t bufferSize,
                        int32_t shareMode);
  // Takes over a file the caller opened (a temporary output); on failure the handle is closed.
  uint8_t OpenHandle(platform::FileHandle handle, const std::string& name, uint8_t accessMode,
                     int32_t bufferSize);

  bool CanRead() const override;
  bool CanWrite() const override;
  bool CanSeek() const override;
  // Truncates or extends the file; a failure of the OS raises EzqException
  // "<file name>: <OS error text>".
  void SetLength(int64_t newLength) override;
  uint8_t Close(bool flush) override;

  const std::string& Name() const { return name_; }
  uint8_t AccessMode() const { return accessMode_; }

 protected:
  bool RawGetLength(int64_t& length) override;
  bool RawSeek(int64_t& newPosition, int64_t target) override;
  bool RawRead(void* buffer, int32_t count, int32_t& actual) override;
  bool RawWrite(const void* buffer, int32_t count, int32_t& actual) override;

 private:
  uint8_t Open(const std::string& name, uint8_t accessMode, int32_t bufferSize, int32_t shareMode,
               bool create);

  std::string name_;
  platform::FileHandle handle_ = platform::kInvalidFileHandle;
  uint8_t accessMode_ = kAccessRead;
};

// Callbacks through which a caller lets the encoder use any medium. Every entry gets the caller's
// UserData first and returns non-zero for success or true. Missing (null) entries count as
// "false" or as failure.
struct TadcStreamCallbacks {
  int32_t (*CanRead)(void* userData);
  int32_t (*CanWrite)(void* userData);
  int32_t (*CanSeek)(void* userData);
  int32_t (*Read)(void* userData, void* buffer, int32_t count, int32_t* bytesRead);
  // Success means that all bytes were taken.
  int32_t (*Write)(void* userData, const void* buffer, int32_t count);
  int32_t (*Flush)(void* userData);
  // Keeps the record's layout for callers built against it; never called.
  int32_t (*Reserved)(void* userData);
  int32_t (*Seek)(void* userData, int64_t position);
  int32_t (*GetLength)(void* userData, int64_t* length);
};

class TadcInterfaceStream : public TadcBufferedIoStream {
 public:
  TadcInterfaceStream() = default;
  ~TadcInterfaceStream() override;

  // Returns 0 on success and 1 on failure. Asks the callbacks once whether the medium can read,
  // write and seek.
  uint8_t OpenInterface(const TadcStreamCallbacks& callbacks, void* userData, int32_t bufferSize);

  bool CanRead() const override { return canRead_; }
  bool CanWrite() const override { return canWrite_; }
  bool CanSeek() const override { return canSeek_; }
  // Also flushes the medium when it can write.
  bool Flush() override;
  uint8_t Close(bool flush) override;

  const std::string& Name() const { return name_; }

 protected:
  bool RawGetLength(int64_t& length) override;
  bool RawSeek(int64_t& newPosition, int64_t target) override;
  bool RawRead(void* buffer, int32_t count, int32_t& actual) override;
  bool RawWrite(const void* buffer, int32_t count, int32_t& actual) override;

 private:
  TadcStreamCallbacks callbacks_{};
  void* userData_ = nullptr;
  std::string name_;
  bool canRead_ = false;
  bool canWrite_ = false;
  bool canSeek_ = false;
};

}  // namespace lym

#include "io/lymFileIo.h"

#include <algorithm>
#include <cstring>

#include "foundation/zqExceptions.h"

namespace lym {

// ---------------------------------------------------------------------------------------------
// TadcIoStream

TadcIoStream::~TadcIoStream() = default;

bool TadcIoStream::CanRead() const { return false; }
bool TadcIoStream::CanWrite() const { return false; }
bool TadcIoStream::CanSeek() const { return false; }

int64_t TadcIoStream::GetPosition() const {
  LYM_ASSERT(false, "Abstract call TadcIoStream.GetPosition");
  return -1;
}

void TadcIoStream::SetLength(int64_t /*newLength*/) {
  LYM_ASSERT(false, "Abstract call TadcIoStream.SetLength");
}

int64_t TadcIoStream::GetLength() const {
  LYM_ASSERT(false, "Abstract call TadcIoStream.GetLength");
  return -1;
}

bool TadcIoStream::Seek(uint8_t /*origin*/, int64_t /*offset*/) {
  LYM_ASSERT(false, "Abstract call TadcIoStream.Seek");
  return false;
}

bool TadcIoStream::ReadSome(void* /*buffer*/, int32_t /*count*/, int32_t& actual) {
  actual = 0;
  LYM_ASSERT(false, "Abstract call TadcIoStream.ReadSome");
  return false;
}

bool TadcIoStream::Write(const void* /*buffer*/, int32_t /*count*/, int32_t& actual) {
  actual = 0;
  LYM_ASSERT(false, "Abstract call TadcIoStream.Write");
  return false;
}

bool TadcIoStream::Flush() { return !HasError(); }

uint8_t TadcIoStream::Close(bool flush) {
  if (!HasError() && flush && CanWrite()) Flush();
  return errorCode_;
}

void TadcIoStream::SetError(uint8_t code) {
  if (errorCode_ == kIoNoError || errorCode_ > code) errorCode_ = code;
}

bool TadcIoStream::ClearError() {
  if (IsClosed()) return false;
  errorCode_ = kIoNoError;
  return true;
}

bool TadcIoStream::ReadExact(void* buffer, int32_t count) {
  if (count <= 0) return !HasError();
  int32_t actual = 0;
  if (ReadSome(buffer, count, actual) && actual < count) SetError(kIoReadError);
  return !HasError();
}

bool TadcIoStream::WriteExact(const void* buffer, int32_t count) {
  if (count <= 0) return !HasError();
  int32_t actual = 0;
  if (Write(buffer, count, actual) && actual < count) SetError(kIoWriteError);
  return !HasError();
}

// ---------------------------------------------------------------------------------------------
// TadcBufferedIoStream

TadcBufferedIoStream::~TadcBufferedIoStream() = default;

bool TadcBufferedIoStream::RawGetLength(int64_t& /*length*/) {
  SetError(kIoSeekError);
  return false;
}

bool TadcBufferedIoStream::RawSeek(int64_t& /*newPosition*/, int64_t /*target*/) {
  SetError(kIoSeekError);
  return false;
}

bool TadcBufferedIoStream::RawRead(void* /*buffer*/, int32_t /*count*/, int32_t& actual) {
  actual = 0;
  SetError(kIoReadError);
  return false;
}

bool TadcBufferedIoStream::RawWrite(const void* /*buffer*/, int32_t /*count*/, int32_t& actual) {
  actual = 0;
  SetError(kIoWriteError);
  return false;
}

bool TadcBufferedIoStream::SetUpBuffer(int32_t requestedSize) {
  int64_t length = 0;
  if (!RawGetLength(length)) return false;
  knownLength_ = length;
  physicalPosition_ = 0;
  bufferIndex_ = 0;
  bufferFill_ = 0;
  bufferOwner_.reset();
  buffer_ = nullptr;
  bufferSize_ = 0;
  bufferMode_ = kBufferOff;
  if (requestedSize <= 0) return true;
  int32_t size = kBlockSize;
  while (size < requestedSize && size < kMaxBufferSize) size *= 2;
  bufferOwner_ = std::make_unique<TAlignedMem>(static_cast<size_t>(size), 64);
  buffer_ = bufferOwner_->As<uint8_t>();
  bufferSize_ = size;
  bufferMode_ = kBufferIdle;
  return true;
}

// The physical steps keep the physical position and the known length in step with the medium
// and turn short transfers into errors; the raw operations report only outright failures.

bool TadcBufferedIoStream::PhysicalRead(void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  RawRead(buffer, count, actual);
  physicalPosition_ += actual;
  if (actual < count) SetError(kIoReadError);
  return !HasError();
}

bool TadcBufferedIoStream::PhysicalWrite(const void* buffer, int32_t count) {
  int32_t actual = 0;
  RawWrite(buffer, count, actual);
  physicalPosition_ += actual;
  knownLength_ = std::max(knownLength_, physicalPosition_);
  if (actual < count) SetError(kIoWriteError);
  return !HasError();
}

bool TadcBufferedIoStream::PhysicalSeek(int64_t target) {
  int64_t newPosition = physicalPosition_;
  if (RawSeek(newPosition, target)) physicalPosition_ = newPosition;
  if (physicalPosition_ != target) SetError(kIoSeekError);
  return !HasError();
}

void TadcBufferedIoStream::DropReadBuffer() {
  bufferMode_ = kBufferIdle;
  if (bufferIndex_ != bufferFill_) PhysicalSeek(physicalPosition_ - (bufferFill_ - bufferIndex_));
}

void TadcBufferedIoStream::FlushWriteBuffer() {
  bufferMode_ = kBufferIdle;
  const int64_t waiting = bufferIndex_;
  bufferIndex_ = 0;
  if (waiting != 0) PhysicalWrite(buffer_, static_cast<int32_t>(waiting));
}

int64_t TadcBufferedIoStream::GetPosition() const {
  if (bufferMode_ == kBufferReading) return physicalPosition_ - (bufferFill_ - bufferIndex_);
  if (bufferMode_ == kBufferWriting) return physicalPosition_ + bufferIndex_;
  return physicalPosition_;
}

int64_t TadcBufferedIoStream::GetLength() const {
  if (bufferMode_ == kBufferWriting) return std::max(physicalPosition_ + bufferIndex_, knownLength_);
  return knownLength_;
}

bool TadcBufferedIoStream::Seek(uint8_t origin, int64_t offset) {
  if (HasError()) return false;
  const int64_t position = GetPosition();
  const int64_t length = GetLength();
  int64_t base = position;
  if (origin == kSeekFromStart) base = 0;
  if (origin == kSeekFromEnd) base = length;
  if (origin > kSeekFromEnd) offset = 0;
  // Compared before adding, so that no offset can overflow.
  LYM_ASSERT(offset >= -base && offset <= length - base, "TadcBufferedIoStream.Seek");
  const int64_t target = base + offset;
  if (target == position) return true;

  if (bufferMode_ == kBufferReading) {
    const int64_t inWindow = target - (physicalPosition_ - bufferFill_);
    if (inWindow >= 0 && inWindow < bufferFill_) {
      bufferIndex_ = inWindow;
      return true;
    }
    DropReadBuffer();
  } else if (bufferMode_ == kBufferWriting) {
    FlushWriteBuffer();
  }
  if (!HasError()) PhysicalSeek(target);
  return !HasError();
}

bool TadcBufferedIoStream::ReadSome(void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  if (HasError()) return false;
  if (count <= 0) return true;
  auto* out = static_cast<uint8_t*>(buffer);
  if (bufferMode_ == kBufferOff) {
    // Passed through unchanged: a short read here is the caller's business (ReadExact).
    RawRead(out, count, actual);
    physicalPosition_ += actual;
    return !HasError();
  }

  if (bufferMode_ == kBufferWriting) FlushWriteBuffer();
  int32_t done = 0;
  if (bufferMode_ == kBufferReading) {
    const int32_t held = static_cast<int32_t>(std::min<int64_t>(bufferFill_ - bufferIndex_, count));
    std::memcpy(out, buffer_ + bufferIndex_, static_cast<size_t>(held));
    bufferIndex_ += held;
    if (held == count) {
      actual = count;
      return true;
    }
    done = held;
    count -= held;
    DropReadBuffer();
  }
  // Never ask the medium for bytes beyond its end: reading at the end is not an error.
  const int64_t left = knownLength_ - physicalPosition_;
  count = static_cast<int32_t>(std::clamp<int64_t>(left, 0, count));
  if (count > 0 && !HasError()) done += ReadUnaligned(out + done, count);
  actual = done;
  return !HasError();
}

// Reads count bytes that lie within the known length so that the medium's transfers end on
// block boundaries: the aligned part straight into the caller's memory, the rest through the
// buffer. Returns the bytes delivered.
int32_t TadcBufferedIoStream::ReadUnaligned(uint8_t* out, int32_t count) {
  const int64_t end = physicalPosition_ + count;
  int32_t direct = 0;
  if (end == knownLength_ || (end & kBlockMask) == 0) {
    PhysicalRead(out, count, direct);
    return direct;
  }
  // A request inside one block (tail >= count) is served from the buffer entirely.
  const auto tail = static_cast<int32_t>(end & kBlockMask);
  if (tail < count && !PhysicalRead(out, count - tail, direct)) return direct;

  const int32_t wanted = count - direct;
  const auto toFill =
      static_cast<int32_t>(std::min<int64_t>(bufferSize_, knownLength_ - physicalPosition_));
  int32_t filled = 0;
  PhysicalRead(buffer_, toFill, filled);
  const int32_t delivered = std::min(wanted, filled);
  std::memcpy(out + direct, buffer_, static_cast<size_t>(delivered));
  bufferIndex_ = delivered;
  bufferFill_ = filled;
  bufferMode_ = kBufferReading;
  return direct + delivered;
}

bool TadcBufferedIoStream::Write(const void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  if (HasError()) return false;
  if (count <= 0) return true;
  const auto* in = static_cast<const uint8_t*>(buffer);
  if (bufferMode_ == kBufferOff) {
    RawWrite(in, count, actual);
    physicalPosition_ += actual;
    knownLength_ = std::max(knownLength_, physicalPosition_);
    return !HasError();
  }

  if (bufferMode_ == kBufferReading) DropReadBuffer();
  int32_t done = 0;
  if (bufferMode_ == kBufferWriting) {
    const auto space = static_cast<int32_t>(std::min<int64_t>(bufferFill_ - bufferIndex_, count));
    std::memcpy(buffer_ + bufferIndex_, in, static_cast<size_t>(space));
    bufferIndex_ += space;
    if (space == count) {
      actual = count;
      return true;
    }
    done = space;
    count -= space;
    FlushWriteBuffer();
  }
  if (!HasError()) done += WriteUnaligned(in + done, count);
  actual = done;
  return !HasError();
}

// The mirror image of ReadUnaligned: what ends on a block boundary goes to the medium at once,
// the tail waits in the buffer. Returns the bytes taken.
int32_t TadcBufferedIoStream::WriteUnaligned(const uint8_t* in, int32_t count) {
  const int64_t before = physicalPosition_;
  const auto tail = static_cast<int32_t>((physicalPosition_ + count) & kBlockMask);
  if (tail == 0) {
    PhysicalWrite(in, count);
    return static_cast<int32_t>(physicalPosition_ - before);
  }
  const int32_t direct = std::max(count - tail, 0);
  if (direct > 0 && !PhysicalWrite(in, direct)) {
    return static_cast<int32_t>(physicalPosition_ - before);
  }
  std::memcpy(buffer_, in + direct, static_cast<size_t>(count - direct));
  bufferIndex_ = count - direct;
  bufferFill_ = bufferSize_;
  bufferMode_ = kBufferWriting;
  return count;
}

void TadcBufferedIoStream::SetLength(int64_t newLength) {
  LYM_ASSERT(newLength >= 0, "TadcBufferedIoStream.SetLength");
  if (HasError() || GetLength() == newLength) return;
  if (bufferMode_ == kBufferReading) DropReadBuffer();
  if (bufferMode_ == kBufferWriting) FlushWriteBuffer();
  if (HasError() || !PhysicalSeek(newLength)) return;
  knownLength_ = newLength;
}

bool TadcBufferedIoStream::Flush() {
  if (!HasError() && bufferMode_ == kBufferWriting) FlushWriteBuffer();
  return !HasError();
}

uint8_t TadcBufferedIoStream::Close(bool flush) {
  const uint8_t code = TadcIoStream::Close(flush);
  bufferOwner_.reset();
  buffer_ = nullptr;
  bufferSize_ = 0;
  bufferMode_ = kBufferOff;
  bufferIndex_ = 0;
  bufferFill_ = 0;
  return code;
}

// ---------------------------------------------------------------------------------------------
// TadcFileStream

TadcFileStream::~TadcFileStream() { Close(false); }

uint8_t TadcFileStream::OpenFile(const std::string& name, uint8_t accessMode, int32_t bufferSize,
                                 int32_t shareMode) {
  return Open(name, accessMode, bufferSize, shareMode, false);
}

uint8_t TadcFileStream::CreateNewFile(const std::string& name, uint8_t accessMode,
                                      int32_t bufferSize, int32_t shareMode) {
  return Open(name, accessMode, bufferSize, shareMode, true);
}

uint8_t TadcFileStream::Open(const std::string& name, uint8_t accessMode, int32_t bufferSize,
                             int32_t shareMode, bool create) {
  Close(false);
  name_ = name;
  accessMode_ = accessMode;
  if (accessMode > kAccessReadWrite) return kIoClosed;
  static constexpr platform::FileAccess kAccess[] = {
      platform::FileAccess::Read, platform::FileAccess::Write, platform::FileAccess::ReadWrite};
  static_assert(kShareRead == platform::kFileShareRead && kShareWrite == platform::kFileShareWrite &&
                kShareDelete == platform::kFileShareDelete);
  const int32_t share = shareMode & (kShareReadWrite | kShareDelete);
  platform::FileHandle handle = platform::kInvalidFileHandle;
  const bool opened =
      create ? platform::FileCreateAlways(name, kAccess[accessMode], share, handle)
             : platform::FileOpenExisting(name, kAccess[accessMode], share, handle);
  if (!opened) return kIoClosed;
  return OpenHandle(handle, name, accessMode, bufferSize);
}

uint8_t TadcFileStream::OpenHandle(platform::FileHandle handle, const std::string& name,
                                   uint8_t accessMode, int32_t bufferSize) {
  Close(false);
  name_ = name;
  accessMode_ = accessMode;
  handle_ = handle;
  if (accessMode > kAccessReadWrite || !SetUpBuffer(bufferSize)) {
    platform::FileClose(handle_);
    handle_ = platform::kInvalidFileHandle;
    return kIoClosed;
  }
  SetErrorCodeDirectly(kIoNoError);
  return kIoNoError;
}

bool TadcFileStream::CanRead() const {
  return accessMode_ == kAccessRead || accessMode_ == kAccessReadWrite;
}

bool TadcFileStream::CanWrite() const {
  return accessMode_ == kAccessWrite || accessMode_ == kAccessReadWrite;
}

bool TadcFileStream::CanSeek() const { return true; }

void TadcFileStream::SetLength(int64_t newLength) {
  // Truncating at the current position when nothing moved would cut the file in the wrong place.
  if (GetLength() == newLength) return;
  TadcBufferedIoStream::SetLength(newLength);
  if (HasError() || platform::FileSetEndHere(handle_)) return;
  const std::string message = name_ + ": " + platform::LastOsErrorText();
  // The file's length is unknown now; the stream must not go on as if it were newLength.
  SetError(kIoSeekError);
  throw EzqException(message);
}

uint8_t TadcFileStream::Close(bool flush) {
  if (ErrorCode() == kIoClosed) return kIoNoError;
  TadcBufferedIoStream::Close(flush);
  if (handle_ != platform::kInvalidFileHandle && !platform::FileClose(handle_)) {
    SetError(accessMode_ == kAccessRead ? kIoReadError : kIoWriteError);
  }
  handle_ = platform::kInvalidFileHandle;
  const uint8_t code = ErrorCode();
  SetErrorCodeDirectly(kIoClosed);
  return code;
}

bool TadcFileStream::RawGetLength(int64_t& length) {
  if (platform::FileSize(handle_, length)) return true;
  SetError(kIoSeekError);
  return false;
}

bool TadcFileStream::RawSeek(int64_t& newPosition, int64_t target) {
  if (!platform::FileSeek(handle_, target)) {
    SetError(kIoSeekError);
    return false;
  }
  newPosition = target;
  return true;
}

bool TadcFileStream::RawRead(void* buffer, int32_t count, int32_t& actual) {
  if (platform::FileRead(handle_, buffer, count, actual)) return true;
  SetError(kIoReadError);
  return false;
}

bool TadcFileStream::RawWrite(const void* buffer, int32_t count, int32_t& actual) {
  if (platform::FileWrite(handle_, buffer, count, actual)) return true;
  SetError(kIoWriteError);
  return false;
}

// ---------------------------------------------------------------------------------------------
// TadcInterfaceStream

namespace {

bool Ask(int32_t (*query)(void*), void* userData) {
  return query != nullptr && query(userData) != 0;
}

}  // namespace

TadcInterfaceStream::~TadcInterfaceStream() { Close(false); }

uint8_t TadcInterfaceStream::OpenInterface(const TadcStreamCallbacks& callbacks, void* userData,
                                           int32_t bufferSize) {
  Close(false);
  callbacks_ = callbacks;
  userData_ = userData;
  name_ = "TadcInterfaceStream";
  canRead_ = Ask(callbacks_.CanRead, userData_);
  canWrite_ = Ask(callbacks_.CanWrite, userData_);
  canSeek_ = Ask(callbacks_.CanSeek, userData_);
  if (!SetUpBuffer(bufferSize)) return kIoClosed;
  SetErrorCodeDirectly(kIoNoError);
  return kIoNoError;
}

bool TadcInterfaceStream::Flush() {
  if (TadcBufferedIoStream::Flush() && canWrite_ && !Ask(callbacks_.Flush, userData_)) {
    SetError(kIoWriteError);
  }
  return !HasError();
}

uint8_t TadcInterfaceStream::Close(bool flush) {
  if (ErrorCode() == kIoClosed) return kIoNoError;
  TadcBufferedIoStream::Close(flush);
  const uint8_t code = ErrorCode();
  SetErrorCodeDirectly(kIoClosed);
  return code;
}

bool TadcInterfaceStream::RawGetLength(int64_t& length) {
  int64_t reported = -1;
  if (callbacks_.GetLength == nullptr || callbacks_.GetLength(userData_, &reported) == 0 ||
      reported < 0) {
    SetError(kIoSeekError);
    return false;
  }
  length = reported;
  return true;
}

bool TadcInterfaceStream::RawSeek(int64_t& newPosition, int64_t target) {
  if (callbacks_.Seek == nullptr || callbacks_.Seek(userData_, target) == 0) {
    SetError(kIoSeekError);
    return false;
  }
  newPosition = target;
  return true;
}

// A count outside 0..count from the caller's medium is treated as a failure rather than trusted.
bool TadcInterfaceStream::RawRead(void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  int32_t reported = -1;
  if (callbacks_.Read == nullptr || callbacks_.Read(userData_, buffer, count, &reported) == 0 ||
      reported < 0 || reported > count) {
    SetError(kIoReadError);
    return false;
  }
  actual = reported;
  return true;
}

bool TadcInterfaceStream::RawWrite(const void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  if (callbacks_.Write == nullptr || callbacks_.Write(userData_, buffer, count) == 0) {
    SetError(kIoWriteError);
    return false;
  }
  actual = count;
  return true;
}

}  // namespace lym

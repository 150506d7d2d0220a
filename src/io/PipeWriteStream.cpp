#include "io/PipeWriteStream.h"

#include <algorithm>

namespace lym {

TadcPipeWriteStream::TadcPipeWriteStream(platform::FileHandle handle) : handle_(handle) {
  buffer_.reserve(kBufferBytes);
  SetErrorCodeDirectly(kIoNoError);
}

void TadcPipeWriteStream::SetLength(int64_t /*newLength*/) { SetError(kIoSeekError); }

// Staying where it is, the one move a pipe allows, is fine.
bool TadcPipeWriteStream::Seek(uint8_t origin, int64_t offset) {
  if (HasError()) return false;
  const int64_t here = GetPosition();
  int64_t target = here;
  if (origin == kSeekFromStart) target = offset;
  if (origin == kSeekFromCurrent || origin == kSeekFromEnd) target = here + offset;
  if (target == here) return true;
  SetError(kIoSeekError);
  return false;
}

bool TadcPipeWriteStream::Write(const void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  if (HasError() || count < 0) return false;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  if (buffer_.size() + size_t(count) > kBufferBytes) {
    if (!Flush()) return false;
    // A block larger than the buffer goes straight out.
    if (count >= kBufferBytes) {
      if (!Send(bytes, size_t(count))) return false;
      actual = count;
      return true;
    }
  }
  buffer_.insert(buffer_.end(), bytes, bytes + count);
  actual = count;
  return true;
}

bool TadcPipeWriteStream::Flush() {
  if (HasError()) return false;
  const bool sent = Send(buffer_.data(), buffer_.size());
  buffer_.clear();
  return sent;
}

bool TadcPipeWriteStream::Send(const uint8_t* bytes, size_t count) {
  while (count > 0) {
    const auto piece = int32_t(std::min<size_t>(count, kBufferBytes));
    int32_t actual = 0;
    if (!platform::FileWrite(handle_, bytes, piece, actual) || actual != piece) {
      SetError(kIoWriteError);
      return false;
    }
    written_ += piece;
    bytes += piece;
    count -= size_t(piece);
  }
  return true;
}

uint8_t TadcPipeWriteStream::Close(bool flush) {
  if (IsClosed()) return kIoNoError;
  if (flush) Flush();
  buffer_.clear();
  const uint8_t code = ErrorCode();
  SetErrorCodeDirectly(kIoClosed);
  return code;
}

}  // namespace lym

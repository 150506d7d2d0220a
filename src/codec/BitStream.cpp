#include "codec/BitStream.h"

#include <algorithm>
#include <bit>

#include "foundation/ByteOrder.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

// Bit counts are kept in 32-bit fields, so a buffer may hold at most 2^28 - 1 bytes.
constexpr int32_t kMaxBufferBytes = 0x0FFFFFFF;

void CheckBufferSize(const char* where, int32_t bytes, const char* name) {
  if (bytes < 0 || bytes > kMaxBufferBytes) throw EzqArgumentOutOfRange(where, bytes, name);
}

}  // namespace

void TBitOutStream::InitWriter(void* buffer, int32_t capacityBytes) {
  CheckBufferSize("TBitOutStream.InitWriter", capacityBytes, "ACapacity");
  start_ = static_cast<uint8_t*>(buffer);
  capacity_ = capacityBytes;
  wordIndex_ = 0;
  used_ = 0;
  word_ = 0;
}

// Writes the current word back to memory: whole when it fits, else only the bytes that hold bits,
// so that a buffer sized to the exact byte count is never overrun.
void TBitOutStream::StoreWord() {
  const int32_t offset = wordIndex_ * 4;
  const uint32_t value = uint32_t(word_);
  if (capacity_ - offset >= 4) {
    StoreLE32(start_ + offset, value);
    return;
  }
  const int bytes = used_ >= 32 ? 4 : (used_ + 7) / 8;
  LYM_ASSERT(capacity_ - offset >= bytes, "Bit buffer overflow");
  StoreLE(start_ + offset, value, bytes);
}

void TBitInStream::InitReader(const void* buffer, int32_t byteLength) {
  CheckBufferSize("TBitInStream.InitReader", byteLength, "AByteLength");
  start_ = static_cast<const uint8_t*>(buffer);
  total_ = remaining_ = byteLength * 8;
  nextByte_ = 0;
  cached_ = 0;
  cache_ = 0;
  ReadError = false;
}

// Brings the cache to at least 32 bits, or to every bit left when fewer remain.
void TBitInStream::RefillBytes() {
  const int32_t length = total_ / 8;
  while (cached_ <= 56 && nextByte_ < length) {
    cache_ |= uint64_t(start_[nextByte_++]) << cached_;
    cached_ += 8;
  }
}

// Every remaining bit is in the window; a one bit among them ends the count.
int TBitInStream::ReadUnaryAtEnd(uint32_t window) {
  const int zeros = std::countr_zero(window | (1u << remaining_));
  if (zeros < remaining_) {
    Consume(zeros + 1);
    return zeros;
  }
  Consume(remaining_);
  ReadError = true;
  return zeros;
}

void ThrowUnaryLimitError(int limit) {
  throw EzqArgumentOutOfRange("TBitInStream.ReadUnary", limit, "ALimit");
}

void ThrowBitWidthError(const char* where, int n) {
  throw EzqArgumentOutOfRange(where, n, "ACount");
}

}  // namespace lym

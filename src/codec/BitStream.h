// Bit writer and bit reader over caller-owned memory.
//
// Bit order of every bit-packed structure of the system: the buffer is a sequence of 32-bit
// little-endian words filled from the least significant bit up, so stream bit k is bit (k mod 8) of
// byte (k div 8). A field is stored least significant bit first; a unary count m is m zero bits
// ended by a one bit (a count that reaches its limit has no terminator).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "foundation/ByteOrder.h"

namespace lym {

// Field widths outside 1..32 are programming errors.
[[noreturn]] void ThrowBitWidthError(const char* where, int n);
[[noreturn]] void ThrowUnaryLimitError(int limit);

class TBitOutStream {
 public:
  // Attaches the writer to a buffer of capacityBytes. The writer never writes past capacityBytes:
  // running out of room is a programming error (assertion failure), never an overrun.
  void InitWriter(void* buffer, int32_t capacityBytes);

  // Appends the low n bits of value, 1 <= n <= 32.
  void WriteBits(uint32_t value, int n) {
    if (static_cast<unsigned>(n - 1) >= 32u) [[unlikely]]
      ThrowBitWidthError("TBitOutStream.WriteBits", n);
    word_ |= uint64_t(value & Mask(n)) << used_;
    used_ += n;
    if (used_ >= 32) {
      StoreWord();
      ++wordIndex_;
      word_ >>= 32;
      used_ -= 32;
    }
    if (used_ > 0) StoreWord();
  }
  void WriteBit(bool flag) { WriteBits(flag ? 1u : 0u, 1); }
  // Zero bits up to the next byte boundary.
  void AlignToByte() {
    if (used_ % 8 != 0) WriteBits(0, 8 - used_ % 8);
  }

  int32_t BitsUsed() const { return wordIndex_ * 32 + used_; }
  int32_t BytesUsed() const { return wordIndex_ * 4 + (used_ + 7) / 8; }
  int32_t Finish() { return BytesUsed(); }
  int32_t Capacity() const { return capacity_; }
  // The buffer; its first BytesUsed() bytes hold everything written so far.
  uint8_t* Data() const { return start_; }

  static uint32_t Mask(int n) { return uint32_t(~0u) >> (32 - n); }

 private:
  void StoreWord();

  uint8_t* start_ = nullptr;
  int32_t capacity_ = 0;
  int32_t wordIndex_ = 0;  // word now being filled
  int used_ = 0;           // bits of that word already written, 0..31
  uint64_t word_ = 0;      // its bits; bits above 32 only while a field crosses into the next word
};

class TBitInStream {
 public:
  // Attaches the reader to byteLength bytes. The reader never touches memory outside them.
  void InitReader(const void* buffer, int32_t byteLength);

  // The next n bits, 1 <= n <= 32. Past the end: ReadError is set, nothing is consumed, 0 returned.
  uint32_t ReadBits(int n) {
    if (static_cast<unsigned>(n - 1) >= 32u) [[unlikely]]
      ThrowBitWidthError("TBitInStream.ReadBits", n);
    if (n > remaining_) [[unlikely]] {
      ReadError = true;
      return 0;
    }
    if (cached_ < n) Refill();
    const uint32_t value = uint32_t(cache_) & TBitOutStream::Mask(n);
    Consume(n);
    return value;
  }
  uint32_t ReadBit() { return ReadBits(1); }
  // Two's complement of width n; a 1-bit field is consumed and always reads as 0.
  int32_t ReadSigned(int n) {
    const uint32_t raw = ReadBits(n);
    if (n < 2) return 0;
    const int shift = 32 - n;
    return static_cast<int32_t>(raw << shift) >> shift;
  }
  // Counts zero bits up to limit (0..31). A one bit before limit zeros is consumed with them; at
  // limit zeros exactly those are consumed. If the data ends first, ReadError is set and the zeros
  // consumed are returned.
  int ReadUnary(int limit) {
    if (static_cast<unsigned>(limit) > 31u) [[unlikely]]
      ThrowUnaryLimitError(limit);
    if (cached_ < 32 && cached_ < remaining_) Refill();
    const uint32_t window = uint32_t(cache_);
    if (limit > remaining_) [[unlikely]]
      return ReadUnaryAtEnd(window);
    const int zeros = std::countr_zero(window | 0x80000000u);
    if (limit <= zeros) {
      Consume(limit);
      return limit;
    }
    Consume(zeros + 1);
    return zeros;
  }

  // For decoders that take several fields at one look: true when at least 64 bits remain, and
  // then Window() holds the next 32 of them; Skip(n) consumes n <= 32 of those.
  bool FillWindow() {
    if (remaining_ < 64) return false;
    if (cached_ < 32) Refill();
    return true;
  }
  uint32_t Window() const { return uint32_t(cache_); }
  void Skip(int n) { Consume(n); }

  // Checked forms: true exactly when no read has run past the end since InitReader.
  bool ReadBit(uint32_t& value) {
    value = ReadBits(1);
    return !ReadError;
  }
  bool ReadBits(int n, uint32_t& value) {
    value = ReadBits(n);
    return !ReadError;
  }
  bool ReadSigned(int n, int32_t& value) {
    value = ReadSigned(n);
    return !ReadError;
  }

  // Discards the bits up to the next byte boundary and returns them (callers that need zero
  // padding test the result).
  uint32_t AlignToByte() {
    const int n = remaining_ % 8;
    return n == 0 ? 0 : ReadBits(n);
  }

  int32_t BitsRead() const { return total_ - remaining_; }
  int32_t BytesRead() const { return (BitsRead() + 7) / 8; }
  int32_t BitsRemaining() const { return remaining_; }
  const uint8_t* Data() const { return start_; }

  bool ReadError = false;  // sticky until the next InitReader

 private:
  // Tops the cache up: 32 bits at once while whole words remain, else byte by byte.
  void Refill() {
    if (total_ / 8 - nextByte_ >= 4 && cached_ <= 32) [[likely]] {
      cache_ |= uint64_t(LoadLE32(start_ + nextByte_)) << cached_;
      cached_ += 32;
      nextByte_ += 4;
      return;
    }
    RefillBytes();
  }
  void RefillBytes();
  int ReadUnaryAtEnd(uint32_t window);
  void Consume(int n) {
    cache_ >>= n;
    cached_ -= n;
    remaining_ -= n;
  }

  const uint8_t* start_ = nullptr;
  int32_t total_ = 0;
  int32_t remaining_ = 0;  // bits not yet consumed
  int32_t nextByte_ = 0;   // first byte not yet in the cache
  int cached_ = 0;         // bits in the cache
  uint64_t cache_ = 0;     // the next unconsumed bits, earliest at bit 0
};

}  // namespace lym

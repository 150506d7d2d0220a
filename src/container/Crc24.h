// CRC-24 that guards every piece of a stream: polynomial 0x864CFB, initial value 0xB704CE, most
// significant bit first, no reflection, no final XOR (the OpenPGP checksum). Stored as 3 bytes,
// least significant first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/ByteOrder.h"

namespace lym {

inline constexpr uint32_t kCrc24Init = 0xB704CE;
inline constexpr int kCrc24Bytes = 3;

// Checksum of a byte range, starting from the initial value.
uint32_t Crc24(const void* data, size_t length);
// Continues an earlier checksum: pieces checked one after another give the checksum of the whole.
uint32_t Crc24Update(const void* data, size_t length, uint32_t crc);

inline void StoreCrc24(uint8_t* to, uint32_t crc) { StoreLE(to, crc, kCrc24Bytes); }
inline uint32_t LoadCrc24(const uint8_t* from) { return uint32_t(LoadLE(from, kCrc24Bytes)); }

// Compares a stored checksum with the computed one. Fuzzing builds accept every checksum so that
// mutated input reaches the parsers behind it.
inline bool Crc24Matches(uint32_t stored, uint32_t computed) {
#ifdef LYM_FUZZ_SKIP_CHECKSUMS
  (void)stored;
  (void)computed;
  return true;
#else
  return stored == computed;
#endif
}

}  // namespace lym

// Little-endian loads and stores of 1 to 8 bytes, independent of the host's byte order and of the
// alignment of the address.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace lym {

inline uint64_t LoadLE(const uint8_t* from, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | from[i];
  return value;
}

inline void StoreLE(uint8_t* to, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) to[i] = uint8_t(value >> (8 * i));
}

inline uint32_t LoadLE32(const uint8_t* from) {
  if constexpr (std::endian::native == std::endian::little) {
    uint32_t value;
    std::memcpy(&value, from, 4);
    return value;
  } else {
    return uint32_t(LoadLE(from, 4));
  }
}

inline void StoreLE32(uint8_t* to, uint32_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(to, &value, 4);
  } else {
    StoreLE(to, value, 4);
  }
}

}  // namespace lym

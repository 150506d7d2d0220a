#include "container/Crc24.h"

#include <array>

namespace lym {
namespace {

constexpr uint32_t kPolynomial = 0x864CFB;
constexpr uint32_t kMask24 = 0xFFFFFF;

using Table = std::array<uint32_t, 256>;

// tables[k][v] is the checksum contribution of byte value v followed by 8 * k zero bits, so four
// bytes can be folded in with one lookup each.
constexpr std::array<Table, 4> MakeTables() {
  std::array<Table, 4> tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i << 16;
    for (int bit = 0; bit < 8; ++bit) crc = (crc << 1) ^ ((crc & 0x800000) ? kPolynomial : 0);
    tables[0][i] = crc & kMask24;
  }
  for (int k = 1; k < 4; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t previous = tables[k - 1][i];
      tables[k][i] = tables[0][previous >> 16] ^ ((previous << 8) & kMask24);
    }
  }
  return tables;
}

constexpr std::array<Table, 4> kTables = MakeTables();

}  // namespace

uint32_t Crc24Update(const void* data, size_t length, uint32_t crc) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  crc &= kMask24;
  for (; length >= 4; bytes += 4, length -= 4) {
    const uint32_t v = (crc << 8) ^ (uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 |
                                     uint32_t(bytes[2]) << 8 | bytes[3]);
    crc = kTables[3][v >> 24] ^ kTables[2][(v >> 16) & 0xFF] ^ kTables[1][(v >> 8) & 0xFF] ^
          kTables[0][v & 0xFF];
  }
  for (; length > 0; ++bytes, --length)
    crc = kTables[0][((crc >> 16) ^ *bytes) & 0xFF] ^ ((crc << 8) & kMask24);
  return crc;
}

uint32_t Crc24(const void* data, size_t length) { return Crc24Update(data, length, kCrc24Init); }

}  // namespace lym

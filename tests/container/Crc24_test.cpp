#include "container/Crc24.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace lym {
namespace {

// One bit at a time, straight from the polynomial: the reference for the table-driven checksum.
uint32_t BitByBitCrc24(const uint8_t* data, size_t length) {
  uint32_t crc = 0xB704CE;
  for (size_t i = 0; i < length; ++i) {
    crc ^= uint32_t(data[i]) << 16;
    for (int bit = 0; bit < 8; ++bit) {
      crc <<= 1;
      if (crc & 0x1000000) crc ^= 0x1864CFB;
    }
  }
  return crc & 0xFFFFFF;
}

TEST(Crc24, CheckValues) {
  EXPECT_EQ(Crc24("123456789", 9), 0x21CF02u);
  EXPECT_EQ(Crc24(nullptr, 0), 0xB704CEu);
}

TEST(Crc24, MatchesTheBitByBitReferenceForEveryPrefixAndStart) {
  const uint32_t seed = std::random_device{}();
  std::printf("seed %u\n", seed);
  std::mt19937 random(seed);
  std::vector<uint8_t> data(1200);
  for (auto& byte : data) byte = uint8_t(random());
  for (size_t start = 0; start < 8; ++start) {
    for (size_t length = 0; start + length <= data.size(); ++length) {
      ASSERT_EQ(Crc24(data.data() + start, length), BitByBitCrc24(data.data() + start, length))
          << "start " << start << " length " << length;
    }
  }
}

TEST(Crc24, PiecesContinueTheChecksum) {
  const std::string text = "The stream repeats its description every two seconds.";
  const uint32_t whole = Crc24(text.data(), text.size());
  for (size_t split = 0; split <= text.size(); ++split) {
    const uint32_t first = Crc24(text.data(), split);
    EXPECT_EQ(Crc24Update(text.data() + split, text.size() - split, first), whole);
  }
}

TEST(Crc24, StoredLeastSignificantByteFirst) {
  uint8_t bytes[3];
  StoreCrc24(bytes, 0x21CF02);
  EXPECT_EQ(bytes[0], 0x02);
  EXPECT_EQ(bytes[1], 0xCF);
  EXPECT_EQ(bytes[2], 0x21);
  EXPECT_EQ(LoadCrc24(bytes), 0x21CF02u);
}

}  // namespace
}  // namespace lym

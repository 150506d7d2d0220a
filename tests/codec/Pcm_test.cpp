#include "codec/Pcm.h"

#include <gtest/gtest.h>

#include <vector>

namespace lym {
namespace {

TEST(Pcm, ByteLayoutOfEveryWidth) {
  const int32_t left[] = {-128, 127, -32768, 8388607};
  const int32_t right[] = {0, -1, 32767, -8388608};
  uint8_t bytes[12] = {};
  WritePcm(8, 2, left, right, bytes, 2);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{0, 128, 255, 127}));
  WritePcm(16, 2, left + 2, right + 2, bytes, 1);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{0x00, 0x80, 0xFF, 0x7F}));
  WritePcm(24, 2, left + 3, right + 3, bytes, 1);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 6),
            (std::vector<uint8_t>{0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80}));
}

TEST(Pcm, ReadIsTheInverseOfWrite) {
  for (int bits : {8, 16, 24}) {
    for (int channels : {1, 2}) {
      std::vector<int32_t> ch0, ch1;
      for (int32_t i = 0; i < 300; ++i) {
        ch0.push_back((i * 7919) % (1 << bits) - (1 << (bits - 1)));
        ch1.push_back((i * 104729) % (1 << bits) - (1 << (bits - 1)));
      }
      std::vector<uint8_t> bytes(size_t(300 * PcmBlockSize(bits, channels)));
      WritePcm(bits, channels, ch0.data(), ch1.data(), bytes.data(), 300);
      std::vector<int32_t> read0(300), read1(300);
      ReadPcm(bits, channels, bytes.data(), 300, read0.data(), read1.data());
      EXPECT_EQ(read0, ch0);
      if (channels == 2) {
        EXPECT_EQ(read1, ch1);
      }
    }
  }
}

TEST(Pcm, Silence) {
  std::vector<uint8_t> bytes(13, 7);
  FillSilence(8, 2, 6, bytes.data());
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 12), std::vector<uint8_t>(12, 128));
  EXPECT_EQ(bytes[12], 7);
  FillSilence(24, 1, 4, bytes.data());
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 12), std::vector<uint8_t>(12, 0));
}

}  // namespace
}  // namespace lym

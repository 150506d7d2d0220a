#include "codec/BitStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "foundation/zqExceptions.h"

namespace lym {
namespace {

// A plain model of the bit order: one entry per stream bit, fields least significant bit first.
struct BitModel {
  std::vector<int> bits;

  void Append(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) bits.push_back(int(value >> i & 1));
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> bytes((bits.size() + 7) / 8, 0);
    for (size_t k = 0; k < bits.size(); ++k) bytes[k / 8] |= uint8_t(bits[k] << (k % 8));
    return bytes;
  }
};

// Heap copy of exactly the given bytes, so that AddressSanitizer sees any read past the end.
std::unique_ptr<uint8_t[]> ExactCopy(const std::vector<uint8_t>& bytes) {
  auto copy = std::make_unique<uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), copy.get());
  return copy;
}

std::vector<uint8_t> FromBits(const std::vector<int>& bits) {
  BitModel model;
  model.bits = bits;
  return model.Bytes();
}

uint32_t Seed() {
  const uint32_t seed = std::random_device{}();
  std::printf("seed %u\n", seed);
  return seed;
}

TEST(BitStream, RandomFieldsRoundTripInTheDocumentedBitOrder) {
  std::mt19937 random(Seed());
  for (int round = 0; round < 200; ++round) {
    const int count = int(random() % 60);
    std::vector<std::pair<uint32_t, int>> fields;
    BitModel model;
    std::vector<uint8_t> buffer(count * 4 + 4);
    TBitOutStream writer;
    writer.InitWriter(buffer.data(), int32_t(buffer.size()));
    for (int i = 0; i < count; ++i) {
      const int n = 1 + int(random() % 32);
      const uint32_t value = uint32_t(random());
      fields.emplace_back(value, n);
      writer.WriteBits(value, n);
      model.Append(value, n);
    }
    const std::vector<uint8_t> expected = model.Bytes();
    ASSERT_EQ(writer.Finish(), int32_t(expected.size()));
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));

    const auto exact = ExactCopy(expected);
    TBitInStream reader;
    reader.InitReader(exact.get(), int32_t(expected.size()));
    for (const auto& [value, n] : fields) ASSERT_EQ(reader.ReadBits(n), value & TBitOutStream::Mask(n));
    EXPECT_FALSE(reader.ReadError);
    EXPECT_EQ(reader.BitsRead(), int32_t(model.bits.size()));
  }
}

TEST(BitStream, FieldsAcrossWordBoundaries) {
  uint8_t buffer[8] = {};
  TBitOutStream writer;
  writer.InitWriter(buffer, sizeof buffer);
  writer.WriteBits(5, 3);
  writer.WriteBits(0xDEADBEEF, 32);
  writer.WriteBits(0x1ABCDEF1, 29);
  EXPECT_EQ(writer.BytesUsed(), 8);
  // 5 in the low 3 bits, then 0xDEADBEEF shifted up by 3.
  EXPECT_EQ(buffer[0], uint8_t((0xEF << 3 | 5) & 0xFF));
  TBitInStream reader;
  reader.InitReader(buffer, sizeof buffer);
  EXPECT_EQ(reader.ReadBits(3), 5u);
  EXPECT_EQ(reader.ReadBits(32), 0xDEADBEEFu);
  EXPECT_EQ(reader.ReadBits(29), 0x1ABCDEF1u);
  EXPECT_EQ(reader.BitsRemaining(), 0);
}

TEST(BitStream, WriterCountsPartialBytes) {
  uint8_t buffer[8];
  TBitOutStream writer;
  writer.InitWriter(buffer, sizeof buffer);
  EXPECT_EQ(writer.BytesUsed(), 0);
  writer.WriteBit(true);
  EXPECT_EQ(writer.BytesUsed(), 1);
  writer.WriteBits(0, 31);
  EXPECT_EQ(writer.BytesUsed(), 4);
  writer.WriteBits(1, 2);
  writer.AlignToByte();
  EXPECT_EQ(writer.BitsUsed(), 40);
  EXPECT_EQ(writer.Finish(), 5);
}

TEST(BitStream, WriterNeverWritesPastItsCapacity) {
  // Five bytes of room inside a guarded area: the fifth byte is written alone, the sixth refused.
  uint8_t area[12];
  std::fill(std::begin(area), std::end(area), 0xAA);
  TBitOutStream writer;
  writer.InitWriter(area + 2, 5);
  writer.WriteBits(0xFFFFFFFF, 32);
  writer.WriteBits(0x7F, 8);
  EXPECT_EQ(writer.Finish(), 5);
  EXPECT_EQ(area[1], 0xAA);
  EXPECT_EQ(area[6], 0x7F);
  EXPECT_EQ(area[7], 0xAA);
  EXPECT_THROW(writer.WriteBit(true), EzqAssertionFailure);
  EXPECT_EQ(area[7], 0xAA);
}

TEST(BitStream, WidthsOutsideOneToThirtyTwoAreRangeErrors) {
  uint8_t buffer[8] = {};
  TBitOutStream writer;
  writer.InitWriter(buffer, sizeof buffer);
  EXPECT_THROW(writer.WriteBits(0, 0), EzqArgumentOutOfRange);
  EXPECT_THROW(writer.WriteBits(0, 33), EzqArgumentOutOfRange);
  TBitInStream reader;
  reader.InitReader(buffer, sizeof buffer);
  EXPECT_THROW(reader.ReadBits(0), EzqArgumentOutOfRange);
  EXPECT_THROW(reader.ReadBits(33), EzqArgumentOutOfRange);
  EXPECT_THROW(reader.ReadUnary(32), EzqArgumentOutOfRange);
}

TEST(BitStream, SignedFields) {
  TBitInStream reader;
  const uint8_t ones[] = {0xFF};
  reader.InitReader(ones, 1);
  EXPECT_EQ(reader.ReadSigned(1), 0);
  EXPECT_EQ(reader.BitsRead(), 1);
  EXPECT_EQ(reader.ReadSigned(4), -1);
  const uint8_t zeroThenOne[] = {0x00};
  reader.InitReader(zeroThenOne, 1);
  EXPECT_EQ(reader.ReadSigned(1), 0);
  const uint8_t bytes[] = {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F};
  reader.InitReader(bytes, sizeof bytes);
  int32_t value = 0;
  EXPECT_TRUE(reader.ReadSigned(32, value));
  EXPECT_EQ(value, INT32_MIN);
  EXPECT_TRUE(reader.ReadSigned(32, value));
  EXPECT_EQ(value, INT32_MAX);
}

TEST(BitStream, UnaryCountsStopAtTheirLimit) {
  const auto limitReached = FromBits({0, 0, 0, 0, 1});
  TBitInStream reader;
  reader.InitReader(limitReached.data(), int32_t(limitReached.size()));
  EXPECT_EQ(reader.ReadUnary(4), 4);
  EXPECT_EQ(reader.BitsRead(), 4);
  EXPECT_EQ(reader.ReadBit(), 1u);

  const auto terminated = FromBits({0, 0, 1});
  reader.InitReader(terminated.data(), int32_t(terminated.size()));
  EXPECT_EQ(reader.ReadUnary(4), 2);
  EXPECT_EQ(reader.BitsRead(), 3);
  EXPECT_FALSE(reader.ReadError);
}

// The unary reader against a bit-by-bit model, anywhere in a stream and close to its end.
TEST(BitStream, UnaryMatchesABitByBitModel) {
  std::mt19937 random(Seed());
  for (int round = 0; round < 3000; ++round) {
    const size_t bytes = random() % 9;
    std::vector<int> bits(bytes * 8);
    const unsigned density = 1 + random() % 40;  // sparse ones give long runs of zeros
    for (int& bit : bits) bit = random() % density == 0;
    const auto data = FromBits(bits);
    const auto exact = ExactCopy(data);
    TBitInStream reader;
    reader.InitReader(exact.get(), int32_t(bytes));
    size_t position = bits.empty() ? 0 : random() % (bits.size() + 1);
    for (size_t k = 0; k < position; ++k) reader.ReadBit();
    while (!reader.ReadError) {
      const int limit = int(random() % 32);
      size_t zeros = 0;
      while (position + zeros < bits.size() && zeros < size_t(limit) && bits[position + zeros] == 0)
        ++zeros;
      const bool ends = position + zeros == bits.size() && zeros < size_t(limit);
      const bool terminated = !ends && zeros < size_t(limit);
      ASSERT_EQ(reader.ReadUnary(limit), int(zeros));
      ASSERT_EQ(reader.ReadError, ends);
      position += zeros + (terminated ? 1 : 0);
      ASSERT_EQ(reader.BitsRead(), int32_t(position));
      if (limit == 0 && !ends) reader.ReadBit();
      if (limit == 0 && !ends) ++position;
    }
  }
}

TEST(BitStream, ReadingPastTheEndFailsWithoutConsumingAndStaysFailed) {
  const uint8_t one[] = {0x5A};
  TBitInStream reader;
  reader.InitReader(one, 1);
  uint32_t value = 1;
  EXPECT_FALSE(reader.ReadBits(9, value));
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(reader.ReadError);
  EXPECT_EQ(reader.BitsRead(), 0);
  // The byte is still there, but the failure sticks until the reader is attached again.
  EXPECT_EQ(reader.ReadBits(8), 0x5Au);
  EXPECT_FALSE(reader.ReadBit(value));
  reader.InitReader(one, 1);
  EXPECT_TRUE(reader.ReadBits(8, value));
  EXPECT_EQ(reader.ReadBit(), 0u);
  EXPECT_TRUE(reader.ReadError);
}

TEST(BitStream, AlignmentSkipsToTheNextByte) {
  uint8_t buffer[4] = {};
  TBitOutStream writer;
  writer.InitWriter(buffer, sizeof buffer);
  writer.WriteBits(1, 3);
  writer.AlignToByte();
  writer.AlignToByte();  // already aligned: nothing
  writer.WriteBits(0xAB, 8);
  EXPECT_EQ(writer.Finish(), 2);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[1], 0xAB);

  const uint8_t padded[] = {0xF1, 0xAB};
  TBitInStream reader;
  reader.InitReader(padded, sizeof padded);
  EXPECT_EQ(reader.ReadBits(3), 1u);
  EXPECT_EQ(reader.AlignToByte(), 0x1Eu);  // the five padding bits, returned for checking
  EXPECT_EQ(reader.AlignToByte(), 0u);
  EXPECT_EQ(reader.ReadBits(8), 0xABu);
  EXPECT_EQ(reader.BytesRead(), 2);
}

TEST(BitStream, ReaderStaysInsideBuffersOfEveryLength) {
  std::mt19937 random(Seed());
  for (size_t length = 0; length <= 13; ++length) {
    std::vector<uint8_t> data(length);
    for (auto& byte : data) byte = uint8_t(random());
    const auto exact = ExactCopy(data);
    TBitInStream reader;
    reader.InitReader(exact.get(), int32_t(length));
    while (!reader.ReadError) reader.ReadBits(1 + int(random() % 32));
    reader.InitReader(exact.get(), int32_t(length));
    while (!reader.ReadError) reader.ReadUnary(int(random() % 32));
    EXPECT_LE(reader.BytesRead(), int32_t(length));
  }
}

}  // namespace
}  // namespace lym

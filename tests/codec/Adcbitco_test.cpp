#include "codec/Adcbitco.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "foundation/CpuUtil.h"
#include "foundation/DetMath.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

using Values = std::vector<int32_t>;
using TFields = std::vector<std::pair<uint32_t, int>>;  // (value, width) in stream order

int32_t FromZigZag(uint64_t u) {
  return int32_t(u % 2 == 0 ? int64_t(u / 2) : -int64_t(u / 2) - 1);
}

// What a writer produced.
struct TBits {
  std::vector<uint8_t> Bytes;
  int32_t Count = 0;

  std::string Text() const {  // one character per bit, in stream order
    std::string text;
    for (int32_t k = 0; k < Count; ++k) text += char('0' + (Bytes[size_t(k / 8)] >> (k % 8) & 1));
    return text;
  }
};

TBits Written(const std::function<void(TBitOutStream&)>& write) {
  TBits bits;
  bits.Bytes.resize(1 << 20);
  TBitOutStream writer;
  writer.InitWriter(bits.Bytes.data(), int32_t(bits.Bytes.size()));
  write(writer);
  bits.Count = writer.BitsUsed();
  bits.Bytes.resize(size_t(writer.Finish()));
  return bits;
}

// The fields, then `padding` zero bits so that a rejection is not merely the end of the data.
TBits Fields(const TFields& fields, int padding = 0) {
  return Written([&](TBitOutStream& w) {
    for (const auto& [value, n] : fields) w.WriteBits(value, n);
    for (int left = padding; left > 0; left -= 32) w.WriteBits(0, std::min(left, 32));
  });
}

// Reads a heap copy of exactly the first `length` bytes, so that AddressSanitizer sees overruns.
bool ReadExact(const std::vector<uint8_t>& bytes, size_t length,
               const std::function<bool(TBitInStream&)>& read) {
  auto copy = std::make_unique<uint8_t[]>(std::max<size_t>(length, 1));
  std::copy_n(bytes.begin(), length, copy.get());
  TBitInStream reader;
  reader.InitReader(copy.get(), int32_t(length));
  return read(reader);
}

// Noise from the deterministic logarithm and plain modulo: the same values in every build.
Values LaplaceNoise(int32_t count, double mean, std::mt19937& random) {
  Values values(static_cast<size_t>(count));
  for (int32_t& v : values) {
    const double u = (double(random()) + 0.5) / 4294967296.0;
    const double a = std::min(std::floor(-mean * DetLog2(u) / 1.4426950408889634), 2147483647.0);
    v = random() % 2 ? int32_t(a) : -int32_t(a);
  }
  return values;
}

Values UniformNoise(int32_t count, int32_t amplitude, std::mt19937& random) {
  Values values(static_cast<size_t>(count));
  const uint64_t range = 2 * uint64_t(amplitude) + 1;
  for (int32_t& v : values)
    v = int32_t(int64_t((uint64_t(random()) << 32 | random()) % range) - amplitude);
  return values;
}

struct TMoments {
  uint32_t Largest = 0;
  double Mean = 0;
};
TMoments MomentsOf(const Values& values) {
  TMoments m;
  double sum = 0;
  for (int32_t v : values) {
    const uint32_t a = uint32_t(std::abs(int64_t(v)));
    m.Largest = std::max(m.Largest, a);
    sum += a;
  }
  m.Mean = values.empty() ? 0 : sum / double(values.size());
  return m;
}

// ---- Value codes ----------------------------------------------------------------------------

TEST(ResidualCoder, BitHelpersAndLevels) {
  EXPECT_EQ(HighestSetBit(0), -1);
  EXPECT_EQ(HighestSetBit(0x80000000u), 31);
  const int ceilLog2[] = {0, 1, 1, 2, 2,
                          3, 3, 3, 3, 4};  // CeilLog2(1) = 1: bound 2 for magnitude 1
  for (int n = 0; n < 10; ++n) EXPECT_EQ(CeilLog2(n), ceilLog2[n]) << n;
  EXPECT_EQ(CeilLog2(int64_t(1) << 31), 31);
  EXPECT_EQ(PartitionLevelFor(48000, 8), 3);
  EXPECT_EQ(PartitionLevelFor(47999, 8), 2);
  EXPECT_EQ(PartitionLevelFor(15999, 8), 0);
  EXPECT_EQ(PartitionLevelFor(44100, 24), 3);
  EXPECT_EQ(PartitionLevelFor(22050, 20), 2);
  EXPECT_EQ(PartitionLevelFor(11024, 16), 0);
  EXPECT_EQ(PartitionLevelFor(96000, 12), 0);
}

TEST(ResidualCoder, EscapeWidths) {
  EXPECT_EQ(EscapeWidth(4, 1), 1);  // no escape below K + 5
  EXPECT_EQ(EscapeWidth(5, 1), 2);
  EXPECT_EQ(EscapeWidth(1000, 3), 11);
  EXPECT_EQ(EscapeWidth(23, 4), 10);  // 2 x bound < E + D: no quotient field
  EXPECT_EQ(EscapeWidth(24, 4), 11);
  EXPECT_EQ(EscapeWidth(0x80000000u, 50), 18);
  EXPECT_EQ(EscapeWidth(100, 51), 1);
}

// The zigzag values where a family B code changes range, found from its size model: the first
// that costs more than the prefix (S), more than prefix and bit (L), a second unary bit (L + D),
// and an escape (E, priced above any long-range value at the widest bound).
std::vector<uint64_t> FamilyBLimits(int code) {
  const uint32_t bound = 0x80000000u;
  const auto bits = [&](uint64_t u) {
    const int32_t x = FromZigZag(u);
    return ResidualBlockBits(&x, 1, code, bound).Bits;
  };
  const auto firstCosting = [&](int64_t atLeast) {
    uint64_t low = 0, high = 0xFFFFFFFFu;
    while (low < high) {
      const uint64_t middle = (low + high) / 2;
      bits(middle) >= atLeast ? high = middle : low = middle + 1;
    }
    return low;
  };
  const int64_t p = bits(0);
  return {firstCosting(p + 1), firstCosting(p + 2), firstCosting(p + 3),
          firstCosting(p + EscapeWidth(bound, code))};
}

// Both signs of every range limit of a code and of the bound itself.
Values LimitValues(int code, uint32_t bound) {
  std::vector<uint64_t> us;  // zigzag values
  if (code < 4) {
    for (uint64_t a = 0; a <= 10; ++a) us.insert(us.end(), {2 * a, 2 * a + 1});
  } else {
    for (uint64_t limit : FamilyBLimits(code))
      us.insert(us.end(), {limit - 2, limit - 1, limit, limit + 1});
  }
  us.insert(us.end(), {uint64_t(bound) * 2 - 1, uint64_t(bound) * 2});
  Values values;
  for (uint64_t u : us) {
    if (u <= uint64_t(bound) * 2 && u <= UINT32_MAX) values.push_back(FromZigZag(u));
  }
  return values;
}

TEST(ResidualCoder, EveryCodeRoundTripsAtEveryLimitWithTheModelledSize) {
  for (int code = 0; code <= 50; ++code) {
    for (uint32_t bound : {1u, 5u, 1000u, 70001u, 1u << 20, 1u << 28, 0x80000000u}) {
      SCOPED_TRACE(testing::Message() << "code " << code << " bound " << bound);
      const Values values = code == 0 ? Values(9, 0) : LimitValues(code, bound);
      const int32_t n = int32_t(values.size());
      const int escWidth = EscapeWidth(bound, code);
      const TBits bits = Written(
          [&](TBitOutStream& w) { EncodeResidualBlock(w, code, escWidth, n, values.data()); });
      EXPECT_EQ(bits.Count, ResidualBlockBits(values.data(), n, code, bound).Bits);
      Values out(values.size());
      EXPECT_TRUE(ReadExact(bits.Bytes, bits.Bytes.size(), [&](TBitInStream& r) {
        return DecodeResidualBlock(code, escWidth, r, n, out.data()) && r.BitsRead() == bits.Count;
      }));
      EXPECT_EQ(out, values);
    }
  }
}

TEST(ResidualCoder, ExactBitImages) {
  // The bits of the values under a code, in stream order, fields separated by spaces.
  const auto image = [](int code, int escWidth, const Values& values) {
    const int32_t n = int32_t(values.size());
    return Written(
               [&](TBitOutStream& w) { EncodeResidualBlock(w, code, escWidth, n, values.data()); })
        .Text();
  };
  const auto bits = [](std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
  };
  // Code 3: fields 1, 4, 5, 7 for 0, +3, -1, -3; +4 is three zeros, unary 0 and a plus sign.
  EXPECT_EQ(image(3, 1, {0, 3, -1, -3, 4}), bits("100 001 101 111 000 1 0"));
  // Code 3 escapes: seven zeros, then a - 8 with the sign on top of escWidth bits.
  EXPECT_EQ(image(3, 4, {9, -10}), bits("0000000 1000 0000000 0101"));
  // Code 4: u = 44 = E is prefix M = 6, bit 0 and nine zeros, with no quotient at width 10.
  EXPECT_EQ(image(4, 10, {22}), bits("011 0 000000000"));
  // Code 4, u = 3, 5 and 13: prefix alone; prefix 4 and bit 1; prefix 6, bit 1, unary 1.
  EXPECT_EQ(image(4, 10, {-2, -3, -7}), bits("110 001 1 011 1 01"));
  // Code 4, u = 64: quotient 5 in escWidth - 10 = 3 bits.
  EXPECT_EQ(image(4, 13, {32}), bits("011 0 000000000 101"));
}

TEST(ResidualCoder, DecodingRejectsValuesThatAreNoSample) {
  // Code 50 escape: prefix M + r/2 with bit r mod 2 (27 bits), nine zeros, quotient q (18 bits),
  // u = E + r + D x q with E = 310378496, D = 25165824, M = 54525952.
  const auto decodesB = [](uint64_t u, int32_t& x) {
    const uint64_t w = u - 310378496, q = w / 25165824, r = w % 25165824;
    const TBits bits =
        Fields({{uint32_t(54525952 + r / 2 + (r % 2 << 26)), 27}, {0, 9}, {uint32_t(q), 18}});
    return ReadExact(bits.Bytes, bits.Bytes.size(),
                     [&](TBitInStream& rd) { return DecodeResidualBlock(50, 28, rd, 1, &x); });
  };
  // Code 1 escape at the widest field: a = m + 5, sign on top.
  const auto decodesA = [](uint32_t m, int32_t& x) {
    const TBits bits = Fields({{0, 5}, {m, 32}});
    return ReadExact(bits.Bytes, bits.Bytes.size(),
                     [&](TBitInStream& rd) { return DecodeResidualBlock(1, 32, rd, 1, &x); });
  };
  int32_t x = 0;
  EXPECT_TRUE(decodesB(0xFFFFFFFFu, x));
  EXPECT_EQ(x, INT32_MIN);
  EXPECT_FALSE(decodesB(0x100000000u, x));
  EXPECT_FALSE(decodesB(310378496 + uint64_t(25165824) * 0x3FFFF, x));
  EXPECT_TRUE(decodesA(0x7FFFFFFAu, x));
  EXPECT_EQ(x, INT32_MAX);
  EXPECT_FALSE(decodesA(0x7FFFFFFBu, x));
  EXPECT_TRUE(decodesA(0xFFFFFFFBu, x));
  EXPECT_EQ(x, INT32_MIN);
  EXPECT_FALSE(decodesA(0xFFFFFFFCu, x));
}

TEST(ResidualCoder, InvalidCodesAndWidthsFailOrAssert) {
  const TBits zeros = Fields({}, 256);
  int32_t out[4];
  const auto decodes = [&](int code, int escWidth) {
    return ReadExact(zeros.Bytes, zeros.Bytes.size(), [&](TBitInStream& r) {
      return DecodeResidualBlock(code, escWidth, r, 4, out);
    });
  };
  EXPECT_TRUE(decodes(1, 1));
  EXPECT_TRUE(decodes(4, 42));
  for (const auto& [code, escWidth] :
       std::vector<std::pair<int, int>>{{51, 1}, {-1, 1}, {1, 0}, {1, 33}, {4, 43}})
    EXPECT_FALSE(decodes(code, escWidth)) << code << " " << escWidth;

  uint8_t buffer[64];
  TBitOutStream writer;
  writer.InitWriter(buffer, sizeof buffer);
  const int32_t sixteen = 16, fiftyFour = 54, one = 1;
  EXPECT_THROW(EncodeResidualBlock(writer, 3, 4, 1, &sixteen), EzqAssertionFailure);     // m = 8
  EXPECT_THROW(EncodeResidualBlock(writer, 4, 13, 1, &fiftyFour), EzqAssertionFailure);  // q = 16
  EXPECT_THROW(EncodeResidualBlock(writer, 0, 1, 1, &one), EzqAssertionFailure);
  EXPECT_THROW(EncodeResidualBlock(writer, 51, 1, 1, &one), EzqAssertionFailure);
  EXPECT_THROW(ResidualBlockBits(&one, 1, 52, 1), EzqArgumentOutOfRange);
}

TEST(ResidualCoder, CodeFromMeanThresholds) {
  EXPECT_EQ(CodeFromMean(0), 0);
  EXPECT_EQ(CodeFromMean(1e-9), 1);
  EXPECT_EQ(CodeFromMean(31.49 / 32), 1);
  EXPECT_EQ(CodeFromMean(31.5 / 32), 2);  // ties to even: 32
  EXPECT_EQ(CodeFromMean(48.5 / 32), 2);  // ties to even: 48, below 49
  EXPECT_EQ(CodeFromMean(49.0 / 32), 3);
  EXPECT_EQ(CodeFromMean(30876303.359374), 50);
  EXPECT_EQ(CodeFromMean(30876303.359375), 51);  // 988041707.5 to the even 988041708
  EXPECT_EQ(CodeFromMean(1e12), 51);
  EXPECT_THROW(CodeFromMean(-1), EzqArgument);
  EXPECT_THROW(CodeFromMean(std::nan("")), EzqArgument);
}

TEST(ResidualCoder, EstimatedBits) {
  EXPECT_EQ(EstimateResidualBits(100, 0), 0);
  EXPECT_EQ(EstimateResidualBits(100, 1), 200);
  EXPECT_EQ(EstimateResidualBits(100, 8), 550);
  EXPECT_EQ(EstimateResidualBits(1, 2), 4);  // 3.5 to the even 4
  EXPECT_EQ(EstimateResidualBits(1, 4), 4);  // 4.5 to the even 4
  EXPECT_EQ(EstimateResidualBits(1000, 3), 4085);
}

TEST(ResidualCoder, SearchWalksDownOrElseUpWhileStrictlyCheaper) {
  std::mt19937 random(11);
  int downward = 0, upward = 0;
  for (int round = 0; round < 400; ++round) {
    const int32_t count = 1 + int32_t(random() % 300);
    const double scale = std::pow(2.0, double(random() % 200) / 10);
    Values values = round % 2 ? LaplaceNoise(count, scale, random)
                              : UniformNoise(count, int32_t(scale), random);
    if (round % 5 == 0) values[random() % values.size()] = int32_t(scale * 1000);
    const TMoments m = MomentsOf(values);
    const TResidualCode found = SearchResidualCode(values.data(), count, m.Largest, m.Mean);
    const auto cost = [&](int code) {
      return ResidualBlockBits(values.data(), count, code, m.Largest).Bits;
    };
    const int start = std::clamp(CodeFromMean(m.Mean), 1, 50);
    const int step = found.Code < start ? -1 : 1;
    downward += found.Code < start;
    upward += found.Code > start;
    SCOPED_TRACE(testing::Message() << "start " << start << " found " << found.Code);
    EXPECT_EQ(found.Bits, cost(found.Code));
    EXPECT_EQ(found.EscWidth, EscapeWidth(m.Largest, found.Code));
    for (int code = start; code != found.Code; code += step) {
      EXPECT_LT(cost(code + step), cost(code));
    }
    // The walk ends where the next step does not pay, and goes up only when down did not pay.
    if (found.Code + step >= 1 && found.Code + step <= 50) {
      EXPECT_GE(cost(found.Code + step), found.Bits);
    }
    if (step > 0 && start > 1) {
      EXPECT_GE(cost(start - 1), cost(start));
    }
  }
  EXPECT_GT(downward, 10);
  EXPECT_GT(upward, 10);
  const TResidualCode silent = SearchResidualCode(nullptr, 0, 0, 0);
  EXPECT_EQ(silent.Code + silent.EscWidth + silent.Bits, 0);
}

TEST(ResidualCoder, SingleModeCodesFromMeansKeepTheirEscapeWidthWritable) {
  EXPECT_EQ(SingleModeCodeFromMean(0, 0), 0);
  EXPECT_EQ(SingleModeCodeFromMean(3, 1000), 4);
  EXPECT_EQ(SingleModeCodeFromMean(1e12, 1000), 50);
  const int raised = SingleModeCodeFromMean(3, 0x80000000u);
  EXPECT_LE(EscapeWidth(0x80000000u, raised), kMaxEscWidth);
  EXPECT_GT(EscapeWidth(0x80000000u, raised - 1), kMaxEscWidth);
}

// ---- Blocks ---------------------------------------------------------------------------------

struct TStream {
  int32_t Rate = 44100;
  int Bits = 16;
  int32_t Capacity = 4096;
};

struct TBlock {
  TResidualParams Params;
  int64_t Cost = 0;
  TBits Bits;
};

TBlock EncodeBlock(TBitCompressor& compressor, const Values& values) {
  TBlock block;
  const int32_t n = int32_t(values.size());
  block.Cost = compressor.Analyse(values.data(), n, block.Params);
  block.Bits =
      Written([&](TBitOutStream& w) { compressor.WriteBlock(w, block.Params, n, values.data()); });
  EXPECT_LE(block.Bits.Bytes.size(), size_t(MaxResidualBlockBytes(n)));
  return block;
}

bool DecodeBlock(const std::vector<uint8_t>& bytes, size_t length, Values& out,
                 const TStream& stream = {}) {
  TBitDecompressor decompressor(stream.Rate, stream.Capacity, stream.Bits);
  return ReadExact(bytes, length, [&](TBitInStream& r) {
    return decompressor.ReadBlock(r, out.data(), int32_t(out.size())) &&
           r.BytesRead() == int32_t(length);
  });
}

// Analysis, writing and reading. With search the cost is the exact size less the block header
// (mode, code and width; or mode, method, first code and boundLog2). Portable kernels and a second
// run write the same bytes.
TBlock ExpectBlockRoundTrip(const Values& values, bool search, const TStream& stream = {}) {
  TBitCompressor compressor(DefaultCpuFlags(), stream.Capacity, stream.Bits, stream.Rate, search);
  const TBlock block = EncodeBlock(compressor, values);
  Values out(values.size());
  EXPECT_TRUE(DecodeBlock(block.Bits.Bytes, block.Bits.Bytes.size(), out, stream));
  EXPECT_EQ(out, values);

  const TResidualParams& p = block.Params;
  if (p.PartitionCount == 1) {
    EXPECT_LE(p.EscWidth, kMaxEscWidth);
    const int32_t n = int32_t(values.size());
    EXPECT_EQ(block.Bits.Count,
              (p.Code ? 12 : 7) + ResidualBlockBits(values.data(), n, p.Code, p.Bound).Bits);
  }
  if (search) {
    EXPECT_EQ(block.Bits.Count - block.Cost, p.PartitionCount > 1 ? 14 : p.Code ? 12 : 7);
  }
  TBitCompressor portable(0, stream.Capacity, stream.Bits, stream.Rate, search);
  EXPECT_EQ(EncodeBlock(portable, values).Bits.Bytes, block.Bits.Bytes);
  EXPECT_EQ(EncodeBlock(compressor, values).Bits.Bytes, block.Bits.Bytes);
  return block;
}

// Values partition by partition of the layout at 44100 Hz, 16 bits (48 partitions for 4096).
Values ByPartition(int32_t count, const std::function<void(int32_t, Values&)>& fill) {
  const TFramePositions grid(44100, 4, 4, 128, 3, 4096);
  TSubFramePositions layout(grid);
  layout.SetLayout(count, 3);
  Values values;
  for (int32_t i = 0; i < layout.Count(); ++i) {
    Values part(static_cast<size_t>(layout.PartitionSize(i)));
    fill(i, part);
    values.insert(values.end(), part.begin(), part.end());
  }
  return values;
}

Values MixedLoudness(int32_t count, std::mt19937& random) {
  return ByPartition(count, [&](int32_t i, Values& part) {
    part = LaplaceNoise(int32_t(part.size()), i % 6 < 3 ? 3 : 3000, random);
  });
}

TEST(ResidualBlock, AllZeroBlockIsSevenBits) {
  for (bool search : {true, false}) {
    const TBlock block = ExpectBlockRoundTrip(Values(4096, 0), search);
    EXPECT_EQ(block.Bits.Text(), "0000000");
    EXPECT_EQ(block.Cost, 0);
  }
  EXPECT_EQ(ExpectBlockRoundTrip(Values(), true).Bits.Count, 7);
}

TEST(ResidualBlock, GeneratedSignalsRoundTrip) {
  std::mt19937 random(5);
  for (const TStream& stream :
       {TStream{44100, 16, 4096}, {8000, 8, 1000}, {96000, 24, 16384}, {48000, 8, 333}}) {
    for (bool search : {true, false}) {
      SCOPED_TRACE(testing::Message() << stream.Rate << " search " << search);
      for (int k = 0; k <= 31; k += 3) {
        const int32_t count = 1 + int32_t(random() % uint32_t(stream.Capacity));
        ExpectBlockRoundTrip(LaplaceNoise(count, std::ldexp(1.0, k), random), search, stream);
        Values spike(static_cast<size_t>(count), 0);
        spike[random() % spike.size()] = k == 30 ? INT32_MIN : int32_t(1) << k;  // 2^31 at last
        ExpectBlockRoundTrip(spike, search, stream);
      }
      ExpectBlockRoundTrip(UniformNoise(stream.Capacity, INT32_MAX, random), search, stream);
    }
  }
}

TEST(ResidualBlock, MixedLoudnessPicksPartitionedMode) {
  std::mt19937 random(9);
  const Values values = MixedLoudness(4096, random);
  for (bool search : {true, false}) {
    const TBlock block = ExpectBlockRoundTrip(values, search);
    EXPECT_EQ(block.Params.PartitionCount, 48);
    EXPECT_EQ(block.Params.BoundLog2, CeilLog2(MomentsOf(values).Largest));
  }
}

TEST(ResidualBlock, AnalyseChoosesEachCodeListMethod) {
  std::mt19937 random(13);
  // Codes alternating far apart: fixed-width offsets.
  const Values alternating = ByPartition(4096, [&](int32_t i, Values& part) {
    part = LaplaceNoise(int32_t(part.size()), i % 2 ? 2 : 100000, random);
  });
  // Equal codes with one jump: runs of equal codes.
  const Values steady = ByPartition(4096, [&](int32_t i, Values& part) {
    for (size_t j = 0; j < part.size(); ++j) part[j] = (j % 2 ? 1 : -1) * (i == 20 ? 50000 : 40);
  });
  // About one code more per partition: steps of one.
  const Values rising = ByPartition(4096, [&](int32_t i, Values& part) {
    part = LaplaceNoise(int32_t(part.size()), std::pow(1.42, i) + 1, random);
  });
  for (bool search : {true, false}) {
    SCOPED_TRACE(search);
    EXPECT_EQ(ExpectBlockRoundTrip(alternating, search).Params.ListMethod, 0);
    EXPECT_EQ(ExpectBlockRoundTrip(steady, search).Params.ListMethod, 1);
    EXPECT_EQ(ExpectBlockRoundTrip(rising, search).Params.ListMethod, 2);
  }
}

TEST(ResidualBlock, EveryCodeListMethodRoundTrips) {
  // Differences 0, +-1, +-2..8 and beyond 8 (stored as the code itself), and a silent partition.
  const int steps[] = {0, 1, -1, 2, -2, 8, -8, 9, -9, 25, -25, 5, -5, -20, 20, 0};
  TResidualParams params;
  params.Level = 3;
  params.PartitionCount = 48;
  params.BoundLog2 = 12;
  for (int32_t i = 0, code = 20; i < 48; code += steps[i % 16], ++i)
    params.Codes[size_t(i)] = uint8_t(code);
  params.BaseCode = 0;
  params.ListWidth = 6;  // codes 0..45
  std::mt19937 random(17);
  const Values values = ByPartition(4096, [&](int32_t i, Values& part) {
    if (params.Codes[size_t(i)] != 0) part = UniformNoise(int32_t(part.size()), 4096, random);
  });
  TBitCompressor compressor(0, 4096, 16, 44100, true);
  for (int method = 0; method <= 2; ++method) {
    params.ListMethod = method;
    const TBits bits =
        Written([&](TBitOutStream& w) { compressor.WriteBlock(w, params, 4096, values.data()); });
    EXPECT_EQ(bits.Bytes[0] >> 1 & 3, method);
    Values out(4096);
    EXPECT_TRUE(DecodeBlock(bits.Bytes, bits.Bytes.size(), out)) << method;
    EXPECT_EQ(out, values) << method;
  }
}

TEST(ResidualBlock, MeansBeyondTheTableAreWrittenWithCode50) {
  Values values(4096);
  for (size_t i = 0; i < values.size(); ++i) values[i] = i % 2 ? 1 << 27 : -(1 << 27);
  const TBlock block = ExpectBlockRoundTrip(values, false);
  EXPECT_EQ(block.Params.PartitionCount, 1);
  EXPECT_EQ(block.Params.Code, 50);
}

TEST(ResidualBlock, MagnitudesAbove2To28UseSingleMode) {
  std::mt19937 random(19);
  Values values = MixedLoudness(4096, random);
  values[100] = (1 << 28) + 1;
  for (bool search : {true, false})
    EXPECT_EQ(ExpectBlockRoundTrip(values, search).Params.PartitionCount, 1);
  values[100] = 1 << 28;  // still within a partitioned block's bound
  EXPECT_EQ(ExpectBlockRoundTrip(values, true).Params.BoundLog2, 28);
}

// Small family B codes need escape fields wider than single mode carries once magnitudes reach a
// few million; the plain search settles on such a code for this block, single mode must not.
TEST(ResidualBlock, SingleModeKeepsAWritableEscapeWidth) {
  std::mt19937 random(3432444595u);
  Values values = LaplaceNoise(15407, 8, random);
  values[14175] = 1 << 21;
  const TMoments m = MomentsOf(values);
  ASSERT_GT(SearchResidualCode(values.data(), 15407, m.Largest, m.Mean).EscWidth, kMaxEscWidth);
  const TResidualCode single = SearchSingleModeCode(values.data(), 15407, m.Largest, m.Mean);
  EXPECT_LE(single.EscWidth, kMaxEscWidth);
  EXPECT_GT(EscapeWidth(m.Largest, single.Code - 1), kMaxEscWidth);

  const TBlock block = ExpectBlockRoundTrip(values, true, {22050, 16, 16384});
  EXPECT_EQ(block.Params.PartitionCount, 1);
  EXPECT_EQ(block.Params.Code, single.Code);
}

// Blocks of 172 values at 44100 Hz have two partitions (88 and 84 values); zero padding decodes
// as valid values under any code, so only the field under test can make a block fail.
bool ReadsTwoPartitions(const TFields& fields, int32_t count = 172) {
  const TBits bits = Fields(fields, 8000);
  Values out(static_cast<size_t>(count));
  TBitDecompressor decompressor(44100, 4096, 16);
  return ReadExact(bits.Bytes, bits.Bytes.size(),
                   [&](TBitInStream& r) { return decompressor.ReadBlock(r, out.data(), count); });
}

TEST(ResidualBlock, SingleModeFieldsAreChecked) {
  EXPECT_TRUE(ReadsTwoPartitions({{0, 1}, {5, 6}, {28, 5}}));
  EXPECT_TRUE(ReadsTwoPartitions({{0, 1}, {50, 6}, {1, 5}}));
  for (uint32_t width : {0u, 29u, 30u, 31u})
    EXPECT_FALSE(ReadsTwoPartitions({{0, 1}, {5, 6}, {width, 5}}));
  for (uint32_t code = 51; code < 64; ++code)
    EXPECT_FALSE(ReadsTwoPartitions({{0, 1}, {code, 6}, {1, 5}}));
}

TEST(ResidualBlock, PartitionedFieldsAreChecked) {
  // Mode 1, method, code list, boundLog2 3 (or as given).
  const auto block = [](TFields list, uint32_t boundLog2 = 3) {
    list.insert(list.begin(), {1, 1});
    list.push_back({boundLog2, 5});
    return list;
  };
  const std::pair<TFields, bool> cases[] = {
      // Method 0: smallest code, width - 1, offsets.
      {block({{0, 2}, {49, 6}, {0, 3}, {1, 1}, {0, 1}}), true},
      {block({{0, 2}, {50, 6}, {0, 3}, {1, 1}, {0, 1}}), false},
      {block({{0, 2}, {51, 6}, {0, 3}, {0, 1}, {0, 1}}), false},
      // Method 1: first code; d = 0 as a one bit, |d| <= 8 as unary and sign, else the code.
      {block({{1, 2}, {7, 6}, {1, 1}}), true},
      {block({{1, 2}, {1, 6}, {0b10, 2}, {1, 1}}), true},      // 1 - 1
      {block({{1, 2}, {0, 6}, {0b10, 2}, {1, 1}}), false},     // 0 - 1
      {block({{1, 2}, {45, 6}, {1 << 6, 7}, {0, 1}}), false},  // 45 + 6
      {block({{1, 2}, {3, 6}, {50 << 9, 15}}), true},
      {block({{1, 2}, {3, 6}, {51 << 9, 15}}), false},
      {block({{1, 2}, {51, 6}, {1, 1}}), false},
      // Method 2: fields 1, 3, 2 for 0, +1, -1; 0, then unary |d| - 2 and sign, or the code.
      {block({{2, 2}, {49, 6}, {3, 2}}), true},
      {block({{2, 2}, {50, 6}, {3, 2}}), false},
      {block({{2, 2}, {0, 6}, {2, 2}}), false},
      {block({{2, 2}, {42, 6}, {0, 2}, {1 << 6, 7}, {0, 1}}), true},   // 42 + 8
      {block({{2, 2}, {43, 6}, {0, 2}, {1 << 6, 7}, {0, 1}}), false},  // 43 + 8
      {block({{2, 2}, {4, 6}, {0, 2}, {1 << 3, 4}, {1, 1}}), false},   // 4 - 5
      {block({{2, 2}, {5, 6}, {0, 2}, {0, 7}, {63, 6}}), false},
      // Method 3 and the bound.
      {block({{3, 2}, {7, 6}, {1, 1}}), false},
      {block({{1, 2}, {7, 6}, {1, 1}}, 28), true},
      {block({{1, 2}, {7, 6}, {1, 1}}, 29), false},
      {block({{1, 2}, {7, 6}, {1, 1}}, 31), false},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(ReadsTwoPartitions(cases[i].first), cases[i].second) << i;
  EXPECT_FALSE(ReadsTwoPartitions(block({{1, 2}, {7, 6}}), 87));  // a single partition
}

TEST(ResidualBlock, PartitionedBlockWithEqualCodesIsAccepted) {
  std::mt19937 random(29);
  const Values values = UniformNoise(172, 8, random);
  const TBits bits = Written([&](TBitOutStream& w) {
    w.WriteBits(1 | 1 << 1 | 3 << 3 | 1 << 9, 10);  // mode 1, method 1, code 3, d = 0
    w.WriteBits(3, 5);                              // bound 8
    EncodeResidualBlock(w, 3, EscapeWidth(8, 3), 172, values.data());
  });
  Values out(172);
  EXPECT_TRUE(DecodeBlock(bits.Bytes, bits.Bytes.size(), out));
  EXPECT_EQ(out, values);
}

TEST(ResidualBlock, EveryTruncationFailsCleanly) {
  std::mt19937 random(31);
  for (const Values& values : {MixedLoudness(2000, random), LaplaceNoise(500, 1e6, random)}) {
    const TBlock block = ExpectBlockRoundTrip(values, true);
    Values out(values.size());
    for (size_t length = 0; length < block.Bits.Bytes.size(); ++length)
      ASSERT_FALSE(DecodeBlock(block.Bits.Bytes, length, out)) << length;
  }
}

TEST(ResidualBlock, CallerErrorsAreAssertionFailures) {
  std::mt19937 random(37);
  Values values = MixedLoudness(4096, random);
  TBitCompressor compressor(0, 4096, 16, 44100, true);
  TResidualParams params;
  EXPECT_THROW(compressor.Analyse(values.data(), 4097, params), EzqAssertionFailure);
  compressor.Analyse(values.data(), 4096, params);
  ASSERT_EQ(params.PartitionCount, 48);
  std::vector<uint8_t> buffer(size_t(MaxResidualBlockBytes(4096)));
  TBitOutStream writer;
  writer.InitWriter(buffer.data(), int32_t(buffer.size()));
  EXPECT_THROW(compressor.WriteBlock(writer, params, 4097, values.data()), EzqAssertionFailure);
  EXPECT_THROW(compressor.WriteBlock(writer, params, 4000, values.data()), EzqAssertionFailure);
  params.Level = 2;  // the decoder would lay out other partitions
  EXPECT_THROW(compressor.WriteBlock(writer, params, 4096, values.data()), EzqAssertionFailure);
  TBitDecompressor decompressor(44100, 4096, 16);
  TBitInStream reader;
  reader.InitReader(buffer.data(), int32_t(buffer.size()));
  EXPECT_THROW(decompressor.ReadBlock(reader, values.data(), 4097), EzqAssertionFailure);
}

// The costliest value of any block Analyse can choose: an escape at the largest bound of
// partitioned mode, or at the largest magnitude whose escape width single mode can write.
TEST(ResidualBlock, MaxBytesCoverTheCostliestValues) {
  int64_t worst = 0;
  for (int code = 1; code <= 50; ++code) {
    for (int k = 0; k <= 31; ++k) {
      const uint32_t largest = uint32_t(1) << k;
      const int32_t value = int32_t(0u - largest);
      if (k <= 28 || EscapeWidth(largest, code) <= kMaxEscWidth)
        worst = std::max(worst, ResidualBlockBits(&value, 1, code, largest).Bits);
    }
  }
  EXPECT_GE(int64_t(MaxResidualBlockBytes(1000) - MaxResidualBlockBytes(0)) * 8, 1000 * worst);
}

}  // namespace
}  // namespace lym

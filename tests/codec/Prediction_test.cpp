#include "codec/Prediction.h"

#include <gtest/gtest.h>

#include <random>

#include "FrameWriter.h"
#include "KernelHarness.h"

namespace lym {
namespace {

using test::Values;

// Residuals and warm-up values drawn from the patterns that break vector code: scaled values of
// every width, so that some runs leave the 16-bit history and finish on the 32-bit rule.
Values RandomInput(std::mt19937& random, int32_t length) {
  const auto pattern = test::kValuePatterns[random() % std::size(test::kValuePatterns)];
  Values x = test::RandomValues<int32_t>(random, size_t(length), pattern);
  const int width = 4 + int(random() % 20);
  for (int32_t& v : x) v = int32_t(uint32_t(v) >> (32 - width)) - (1 << (width - 1));
  return x;
}

TCoefficientSet RandomSet(std::mt19937& random, int32_t order) {
  TCoefficientSet set;
  set.Order = order;
  set.CoefficientShift = int32_t(random() % 8);
  const int32_t limit = 1 << (random() % 15);
  for (int32_t j = 0; j < order; ++j)
    set.Coefficients[j] = int32_t(random() % uint32_t(2 * limit)) - limit;
  return set;
}

// Every vector level against the portable rule, over every order, lengths up to 300 beyond the
// order and shifted starts, with guarded buffers.
TEST(Prediction, VectorSynthesisMatchesThePortableRule) {
  std::mt19937 random(test::TestSeed());
  TSynthesisScratch scratch(kMaxOrder + 400);
  for (int32_t order : kOrderTable) {
    for (int round = 0; round < 40; ++round) {
      const int32_t length = order + int32_t(random() % 301);
      const TCoefficientSet set = RandomSet(random, order);
      const int s = int(random() % 16);
      const Values input = RandomInput(random, length);
      test::TPaddedBuffer<int32_t> expected(input, random() % 8, 4);
      SynthesizePrediction(PredictionKernelsAt(TKernelLevel::Portable), set, s, expected.Data(),
                           length, scratch);
      for (TKernelLevel level : test::VectorLevels()) {
        SCOPED_TRACE(KernelLevelName(level));
        test::TPaddedBuffer<int32_t> actual(input, random() % 8, 4);
        SynthesizePrediction(PredictionKernelsAt(level), set, s, actual.Data(), length, scratch);
        ASSERT_EQ(actual.Values(), expected.Values()) << "order " << order << " length " << length;
        ASSERT_TRUE(actual.GuardsIntact());
      }
    }
  }
}

TEST(Prediction, PreviousValuePredictor) {
  // Coefficients 0, 0, 0, 1024 with p = 0 predict each value as the previous scaled one.
  TCoefficientSet set;
  set.Order = 4;
  set.Coefficients[3] = 1024;
  Values x = {5, -7, 100, 8000, 0, 0, 0, 0};
  Values expected = x;
  for (size_t t = 4; t < x.size(); ++t) expected[t] = expected[t - 1];
  TSynthesisScratch scratch(16);
  test::ForEachLevel([&](TKernelLevel level) {
    Values values = x;
    SynthesizePrediction(PredictionKernelsAt(level), set, 0, values.data(), 8, scratch);
    EXPECT_EQ(values, expected);
  });
}

TEST(Prediction, RoundingAndClamping) {
  EXPECT_EQ(RoundPrediction(512, 10), 1);
  EXPECT_EQ(RoundPrediction(511, 10), 0);
  EXPECT_EQ(RoundPrediction(-512, 10), -1);
  EXPECT_EQ(RoundPrediction(-511, 10), 0);
  EXPECT_EQ(RoundPrediction(INT32_MAX, 3), 8191);
  EXPECT_EQ(RoundPrediction(INT32_MIN, 3), -8191);
  EXPECT_EQ(ScaleDown(-9, 3), -1);
  EXPECT_EQ(ScaleDown(9, 3), 1);
  EXPECT_EQ(ScaleDown(INT32_MIN, 31), -1);
}

// Reads a coefficient set written by the test writer.
bool ReadBack(const test::CoefficientSpec& spec, TCoefficientSet& set) {
  test::FrameWriter writer(44100, 16, 64);
  writer.CoefficientSet(spec);
  const auto bytes = writer.Finish();
  TBitInStream reader;
  reader.InitReader(bytes.data(), int32_t(bytes.size()));
  return ReadCoefficientSet(reader, spec.order, set);
}

TEST(Prediction, CoefficientSetsOfEveryOrderAndForm) {
  std::mt19937 random(test::TestSeed());
  for (int32_t order : kOrderTable) {
    for (bool differential : {false, true}) {
      if (differential && order < 12) continue;
      test::CoefficientSpec spec{order, int(random() % 8), differential, {}};
      const int32_t limit = 1 << (random() % 13);
      for (int32_t j = 0; j < order; ++j)
        spec.c.push_back(int32_t(random() % uint32_t(2 * limit)) - limit);
      spec.c[size_t(random() % size_t(order))] = 0;
      TCoefficientSet set;
      ASSERT_TRUE(ReadBack(spec, set)) << order;
      EXPECT_EQ(set.CoefficientShift, spec.p);
      EXPECT_EQ(Values(set.Coefficients, set.Coefficients + order), spec.c) << order;
    }
  }
}

TEST(Prediction, InvalidCoefficientSets) {
  TCoefficientSet set;
  // Differential coefficients must stay below 8192 in magnitude.
  test::CoefficientSpec wide{12, 0, true, Values(12, 0)};
  wide.c[5] = 8191;
  EXPECT_TRUE(ReadBack(wide, set));
  wide.c[5] = -8192;
  EXPECT_FALSE(ReadBack(wide, set));

  // A group width of 0 (orders up to 16), or a reduction below width 1 (above).
  auto read = [&](int32_t order, std::initializer_list<std::pair<uint32_t, int>> fields) {
    TBitOutStream writer;
    uint8_t buffer[64] = {};
    writer.InitWriter(buffer, sizeof buffer);
    for (const auto& [value, bits] : fields) writer.WriteBits(value, bits);
    TBitInStream reader;
    reader.InitReader(buffer, sizeof buffer);
    return ReadCoefficientSet(reader, order, set);
  };
  EXPECT_FALSE(read(4, {{0, 3}, {0, 4}}));
  EXPECT_TRUE(read(4, {{0, 3}, {1, 4}}));
  EXPECT_FALSE(read(24, {{0, 3}, {0, 1}, {3, 4}, {0, 1}, {3, 2}}));
  // Order 8 has no differential flag: its first width follows the shift directly.
  EXPECT_TRUE(read(8, {{0, 3}, {1, 4}, {0, 4}, {2, 4}}));
  EXPECT_FALSE(read(8, {{0, 3}, {0, 4}}));
}

}  // namespace
}  // namespace lym

#include "codec/DifferenceOrder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "foundation/CpuUtil.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

using Values = std::vector<int32_t>;

Values Applied(Values values, int order) {
  ApplyDifferenceOrder(values.data(), int32_t(values.size()), order);
  return values;
}

TEST(DifferenceOrder, OrdersOfASmallExample) {
  const Values x = {5, 7, 4, 10, 10};
  EXPECT_EQ(Applied(x, 0), x);
  EXPECT_EQ(Applied(x, 1), (Values{5, 2, -3, 6, 0}));
  EXPECT_EQ(Applied(x, 2), (Values{5, 2, -5, 9, -6}));
  EXPECT_EQ(Applied({9}, 2), Values{9});
  EXPECT_EQ(Applied({9, 4}, 2), (Values{9, -5}));
}

TEST(DifferenceOrder, UndoRestoresAnyValuesThroughWrapAround) {
  std::mt19937 random(7);
  for (int32_t count : {0, 1, 2, 3, 100}) {
    Values x(static_cast<size_t>(count));
    for (int32_t& v : x) v = int32_t(random());
    if (count >= 3) x[0] = INT32_MIN, x[1] = INT32_MAX, x[2] = INT32_MIN;
    for (int order = 0; order <= kMaxDifferenceOrder; ++order) {
      Values y = Applied(x, order);
      UndoDifferenceOrder(y.data(), count, order);
      EXPECT_EQ(y, x) << count << " " << order;
    }
  }
}

TEST(DifferenceOrder, OrdersOutsideZeroToTwoAreRangeErrors) {
  int32_t v = 0;
  EXPECT_THROW(ApplyDifferenceOrder(&v, 1, 3), EzqArgumentOutOfRange);
  EXPECT_THROW(UndoDifferenceOrder(&v, 1, -1), EzqArgumentOutOfRange);
}

TEST(DifferenceOrder, SumsAreExactMagnitudesOfEachOrder) {
  const Values x = {5, 7, 4, 10, 10};
  const TDifferenceSums sums = DifferenceSums(x.data(), 5);
  EXPECT_EQ(sums.S0, 36u);
  EXPECT_EQ(sums.S1, 16u);  // 5 + 2 + 3 + 6 + 0
  EXPECT_EQ(sums.S2, 27u);  // 5 + 2 + 5 + 9 + 6
  // Differences of extreme values are taken exactly, not wrapped.
  const Values extremes = {INT32_MIN, INT32_MAX, INT32_MIN};
  const TDifferenceSums wide = DifferenceSums(extremes.data(), 3);
  EXPECT_EQ(wide.S1, (1ull << 31) + 2 * ((1ull << 32) - 1));
  EXPECT_EQ(wide.S2, (1ull << 31) + ((1ull << 32) - 1) + 2 * ((1ull << 32) - 1));
}

TEST(DifferenceOrder, ChoiceTakesTheSmallestSumAndTheLowerOrderOnTies) {
  const auto choose = [](const Values& x) {
    return ChooseDifferenceOrder(x.data(), int32_t(x.size()));
  };
  const TDifferenceChoice ramp = choose({10, 20, 30, 40, 50, 60});  // sums 210, 60, 20
  EXPECT_EQ(ramp.Order, 2);
  EXPECT_EQ(ramp.Sum, 20u);
  EXPECT_EQ(choose({10, 20, 30, 31, 10, 40}).Order, 1);  // sums 141, 82, 102
  EXPECT_EQ(choose({0, 1, 0, 1}).Order, 0);              // sums 2, 3, 5
  const TDifferenceChoice tie01 = choose({0, 2, 1});     // sums 3, 3: order 0 stays
  EXPECT_EQ(tie01.Order, 0);
  EXPECT_EQ(tie01.Sum, 3u);
  const TDifferenceChoice tie12 = choose({0, 2, 4, 4});  // sums 10, 4, 4: order 1 stays
  EXPECT_EQ(tie12.Order, 1);
  EXPECT_EQ(tie12.Sum, 4u);
}

TEST(DifferenceOrder, DifferenceBlocksRoundTrip) {
  TBitCompressor compressor(DefaultCpuFlags(), 4096, 16, 44100, true);
  TBitDecompressor decompressor(44100, 4096, 16);
  Values x(1000);
  for (size_t i = 0; i < x.size(); ++i) x[i] = int32_t(1000 * std::sin(double(i) / 20));
  const TDifferenceChoice choice = ChooseDifferenceOrder(x.data(), 1000);
  ASSERT_EQ(choice.Order, 2);
  Values residuals = Applied(x, choice.Order);
  TResidualParams params;
  compressor.Analyse(residuals.data(), 1000, params);

  std::vector<uint8_t> buffer(size_t(MaxResidualBlockBytes(1000)) + 1);
  TBitOutStream writer;
  writer.InitWriter(buffer.data(), int32_t(buffer.size()));
  WriteDifferenceBlock(writer, compressor, choice.Order, residuals.data(), 1000, params);
  EXPECT_EQ(buffer[0] & 3, 2);

  TBitInStream reader;
  reader.InitReader(buffer.data(), writer.Finish());
  Values decoded(1000);
  int order = -1;
  ASSERT_TRUE(ReadDifferenceBlock(reader, decompressor, decoded.data(), 1000, order));
  EXPECT_EQ(order, 2);
  UndoDifferenceOrder(decoded.data(), 1000, order);
  EXPECT_EQ(decoded, x);

  buffer[0] |= 3;  // order 3
  reader.InitReader(buffer.data(), writer.Finish());
  EXPECT_FALSE(ReadDifferenceBlock(reader, decompressor, decoded.data(), 1000, order));
  reader.InitReader(buffer.data(), 0);
  EXPECT_FALSE(ReadDifferenceBlock(reader, decompressor, decoded.data(), 1000, order));
}

}  // namespace
}  // namespace lym

#include "codec/DifferenceOrder.h"

#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int kOrderBits = 2;

void CheckOrder(const char* where, int order) {
  if (order < 0 || order > kMaxDifferenceOrder) throw EzqArgumentOutOfRange(where, order, "AOrder");
}

uint64_t Magnitude(int64_t x) { return x < 0 ? uint64_t(-x) : uint64_t(x); }

}  // namespace

void ApplyDifferenceOrder(int32_t* values, int32_t count, int order) {
  CheckOrder("ApplyDifferenceOrder", order);
  // From the end backwards, so that every step still sees the original predecessors.
  for (int step = 0; step < order; ++step) {
    for (int32_t i = count - 1; i > step; --i)
      values[i] = int32_t(uint32_t(values[i]) - uint32_t(values[i - 1]));
  }
}

void UndoDifferenceOrder(int32_t* values, int32_t count, int order) {
  CheckOrder("UndoDifferenceOrder", order);
  for (int step = order - 1; step >= 0; --step) {
    for (int32_t i = step + 1; i < count; ++i)
      values[i] = int32_t(uint32_t(values[i]) + uint32_t(values[i - 1]));
  }
}

TDifferenceSums DifferenceSums(const int32_t* values, int32_t count) {
  TDifferenceSums sums;
  // The first value stays under every order and the first difference under order 2, as if the
  // value before the first were 0 and so were the difference before the second.
  int64_t previous = 0, previousDifference = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int64_t x = values[i];
    const int64_t difference = x - previous;
    sums.S0 += Magnitude(x);
    sums.S1 += Magnitude(difference);
    sums.S2 += Magnitude(difference - previousDifference);
    previous = x;
    previousDifference = i == 0 ? 0 : difference;
  }
  return sums;
}

TDifferenceChoice ChooseDifferenceOrder(const int32_t* values, int32_t count) {
  const TDifferenceSums sums = DifferenceSums(values, count);
  if (sums.S1 >= sums.S0) return {0, sums.S0};
  if (sums.S2 < sums.S1) return {2, sums.S2};
  return {1, sums.S1};
}

void WriteDifferenceBlock(TBitOutStream& writer, TBitCompressor& compressor, int order,
                          const int32_t* values, int32_t count, const TResidualParams& params) {
  CheckOrder("WriteDifferenceBlock", order);
  writer.WriteBits(uint32_t(order), kOrderBits);
  compressor.WriteBlock(writer, params, count, values);
}

bool ReadDifferenceBlock(TBitInStream& reader, TBitDecompressor& decompressor, int32_t* out,
                         int32_t count, int& order) {
  order = int(reader.ReadBits(kOrderBits));
  if (reader.ReadError || order > kMaxDifferenceOrder) return false;
  return decompressor.ReadBlock(reader, out, count);
}

}  // namespace lym

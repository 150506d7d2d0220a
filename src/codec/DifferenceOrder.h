// Difference orders: the fixed predictors of blocks coded without a linear predictor.
//
// Order 0 keeps the values, order 1 replaces each value after the first by its difference to the
// previous one, order 2 also the first difference by the second differences after it. Arithmetic
// wraps around at 32 bits, so every order can be undone exactly whatever the values.
//
// A difference block is the order in 2 bits (3 is invalid) followed by one residual block of the
// differenced values.
#pragma once

#include <cstdint>

#include "codec/Adcbitco.h"
#include "codec/BitStream.h"

namespace lym {

inline constexpr int kMaxDifferenceOrder = 2;

// In place; an order outside 0..2 is a range error.
void ApplyDifferenceOrder(int32_t* values, int32_t count, int order);
void UndoDifferenceOrder(int32_t* values, int32_t count, int order);

// Sums of magnitudes of the values under each order (differences taken exactly, not wrapped).
struct TDifferenceSums {
  uint64_t S0 = 0, S1 = 0, S2 = 0;
};
TDifferenceSums DifferenceSums(const int32_t* values, int32_t count);

// The order with the smallest sum, the lower order on ties, and that sum.
struct TDifferenceChoice {
  int Order = 0;
  uint64_t Sum = 0;
};
TDifferenceChoice ChooseDifferenceOrder(const int32_t* values, int32_t count);

// values: the differenced values; params: what compressor.Analyse chose for them.
void WriteDifferenceBlock(TBitOutStream& writer, TBitCompressor& compressor, int order,
                          const int32_t* values, int32_t count, const TResidualParams& params);
// Reads the order and the block into out; the caller undoes the order. False on order 3 or any
// failure of the block.
bool ReadDifferenceBlock(TBitInStream& reader, TBitDecompressor& decompressor, int32_t* out,
                         int32_t count, int& order);

}  // namespace lym

// The residual bit coder: the entropy code of every block of prediction residuals.
//
// A block is coded with one residual code for all its values (single mode) or split into the
// partitions that the sample rate lays out, each with its own code (partitioned mode). Codes:
//   0      every value is 0, nothing stored per value;
//   1..3   family A, for very small values: a short field, a unary middle range and an escape;
//   4..50  family B, Golomb-like codes of growing parameter over the zigzag value u (0, -1, 1,
//          -2, ... map to 0, 1, 2, 3, ...): a prefix alone, a prefix and one bit, a prefix, one
//          bit and a unary quotient up to 8, and an escape that stores the rest of the quotient;
//   51     never written: the size models' "beyond the table", costed at 16 bits per value.
//
// Block layout. Single mode: bit 0, the code in 6 bits, for a non-zero code the escape width in
// 5 bits (1..28), then the values. Partitioned mode: bit 1, the code list, boundLog2 in 5 bits
// (0..28), then each partition's values under its code, whose escape width follows from the bound
// 2^boundLog2. The code list is a 2-bit method and the codes: method 0 stores the smallest code and
// fixed-width offsets from it, methods 1 and 2 store the first code and variable-length
// differences (method 1 favours runs of equal codes, method 2 steps of one).
#pragma once

#include <array>
#include <cstdint>

#include "codec/BitStream.h"
#include "codec/Dsp.h"
#include "codec/FramePositions.h"

namespace lym {

inline constexpr int kMaxResidualCode = 50;
inline constexpr int kBeyondTableCode = 51;
// The escape width field of single mode, and boundLog2, carry at most this.
inline constexpr int kMaxEscWidth = 28;
inline constexpr int kMaxBoundLog2 = 28;
inline constexpr int kMaxResidualPartitions = TFramePositions::kMaxCells;

// Index of the highest set bit, -1 for 0.
int HighestSetBit(uint32_t v);
// 0 for n < 1, otherwise the number of significant bits of n - 1 but at least 1.
int CeilLog2(int64_t n);
// Finest partition level 0..3 that a stream of this rate and sample width uses.
int PartitionLevelFor(int32_t sampleRate, int bitsPerSample);
// Escape width of a code for values whose magnitudes do not exceed bound; 1 for codes outside
// 1..50.
int EscapeWidth(uint32_t bound, int code);

struct TResidualCode {
  int Code = 0;
  int EscWidth = 0;
  int64_t Bits = 0;
};

// Exact size in bits of the values under a code 0..51, with EscWidth = EscapeWidth(bound, code).
// Code 0 costs nothing (the values are taken to be zero) and code 51 costs 16 bits per value.
TResidualCode ResidualBlockBits(const int32_t* values, int32_t count, int code, uint32_t bound);

// The value codes alone, without any block header. Encoding asserts that every value is
// representable under the code and escape width (code 0 takes only zeros).
void EncodeResidualBlock(TBitOutStream& writer, int code, int escWidth, int32_t count,
                         const int32_t* values);
// False on an invalid code or escape width, a value that is no 32-bit sample, or a read past the
// end; out[0..count - 1] may then hold anything.
bool DecodeResidualBlock(int code, int escWidth, TBitInStream& reader, int32_t count, int32_t* out);

// The code that a mean magnitude suggests, 0..51 (0 only for mean 0; 51 beyond the table). A
// negative or NaN mean is a range error.
int CodeFromMean(double mean);
// The quick size model of the analysis: about log2(mean) + 2.5 bits per value.
int64_t EstimateResidualBits(int32_t count, double mean);

// The cheapest code near CodeFromMean(mean): from there downward while each step is strictly
// cheaper, else upward likewise. bound 0 gives code 0 with width 0 and 0 bits.
TResidualCode SearchResidualCode(const int32_t* values, int32_t count, uint32_t bound, double mean);
// The same search over the codes whose escape width fits the field of a single-mode block, for
// values whose largest magnitude is `largest`. (For large magnitudes the small family B codes
// would need escape widths above 28; code 50 takes any 32-bit value.)
TResidualCode SearchSingleModeCode(const int32_t* values, int32_t count, uint32_t largest,
                                   double mean);
// Without search: CodeFromMean limited to 50 and raised to the first code whose escape width fits
// the field.
int SingleModeCodeFromMean(double mean, uint32_t largest);

// Upper bound of the bytes that WriteBlock produces for count values.
int32_t MaxResidualBlockBytes(int32_t count);

// What Analyse chose for a block, and what WriteBlock writes.
struct TResidualParams {
  uint8_t Level = 0;           // partition level of the block
  uint8_t Code = 0;            // single mode: the code
  int32_t EscWidth = 0;        // single mode: its escape width
  int32_t PartitionCount = 1;  // 1 in single mode, else 2..128
  uint8_t BaseCode = 0;        // smallest partition code
  std::array<uint8_t, kMaxResidualPartitions> Codes{};
  int32_t ListWidth = 0;  // field width of code-list method 0
  int32_t ListMethod = 0;
  int32_t BoundLog2 = 0;  // partitioned mode
  uint32_t Bound = 0;     // partitioned mode: 2^BoundLog2 (0 for 0); single mode: largest magnitude
};

class TBitCompressor {
 public:
  // capacity: the longest block. Partition level: PartitionLevelFor(sampleRate, bitsPerSample),
  // at most what the rate's grid allows. search: choose codes by exact sizes instead of means.
  TBitCompressor(uint32_t cpuFlags, int32_t capacity, int bitsPerSample, int32_t sampleRate,
                 bool search);
  TBitCompressor(const TBitCompressor&) = delete;
  TBitCompressor& operator=(const TBitCompressor&) = delete;

  int Level() const { return level_; }
  int32_t Capacity() const { return capacity_; }

  // Chooses the coding of count values (count <= capacity) and returns its cost in bits: the
  // value bits of single mode, or the code list and value bits of partitioned mode (exact with
  // search, estimated without).
  int64_t Analyse(const int32_t* values, int32_t count, TResidualParams& params);
  // Writes the block that Analyse chose for the same values.
  void WriteBlock(TBitOutStream& writer, const TResidualParams& params, int32_t count,
                  const int32_t* values);

 private:
  struct TBlockStats;
  TBlockStats MeasurePartitions(const int32_t* values);
  TResidualCode ChooseSingleCode(const int32_t* values, int32_t count, const TBlockStats& stats);
  int64_t SearchPartitionCodes(const int32_t* values, const TBlockStats& stats, uint32_t bound);
  bool CodesFromPartitionMeans(const TBlockStats& stats);

  const TDspKernels* kernels_;
  bool search_;
  int32_t capacity_;
  int level_;
  TFramePositions positions_;
  TSubFramePositions layout_;
  std::array<uint8_t, kMaxResidualPartitions> codes_{};
};

class TBitDecompressor {
 public:
  TBitDecompressor(int32_t sampleRate, int32_t capacity, int bitsPerSample);
  TBitDecompressor(const TBitDecompressor&) = delete;
  TBitDecompressor& operator=(const TBitDecompressor&) = delete;

  int Level() const { return level_; }
  int32_t Capacity() const { return capacity_; }

  // Reads one block of count values (count <= capacity) into out; false on any invalid field or
  // a read past the end.
  bool ReadBlock(TBitInStream& reader, int32_t* out, int32_t count);

 private:
  bool ReadPartitioned(TBitInStream& reader, int32_t* out, int32_t count);

  int32_t capacity_;
  int level_;
  TFramePositions positions_;
  TSubFramePositions layout_;
};

}  // namespace lym

// Joint channel rebuilding: the second channel of a stereo frame from a predictor over the first,
// from a difference, or both channels from mid and difference.
#pragma once

#include <cstdint>

#include "codec/BitStream.h"
#include "codec/Prediction.h"
#include "foundation/zqAlignedMem.h"

namespace lym {

// Below this many difference values the predictor form leaves the second block as it is.
inline constexpr int32_t kMinJointPredictorValues = 256;
inline constexpr int32_t kJointOrder = 8;

struct TJointParameters {
  bool Head = false;   // the first 4 values are differences to the source channel
  bool Tail = false;   // so are the last 3
  int32_t Shift = 0;   // X: the source is scaled down by 2^X before prediction
  TCoefficientSet Set; // order 8; its coefficient shift is ignored (rounding is always 10 bits)
};

// False unless the order index selects order 8 and the coefficient set reads.
bool ReadJointParameters(TBitInStream& reader, TJointParameters& parameters);

class TJointChannelDecoder {
 public:
  explicit TJointChannelDecoder(int32_t maxFrameLength);

  // Modes 1 and 2: target holds the coded second block, source the other channel; both over the
  // count difference values of the frame.
  void ApplyPredictor(const TJointParameters& parameters, const int32_t* source, int32_t* target,
                      int32_t count);

 private:
  int32_t capacity_;
  TAntiAliasArray<int32_t> scaled_;
};

// Modes 3 and 4: difference becomes the unknown channel (channel 1 = difference + channel 0, or
// channel 0 = channel 1 - difference).
void ApplyJointDifference(const int32_t* known, int32_t* difference, bool knownIsChannel0,
                          int32_t count);
// Mode 5: mid becomes channel 0 = mid - floor(difference / 2), difference becomes channel 1.
void ApplyJointMid(int32_t* mid, int32_t* difference, int32_t count);

// Encoder side: the weights of the order-8 predictor of target[t] from source[t - 4 .. t + 3] over
// the middle positions t = 4 .. count - 4, by least squares on standardised columns (correlation
// matrix solved in double precision from exact integer sums, so every build finds the same
// weights). Both signals are already scaled to at most 14 bits. False when the regression is
// degenerate: a constant column, a singular system or no variance explained.
bool EstimateJointPredictor(const int32_t* source, const int32_t* target, int32_t count,
                            double (&weights)[kJointOrder]);

}  // namespace lym

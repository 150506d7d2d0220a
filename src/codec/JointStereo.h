// Joint channel rebuilding: the second channel of a stereo frame from a predictor over the first,
// from a difference, or both channels from mid and difference.
#pragma once

#include <cstdint>

#include "codec/BitStream.h"
#include "codec/Dsp.h"
#include "codec/EncoderPresets.h"
#include "codec/Lpc_Encode.h"
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

// Which derived signals the encoder builds.
struct TJointOptions {
  bool Prediction = true;            // C: the second channel predicted from the first
  bool CheckBoth = true;             // D: the first predicted from the second as well
  uint8_t PredictorLengthIndex = 1;  // orders 4, 8, 16; decoders take only 8, so others predict nothing
  bool Difference = false;           // E
  bool MidSide = false;              // F, together with E
};

inline TJointOptions JointOptionsFrom(const TFrameEncoderOptions& options) {
  return {options.Prediction, options.CheckBoth, options.PredictorLengthIndex, options.Difference,
          options.MidSide};
}

// One derived signal of a stereo frame over the count difference values of the channels.
struct TJointCandidate {
  int32_t* Values = nullptr;  // the caller's array of at least count values
  bool Valid = false;
  // The joint parameters (C and D only) and the bits WriteJointParameters spends on them.
  bool Head = false;
  bool Tail = false;
  int32_t Shift = 0;          // X
  TQuantPredictor Predictor;  // order 8, coefficient shift 0; c[k] weighs source[t - 4 + k]
  int32_t ParameterBits = 0;
};

// For first channel A and second channel B:
//   C: B predicted from A (mode 1), D: A predicted from B (mode 2) -- prediction x 2^X - value in
//      the middle, the head and tail either as they are or as differences to the source;
//   E: B - A (modes 3 to 5), F: A + floor(E / 2), the mid floor((A + B) / 2) (mode 5).
// All arithmetic wraps at 32 bits exactly as the decoder's rebuilding undoes it, so every valid
// candidate decodes to the channels whatever their values.
struct TJointCandidates {
  TJointCandidate C, D, E, F;
};

// Writes the joint parameters of a valid predicted candidate (C or D).
void WriteJointParameters(TBitOutStream& writer, const TJointCandidate& candidate);

// Builds the derived signals of stereo frames. Work memory is allocated at construction.
class TJointChannelEncoder {
 public:
  // capacity: the most difference values of one frame.
  TJointChannelEncoder(uint32_t cpuFlags, int32_t capacity, const TJointOptions& options);
  TJointChannelEncoder(const TJointChannelEncoder&) = delete;
  TJointChannelEncoder& operator=(const TJointChannelEncoder&) = delete;

  // Fills the enabled candidates from a[0..count-1] and b[0..count-1] and marks the others
  // invalid. True when C, D or E is valid.
  bool Encode(const int32_t* a, const int32_t* b, int32_t count, TJointCandidates& candidates);
  // Only C and D (E and F are marked invalid): for pre-filtered channels, which the decoder
  // rebuilds jointly before their pre-filters. True when either is valid.
  bool EncodePredicted(const int32_t* a, const int32_t* b, int32_t count,
                       TJointCandidates& candidates);

 private:
  void Predict(const int32_t* source, const int32_t* scaledSource, const int32_t* target,
               const int32_t* scaledTarget, int32_t count, int shift, TJointCandidate& candidate);

  const TDspKernels* kernels_;
  int32_t capacity_;
  TJointOptions options_;
  TAntiAliasArray<int32_t> scaledA_;
  TAntiAliasArray<int32_t> scaledB_;
};

}  // namespace lym

// The pre-filter: an order-4 predictor over a whole channel, undone before the channel's shift and
// running sum. The encoder side decides per frame whether it pays and, for stereo frames with joint
// coding, chooses among the stereo modes with and without it.
#pragma once

#include <cstdint>

#include "codec/Adcbitco.h"
#include "codec/BitStream.h"
#include "codec/ChannelBits.h"
#include "codec/EncoderPresets.h"
#include "codec/JointStereo.h"
#include "codec/Lpc_Encode.h"
#include "codec/Prediction.h"
#include "foundation/zqAlignedMem.h"

namespace lym {

inline constexpr int32_t kPreFilterOrder = 4;

struct TPreFilterParameters {
  int32_t Shift = 0;  // X: scale shift of the values before prediction
  TCoefficientSet Set;
};

// False unless the order index selects order 4 and the coefficient set reads.
bool ReadPreFilterParameters(TBitInStream& reader, TPreFilterParameters& parameters);

// Rebuilds values[4 .. count - 1]; the first four stay as they are (count >= 4).
void ApplyPreFilterSynthesis(const TPredictionKernels& kernels,
                             const TPreFilterParameters& parameters, int32_t* values,
                             int32_t count, TSynthesisScratch& scratch);

// ---- Encoder ------------------------------------------------------------------------------------

// A channel's difference values (all n - 1 of a frame) are offered to the pre-filter only from
// this many on.
inline constexpr int32_t kMinPreFilterValues = 1024;
// The largest channel shift a block stores.
inline constexpr int32_t kMaxChannelShift = 16;

// The frame encoder's preparation of a channel of n >= 1 samples: values[i] = samples[i + 1] -
// samples[i] (i < n - 1, wrapping at 32 bits), then the common power of two of samples[0] and all
// differences, at most 2^16, is divided out of the differences. The block stores samples[0] as it
// is (its field drops the shift bits) and multiplies the decoded differences back.
void PrepareChannel(const int32_t* samples, int32_t n, int32_t* values, int32_t& shift);

// Pre-filter parameters as the encoder writes them: X, order index 0, the quantised coefficients.
struct TPreFilterEncoding {
  static constexpr int32_t kFieldBits = 4 + 2;  // X and the order index

  int32_t Shift = 0;
  TQuantPredictor Predictor;  // order 4

  int32_t Bits() const { return kFieldBits + Predictor.Bits; }
};

// Writes what ReadPreFilterParameters reads (not the flag before it).
void WritePreFilterParameters(TBitOutStream& writer, const TPreFilterEncoding& parameters);

// How one input channel's block is coded.
struct TChannelCoding {
  int32_t Shift = 0;              // what PrepareChannel divided out
  bool PreFilter = false;         // the block's values are the pre-filter's residual
  TPreFilterEncoding Parameters;  // when PreFilter
};

struct TPreFilterOptions {
  TJointOptions Joint;
  uint8_t Sensitivity = 1;  // 0: demand more saving before filtering; 1 and above: less
  uint8_t OrderIndex = 0;   // orders 4, 8; decoders take only 4, so 8 never filters
};

inline TPreFilterOptions PreFilterOptionsFrom(const TFrameEncoderOptions& options) {
  return {JointOptionsFrom(options), options.Sensitivity, options.PreFilterOrderIndex};
}

// The estimated bits that the mono decision compared; Filtered is kNoPreFilterBits when the
// channel could not be filtered.
struct TPreFilterCosts {
  static constexpr int64_t kNoPreFilterBits = 1048576;

  int64_t Plain = 0;
  int64_t Filtered = kNoPreFilterBits;
};

// The stereo mode (0..5, as the frame decoder reads it) and both input channels' coding. The blocks
// to write follow from the mode: 0 A B, 1 A C, 2 B D, 3 A E, 4 B E, 5 F E; a derived block
// carries the first sample and coding of the input channel it stands for (C and E: channel 1,
// D: channel 0, F: channel 0).
struct TStereoRoute {
  int32_t Mode = 0;
  TChannelCoding Channels[2];
};

// Decides the pre-filter of whole channels. All work memory is allocated at construction.
class TPreFilterEncoder {
 public:
  // frameLength: the most samples per channel of a frame.
  TPreFilterEncoder(uint32_t cpuFlags, int32_t frameLength, int32_t bitsPerSample,
                    int32_t sampleRate, const TPreFilterOptions& options);
  TPreFilterEncoder(const TPreFilterEncoder&) = delete;
  TPreFilterEncoder& operator=(const TPreFilterEncoder&) = delete;

  // Prepares the n samples into values[0 .. n - 2] and filters them when the estimate, the
  // parameters and a sensitivity penalty included, is not above the plain estimate.
  TPreFilterCosts ChooseMono(const int32_t* samples, int32_t n, int32_t* values,
                             TChannelCoding& channel);

  // Prepares both channels into a and b and chooses the cheapest of the six stereo modes on the
  // plain values and modes 0 to 2 on pre-filtered ones (then both channels are filtered). The
  // candidates' Values must point to arrays of n - 1 values. Afterwards a, b and the candidate of
  // the chosen mode hold the signals to write (filtered ones for a pre-filtered route); the other
  // candidates are scratch.
  void ChooseStereoRoute(const int32_t* first, const int32_t* second, int32_t n, int32_t* a,
                         int32_t* b, TJointCandidates& candidates, TStereoRoute& route);

 private:
  bool Filter(const int32_t* values, int32_t count, int32_t* filtered,
              TPreFilterEncoding& parameters);
  int64_t Penalty(int32_t n, int channels) const;
  int64_t CandidateBits(const TJointCandidate& candidate, int32_t count);

  int32_t capacity_;
  int32_t bitsPerSample_;
  double factor_;
  bool enabled_;
  TJointChannelEncoder joint_;
  TChannelBitsEstimator estimator_;
  TLpcEncoder lpc_;
  TBitCompressor compressor_;
  TLpcSubFrame subFrame_;
  TAntiAliasArray<int32_t> filteredA_;
  TAntiAliasArray<int32_t> filteredB_;
  TAntiAliasArray<int32_t> filteredC_;
  TAntiAliasArray<int32_t> filteredD_;
  TJointCandidates filteredCandidates_;
  TPreFilterEncoding filteredParameters_[2];
};

}  // namespace lym

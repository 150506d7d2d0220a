// Linear prediction of one sub-frame: whether a quantised predictor pays off, which order and
// coefficients it uses, its residual, and the predictor sub-frame that the frame decoder reads.
//
// All analysis runs on the sub-frame's values scaled down by s bits so that they fit 14 bits:
// the 16-bit kernels then compute autocorrelations and residual sums exactly at every kernel
// level. A predictor sub-frame is written as
//   s (4 bits), order index (4 bits), the warm-up as a difference block of `order` values,
//   the coefficient set, the residual block of the remaining values
// and the decoder rebuilds value t as prediction x 2^s - residual, the prediction being the
// wrap-around 32-bit sum of coefficient x scaled history rounded by 10 - p bits and clamped to
// +-8191 (see codec/Prediction.h).
//
// Determinism: every decision depends on floats stored in single precision with products and sums
// formed in double, on DetLog2 and on rounding to nearest with ties to even, so the encoder makes
// the same choices in every build and at every kernel level.
//
// Users: the frame encoder (one TLpcEncoder, search mode 0 or 2), the pre-filter encoder (mode 0),
// the partition validator (TLpcPredictorCalculator::Calculate in mode 1 on its own autocorrelation)
// and the joint encoder (QuantizePredictor with coefficient shift 0, WriteCoefficientSet).
#pragma once

#include <array>
#include <cstdint>

#include "codec/Adcbitco.h"
#include "codec/BitStream.h"
#include "codec/Dsp.h"
#include "codec/EncoderPresets.h"
#include "codec/LpcEstimate.h"
#include "codec/Prediction.h"
#include "foundation/zqAlignedMem.h"

namespace lym {

inline constexpr int kMaxCoefficientShift = 7;
inline constexpr int kCoefficientGroup = 4;
inline constexpr int kMaxCoefficientGroups = kMaxOrder / kCoefficientGroup;
// Scaled values and quantised coefficients stay within this many bits (sign included).
inline constexpr int kScaledBits = 14;
inline constexpr int kMaxScaleShift = 15;

// How the coefficient quantisation step is chosen.
enum TQuantSearchMode : uint8_t {
  kQuantFixed = 0,   // fixed step from the order; costs from the prediction error
  kQuantExact = 1,   // fixed step, the chosen order re-costed on its real residual
  kQuantSearch = 2,  // "Optimize quantization": search the step on sampled residuals
};
static_assert(kQuantSearch == kQuantSearchOptimal);

// The predictor part of the frame encoder options.
struct TLpcOptions {
  TQuantSearchMode QuantSearchMode = kQuantFixed;
  int32_t MaxOrderIndex = 11;  // index into kOrderTable
  bool ApplyWindow = true;     // taper the block's ends before the autocorrelation
};

// The frame encoder's predictor options; its reserved predictor parameter always means automatic.
inline TLpcOptions LpcOptionsFrom(const TFrameEncoderOptions& options) {
  return {TQuantSearchMode(options.QuantSearchMode), options.MaxOrderIndex, options.ApplyWindow};
}

// A quantised predictor and how its coefficients are stored.
//
// Coefficient c stands for c x 2^p / 1024 and weighs the value Order - j places back (oldest
// first). Coefficients are stored in groups of four, each group in its own width: up to order 16
// a 4-bit width per group, above it the largest width W once and per group its reduction from W in
// a 2- or 3-bit field. The differential form stores neighbour sums c[j] + c[j - 1] instead when
// that is cheaper.
struct TQuantPredictor {
  int32_t Order = 0;
  int32_t CoefficientShift = 0;  // p
  int32_t Width = 0;             // W of the stored form
  int32_t WidthFieldBits = 4;    // 4 up to order 16; 2 or 3 above
  bool Differential = false;
  int32_t Bits = 0;  // cost of the coefficient set, p field included
  std::array<uint8_t, kMaxCoefficientGroups> GroupWidths{};
  std::array<int32_t, kMaxOrder> Coefficients{};
  std::array<int32_t, kMaxOrder> Differences{};  // the neighbour sums, valid when Differential

  int32_t GroupCount() const { return Order / kCoefficientGroup; }
  const int32_t* Stored() const { return Differential ? Differences.data() : Coefficients.data(); }
};

// The taper of a block before its autocorrelation: w values at each end (an eighth of the block
// in steps of 8, at most the highest order and 256, none below 16), scaled by w + i + 1 over 2w
// from either end inwards, rounded to nearest with ties to even. The partition validator repeats
// it to correct summed autocorrelations.
inline constexpr int32_t kMaxWindowLength = 256;
inline constexpr int32_t kMinWindowLength = 16;
int32_t WindowLength(int32_t n, int32_t maxOrder);
int16_t Taper(int16_t value, int32_t numerator, int32_t w);

// Quantises the float predictor a[0..order-1] (a[j] weighs the value j + 1 places back) with
// coefficient shift p 0..7 and plans the cheapest storage. False when a coefficient is out of
// range, when all are -1, 0 or 1 (not worth a predictor), or when W + p exceeds 14 bits.
bool QuantizePredictor(const float* a, int32_t order, int p, TQuantPredictor& predictor);

// Writes the coefficient set; ReadCoefficientSet reads it back.
void WriteCoefficientSet(TBitOutStream& writer, const TQuantPredictor& predictor);

// What Calculate chose.
struct TLpcChoice {
  int32_t OrderIndex = 0;
  int32_t Order = 0;
  int64_t Bits = 0;  // estimated size of the sub-frame with this predictor
};

// The block that Calculate analyses: the original values, their scaled form (unwindowed) and the
// autocorrelation of the scaled (possibly windowed) values, r[0 .. MaxOrderFor(n)]. Values and
// Scaled are read in search modes 1 and 2 only.
struct TLpcBlock {
  const int32_t* Values = nullptr;
  const int16_t* Scaled = nullptr;
  int32_t Count = 0;
  int ScaleShift = 0;
  const int64_t* Autocorrelation = nullptr;
};

// Order search and coefficient quantisation. The caller provides the autocorrelation, so the
// partition validator can reuse sums it already has.
class TLpcPredictorCalculator {
 public:
  // frameLength: the longest block; it and the options bound the order.
  TLpcPredictorCalculator(uint32_t cpuFlags, int32_t frameLength, int32_t sampleRate,
                          const TLpcOptions& options);
  TLpcPredictorCalculator(const TLpcPredictorCalculator&) = delete;
  TLpcPredictorCalculator& operator=(const TLpcPredictorCalculator&) = delete;

  int32_t MaxOrder() const { return maxOrder_; }
  // Highest order tried on n values: MaxOrder() from 4 x MaxOrder() values on, else OrderLimit(n);
  // 0 means no predictor. The autocorrelation must reach this lag.
  int32_t MaxOrderFor(int32_t n) const;

  // Searches the predictor of the block. False when no predictor saves at least one estimated bit
  // against coding the values without one (or the block is silent or too short). preFilter selects
  // the starting quantisation steps of pre-filtered channels (search mode 2).
  bool Calculate(const TLpcBlock& block, bool preFilter, TLpcChoice& choice, TQuantPredictor* best);

 private:
  bool SearchOrder(const TLpcBlock& block, int32_t maxOrder, double& bits);
  bool SearchCoefficientShift(const TLpcBlock& block, bool preFilter, double& bits);
  bool CostShift(const TLpcBlock& block, int32_t order, int p, double& bits);
  double SampledCost(const TLpcBlock& block, const TQuantPredictor& predictor, int32_t stride,
                     int32_t length) const;
  double ExactCost(const TLpcBlock& block, const TQuantPredictor& predictor) const;
  uint64_t ResidualSum(const TLpcBlock& block, const TQuantPredictor& predictor, int32_t from,
                       int32_t count) const;
  static double WarmUpBits(const TLpcBlock& block, int32_t order);

  const TDspKernels* kernels_;
  int32_t sampleRate_;
  int32_t maxOrder_;
  TQuantSearchMode mode_;
  TLevinson levinson_;
  std::array<float, kMaxOrder> bestFloats_{};  // the chosen order's float predictor (mode 2)
  TQuantPredictor working_;
  TQuantPredictor best_;
};

// A predictor sub-frame as Encode built it. Values points at the caller's sub-frame, which Encode
// rewrote into the differenced warm-up (Order values) followed by the residual.
struct TLpcSubFrame {
  int32_t* Values = nullptr;
  int32_t Count = 0;
  int32_t Order = 0;
  int32_t OrderIndex = 0;
  int ScaleShift = 0;
  int WarmUpDifferenceOrder = 0;
  TResidualParams WarmUpParams;
  TResidualParams ResidualParams;
  TQuantPredictor Predictor;

  int32_t* Residual() const { return Values + Order; }
  int32_t ResidualCount() const { return Count - Order; }
};

// Builds predictor sub-frames. All work memory is allocated at construction.
class TLpcEncoder {
 public:
  TLpcEncoder(uint32_t cpuFlags, int32_t frameLength, int32_t sampleRate,
              const TLpcOptions& options);
  TLpcEncoder(const TLpcEncoder&) = delete;
  TLpcEncoder& operator=(const TLpcEncoder&) = delete;

  // Offers values[0..n-1] (n <= frameLength) to a predictor. True when a predictor sub-frame was
  // built: the values are then rewritten in place (see TLpcSubFrame), the compressor has analysed
  // warm-up and residual, and bits is the estimated sub-frame size. False leaves the values
  // unchanged; the caller codes a difference block.
  bool Encode(int32_t* values, int32_t n, bool preFilter, TBitCompressor& compressor,
              TLpcSubFrame& subFrame, int64_t& bits);

  // Writes the predictor sub-frame (without the frame's kind bit), with the compressor that
  // Encode used.
  static void WriteSubFrame(TBitOutStream& writer, TBitCompressor& compressor,
                            const TLpcSubFrame& subFrame);

 private:
  void Autocorrelate(int32_t n, int32_t maxOrder);
  void ComputeResidual(const TQuantPredictor& predictor, int s, int32_t* values, int32_t n) const;

  const TDspKernels* kernels_;
  int32_t capacity_;
  bool applyWindow_;
  TLpcPredictorCalculator calculator_;
  TAntiAliasArray<int16_t> scaled_;
  TAntiAliasArray<int16_t> savedEdges_;
  std::array<int64_t, kMaxOrder + 1> autocorrelation_{};
};

}  // namespace lym

// Quick size estimates of linear prediction, shared by the predictor search, the partition search
// and the channel estimator.
//
// Every decision of the encoder flows through these numbers, so they are computed the same way in
// every build: coefficients, reflection factors and errors are stored as floats, every product
// and sum is formed in double, and logarithms come from DetLog2.
#pragma once

#include <array>
#include <cstdint>

#include "codec/Dsp.h"

namespace lym {

// Highest predictor order worth trying on n values: the largest table order not above n / 4,
// 0 below 16 values, 256 from 1024 values on.
int32_t OrderLimit(int32_t n);

// Estimated bits of n values whose prediction error energy is e (a whole number; 0 for n <= 0,
// 16 for e <= 0).
double BitsFromError(int32_t n, double e);

struct TQuickEstimate {
  int64_t Bits = 0;
  bool Helps = false;  // an order-4 predictor lowers the error below the energy r[0]
};

// Estimated bits of n values with autocorrelation r[0..4] under an order-4 prediction.
TQuickEstimate QuickPredictionBits(int32_t n, const int64_t r[5]);

// Right shift that brings magnitudes whose OR is magnitudeOr within 8191: at most 20 for any
// 32-bit OR, at most 15 (what the frame format stores) for ORs up to 8191 x 2^15.
int ScaleShiftFor(uint32_t magnitudeOr);

// dst[i] = low 16 bits of src[i] / 2^s toward zero, for any shift 0..31.
void ScaledCopy16(const TDspKernels& kernels, const int32_t* src, int16_t* dst, int32_t n, int s);

// Estimated bits of n values without a predictor: the best difference order's mean magnitude
// (0 for n <= 0).
int64_t DifferenceBits(const int32_t* values, int32_t n);

// Resumable Levinson-Durbin recursion in single precision.
//
//   TLevinson levinson;
//   levinson.Reset(r, 32);             // r[0..32], 64-bit autocorrelation
//   for (int order : {4, 8, 16, 32}) {
//     if (!levinson.ExtendTo(order)) break;   // stays at the last good order
//     use(levinson.Coefficients(), levinson.Error());
//   }
//
// The prediction of x[t] is the sum of Coefficients()[j] x x[t - 1 - j], j < Order().
class TLevinson {
 public:
  static constexpr int kMaxOrder = 256;

  // Starts at order 0 with error r[0]. 0 <= maxOrder <= 256. The autocorrelation is kept in
  // double (exact below 2^53): only the recursion's own results are rounded to single precision.
  void Reset(const int64_t* r, int maxOrder);
  // Runs the stages Order() + 1 .. order (order <= maxOrder; a lower order does nothing). Fails at
  // the first stage whose error would not stay above 0, which is not taken: the coefficients and
  // the error remain those of the last good order.
  bool ExtendTo(int order);

  int Order() const { return order_; }
  const float* Coefficients() const { return a_.data(); }
  float Error() const { return error_; }
  float Energy() const { return float(r_[0]); }  // the error at order 0

 private:
  std::array<double, kMaxOrder + 1> r_{};
  std::array<float, kMaxOrder> a_{};
  float error_ = 0;
  int order_ = 0;
  int maxOrder_ = 0;
};

}  // namespace lym

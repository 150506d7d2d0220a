#include "codec/LpcEstimate.h"

#include <cmath>

#include "codec/Adcbitco.h"
#include "codec/Arithmetic.h"
#include "codec/DifferenceOrder.h"
#include "codec/Prediction.h"
#include "foundation/DetMath.h"
#include "foundation/zqExceptions.h"

namespace lym {

int32_t OrderLimit(int32_t n) {
  const int32_t q = n / 4;
  if (q >= kMaxOrder) return kMaxOrder;
  int32_t limit = 0;
  for (int32_t order : kOrderTable)
    if (order <= q) limit = order;
  return limit;
}

double BitsFromError(int32_t n, double e) {
  if (n <= 0) return 0;
  if (e >= n) return std::nearbyint(n * (0.5 * DetLog2(e / n) - 0.42 + 2.5));
  if (e > 0) return double(EstimateResidualBits(n, 0.75 * std::sqrt(e / n)));
  return 16;
}

TQuickEstimate QuickPredictionBits(int32_t n, const int64_t r[5]) {
  TLevinson levinson;
  levinson.Reset(r, 4);
  levinson.ExtendTo(4);
  const double e = levinson.Error();
  if (e <= 0 || e >= levinson.Energy())
    return {int64_t(std::nearbyint(BitsFromError(n, double(r[0])))), false};
  return {int64_t(std::nearbyint(BitsFromError(n, e))), true};
}

int ScaleShiftFor(uint32_t magnitudeOr) {
  constexpr uint64_t kLimit = 8191;
  if (magnitudeOr <= kLimit) return 0;
  return CeilLog2(int64_t((uint64_t(magnitudeOr) + kLimit - 1) / kLimit));
}

void ScaledCopy16(const TDspKernels& kernels, const int32_t* src, int16_t* dst, int32_t n, int s) {
  constexpr int kKernelShiftLimit = 16;
  if (s <= kKernelShiftLimit) return kernels.ToInt16(src, dst, n, s);
  for (int32_t i = 0; i < n; ++i) dst[i] = int16_t(ScaleDown(src[i], s));
}

int64_t DifferenceBits(const int32_t* values, int32_t n) {
  if (n <= 0) return 0;
  const TDifferenceChoice choice = ChooseDifferenceOrder(values, n);
  return EstimateResidualBits(n, double(choice.Sum) / n);
}

void TLevinson::Reset(const int64_t* r, int maxOrder) {
  LYM_ASSERT(maxOrder >= 0 && maxOrder <= kMaxOrder, "Levinson order out of range");
  for (int i = 0; i <= maxOrder; ++i) r_[size_t(i)] = double(r[i]);
  maxOrder_ = maxOrder;
  order_ = 0;
  error_ = Energy();
}

bool TLevinson::ExtendTo(int order) {
  LYM_ASSERT(order <= maxOrder_, "Levinson order beyond its autocorrelation");
  float* a = a_.data();
  for (int i = order_ + 1; i <= order; ++i) {
    // A non-positive error ends the recursion before it divides by it, and a stage that would
    // drive it to zero or below (or to NaN) is a numerically perfect fit that cannot be trusted.
    if (!(error_ > 0)) return false;
    double acc = 0;
    for (int j = 0; j <= i - 2; ++j) acc += double(a[j]) * r_[size_t(i - 1 - j)];
    const float k = float((r_[size_t(i)] - acc) / double(error_));
    const float nextError = float((1.0 - double(k) * double(k)) * double(error_));
    if (!(nextError > 0)) return false;
    for (int j = 0; j < (i - 1) / 2; ++j) {
      const double low = a[j], high = a[i - 2 - j];
      a[j] = float(low - double(k) * high);
      a[i - 2 - j] = float(high - double(k) * low);
    }
    if (i % 2 == 0) {
      const double middle = a[(i - 2) / 2];
      a[(i - 2) / 2] = float(middle - double(k) * middle);
    }
    a[i - 1] = k;
    error_ = nextError;
    order_ = i;
  }
  return true;
}

}  // namespace lym

#include "foundation/DetMath.h"

#include <array>
#include <cmath>
#include <limits>

namespace lym {
namespace {

// 1 / (2k + 1) for k = 0..12, the coefficients of the atanh series in s^2.
constexpr std::array<double, 13> kOddReciprocals = [] {
  std::array<double, 13> table{};
  for (int k = 0; k < 13; ++k) table[k] = 1.0 / (2 * k + 1);
  return table;
}();

}  // namespace

// x = m * 2^e with m in [sqrt(1/2), sqrt(2)), and ln m = 2 atanh(s) with s = (m - 1) / (m + 1),
// |s| <= 0.172, whose odd series has converged to double precision after twelve terms. Evaluated
// in a fixed order (the build forbids fused multiply-adds), the result is identical everywhere.
double DetLog2(double x) {
  if (std::isnan(x) || x < 0) return std::numeric_limits<double>::quiet_NaN();
  if (x == 0) return -std::numeric_limits<double>::infinity();
  if (std::isinf(x)) return x;

  constexpr double kSqrtHalf = 0.70710678118654752440;
  constexpr double kTwoLog2E = 2.88539008177792681472;  // 2 / ln 2
  int exponent = 0;
  double m = std::frexp(x, &exponent);
  if (m < kSqrtHalf) {
    m = std::ldexp(m, 1);
    --exponent;
  }
  const double s = (m - 1) / (m + 1);
  const double z = s * s;
  double series = kOddReciprocals[12];
  for (int k = 11; k >= 1; --k) series = series * z + kOddReciprocals[k];
  const double fraction = s * series * z + s;
  return double(exponent) + fraction * kTwoLog2E;
}

}  // namespace lym

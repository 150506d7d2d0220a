// Floating-point functions whose results are the same on every platform and compiler.
//
// The encoder's decisions depend on them, and the encoder must write the same bytes in every build.
// The C libraries disagree in the last bit of their logarithms, so these are computed with basic
// IEEE operations only (+ - * / and exact scaling by powers of two).
#pragma once

namespace lym {

// Base-2 logarithm, within a few units in the last place of the exact value. Like std::log2:
// -infinity for zero, NaN for negative numbers and NaN, +infinity for +infinity.
double DetLog2(double x);

}  // namespace lym

// Synthesis kernels for AVX2.
#ifdef LYM_X86_KERNELS

#include <utility>

#include "codec/PredictionLevels.h"
#include "codec/SimdAvx2.h"

namespace lym::prediction_avx2 {
namespace {

#include "codec/PredictionVector.inl"

}  // namespace
}  // namespace lym::prediction_avx2

namespace lym {

void FillPredictionKernelsAvx2(TPredictionKernels& table) {
  prediction_avx2::AddPredictionKernels<TAvx2>(table);
}

}  // namespace lym

#endif  // LYM_X86_KERNELS

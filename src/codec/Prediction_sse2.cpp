// Synthesis kernels for SSE2.
#ifdef LYM_X86_KERNELS

#include <utility>

#include "codec/PredictionLevels.h"
#include "codec/SimdSse2.h"

namespace lym::prediction_sse2 {
namespace {

#include "codec/PredictionVector.inl"

}  // namespace
}  // namespace lym::prediction_sse2

namespace lym {

void FillPredictionKernelsSse2(TPredictionKernels& table) {
  prediction_sse2::AddPredictionKernels<TSse2>(table);
}

}  // namespace lym

#endif  // LYM_X86_KERNELS

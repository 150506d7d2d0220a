// Every vector kernel, written once and compiled once per instruction set: the build compiles
// this file with LYM_VECTOR_LEVEL 1 (SSE2) and 2 (AVX2), each into its own namespace.
#include <cstdint>
#include <utility>

#include "codec/DspLevels.h"
#include "codec/VectorLevels.h"
#include "foundation/zqExceptions.h"

#if LYM_VECTOR_LEVEL == 1
#include "codec/SimdSse2.h"
#define LYM_VECTOR_NAMESPACE kernels_sse2
#define LYM_VECTOR_REGISTER TSse2
#elif LYM_VECTOR_LEVEL == 2
#include "codec/SimdAvx2.h"
#define LYM_VECTOR_NAMESPACE kernels_avx2
#define LYM_VECTOR_REGISTER TAvx2
#else
#error "LYM_VECTOR_LEVEL must be 1 (SSE2) or 2 (AVX2)"
#endif

namespace lym::LYM_VECTOR_NAMESPACE {
namespace {

#include "codec/DspVector.inl"
#include "codec/PredictionVector.inl"

}  // namespace

void AddDspKernels(TDspKernels& table) { AddVectorKernels<LYM_VECTOR_REGISTER>(table); }

void AddPredictionKernels(TPredictionKernels& table) {
  AddSynthesisKernels<LYM_VECTOR_REGISTER>(table);
}

}  // namespace lym::LYM_VECTOR_NAMESPACE

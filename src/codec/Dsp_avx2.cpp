// The DSP kernels for processors with AVX2.
#ifdef LYM_X86_KERNELS

#include <immintrin.h>

#include <cstdint>

#include "codec/DspLevels.h"
#include "codec/SimdAvx2.h"
#include "foundation/zqExceptions.h"

namespace lym::dsp_avx2 {
namespace {

#include "codec/DspVector.inl"

}  // namespace

void AddKernels(TDspKernels& table) { AddVectorKernels<TAvx2>(table); }

}  // namespace lym::dsp_avx2

#endif  // LYM_X86_KERNELS

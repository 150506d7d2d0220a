// The DSP kernels for processors with SSE2 (every x86-64 processor).
#ifdef LYM_X86_KERNELS

#include <emmintrin.h>

#include <cstdint>

#include "codec/DspLevels.h"
#include "codec/SimdSse2.h"
#include "foundation/zqExceptions.h"

namespace lym::dsp_sse2 {
namespace {

#include "codec/DspVector.inl"

}  // namespace

void AddKernels(TDspKernels& table) { AddVectorKernels<TSse2>(table); }

}  // namespace lym::dsp_sse2

#endif  // LYM_X86_KERNELS

// What each vector level adds to the kernel tables. These functions are compiled for their
// instruction set (VectorKernels.cpp, built once per level): call them only when the processor
// supports it.
#pragma once

#include "codec/Dsp.h"
#include "codec/Prediction.h"

#ifdef LYM_X86_KERNELS
namespace lym::kernels_sse2 {
void AddDspKernels(TDspKernels& table);
void AddPredictionKernels(TPredictionKernels& table);
}  // namespace lym::kernels_sse2

namespace lym::kernels_avx2 {
void AddDspKernels(TDspKernels& table);
void AddPredictionKernels(TPredictionKernels& table);
}  // namespace lym::kernels_avx2
#endif

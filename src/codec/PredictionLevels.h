// The vector levels' contributions to the prediction kernel table.
#pragma once

#include "codec/Prediction.h"

namespace lym {

#ifdef LYM_X86_KERNELS
void FillPredictionKernelsSse2(TPredictionKernels& table);
void FillPredictionKernelsAvx2(TPredictionKernels& table);
#endif

}  // namespace lym

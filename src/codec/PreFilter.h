// The pre-filter: an order-4 predictor over a whole channel, undone before the channel's shift and
// running sum.
#pragma once

#include <cstdint>

#include "codec/BitStream.h"
#include "codec/Prediction.h"

namespace lym {

inline constexpr int32_t kPreFilterOrder = 4;

struct TPreFilterParameters {
  int32_t Shift = 0;  // X: scale shift of the values before prediction
  TCoefficientSet Set;
};

// False unless the order index selects order 4 and the coefficient set reads.
bool ReadPreFilterParameters(TBitInStream& reader, TPreFilterParameters& parameters);

// Rebuilds values[4 .. count - 1]; the first four stay as they are (count >= 4).
void ApplyPreFilterSynthesis(const TPredictionKernels& kernels,
                             const TPreFilterParameters& parameters, int32_t* values,
                             int32_t count, TSynthesisScratch& scratch);

}  // namespace lym

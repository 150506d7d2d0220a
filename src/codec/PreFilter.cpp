#include "codec/PreFilter.h"

namespace lym {

bool ReadPreFilterParameters(TBitInStream& reader, TPreFilterParameters& parameters) {
  uint32_t shift = 0, orderIndex = 0;
  if (!reader.ReadBits(4, shift) || !reader.ReadBits(2, orderIndex) || orderIndex != 0)
    return false;
  parameters.Shift = int32_t(shift);
  return ReadCoefficientSet(reader, kPreFilterOrder, parameters.Set);
}

void ApplyPreFilterSynthesis(const TPredictionKernels& kernels,
                             const TPreFilterParameters& parameters, int32_t* values,
                             int32_t count, TSynthesisScratch& scratch) {
  SynthesizePrediction(kernels, parameters.Set, parameters.Shift, values, count, scratch);
}

}  // namespace lym

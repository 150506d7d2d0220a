#include "codec/JointStereo.h"

#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int32_t kJointOrderIndex = 1;  // of the table 4, 8, 16
constexpr int32_t kJointHalf = kJointOrder / 2;

}  // namespace

bool ReadJointParameters(TBitInStream& reader, TJointParameters& parameters) {
  uint32_t head = 0, tail = 0, shift = 0, orderIndex = 0;
  if (!reader.ReadBit(head) || !reader.ReadBit(tail) || !reader.ReadBits(4, shift) ||
      !reader.ReadBits(2, orderIndex) || orderIndex != kJointOrderIndex)
    return false;
  parameters.Head = head != 0;
  parameters.Tail = tail != 0;
  parameters.Shift = int32_t(shift);
  return ReadCoefficientSet(reader, kJointOrder, parameters.Set);
}

TJointChannelDecoder::TJointChannelDecoder(int32_t maxFrameLength)
    : capacity_(maxFrameLength),
      scaled_(size_t(maxFrameLength)) {}

void TJointChannelDecoder::ApplyPredictor(const TJointParameters& parameters,
                                          const int32_t* source, int32_t* target, int32_t count) {
  LYM_ASSERT(count <= capacity_, "Joint block too long");
  if (count < kMinJointPredictorValues) return;
  auto add = [&](int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) target[i] = int32_t(uint32_t(target[i]) + uint32_t(source[i]));
  };
  if (parameters.Head) add(0, kJointHalf);
  if (parameters.Tail) add(count - (kJointHalf - 1), count);
  int32_t* scaled = scaled_.Data();
  for (int32_t i = 0; i < count; ++i) scaled[i] = ScaleDown(source[i], parameters.Shift);
  JointPredict8(parameters.Set.Coefficients, parameters.Shift, scaled, target, kJointHalf,
                count - kJointHalf + 1);
}

void ApplyJointDifference(const int32_t* known, int32_t* difference, bool knownIsChannel0,
                          int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t k = uint32_t(known[i]), e = uint32_t(difference[i]);
    difference[i] = int32_t(knownIsChannel0 ? e + k : k - e);
  }
}

void ApplyJointMid(int32_t* mid, int32_t* difference, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const int32_t channel0 = int32_t(uint32_t(mid[i]) - uint32_t(difference[i] >> 1));
    difference[i] = int32_t(uint32_t(channel0) + uint32_t(difference[i]));
    mid[i] = channel0;
  }
}

}  // namespace lym

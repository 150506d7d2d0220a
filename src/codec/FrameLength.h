// The frame length: the stream stores a frame size code, and the length follows from it and the
// sample rate. The encoder's settings choose a code; the writer and the readers derive the length.
#pragma once

#include <cstdint>

namespace lym {

inline constexpr int kMaxFrameSizeCode = 6;
inline constexpr int32_t kMaxFrameSamples = 16384;

// Samples per frame for a rate and frame size code. A length above 16384 samples or above a
// quarter second is replaced by the nearest allowed one (code and length corrected) and reported
// as false; so is a code outside 0..6.
bool CalcFrameSamples(int32_t sampleRate, int32_t& frameSizeCode, int32_t& frameSamples);

}  // namespace lym

// Moving samples between channel arrays and interleaved PCM bytes: 8-bit PCM is unsigned (value +
// 128), 16 and 24 bits are little-endian two's complement. Stereo interleaves channel 0 first.
#pragma once

#include <cstdint>

namespace lym {

// Bytes of one sample frame.
inline int32_t PcmBlockSize(int bitsPerSample, int channels) {
  return (bitsPerSample + 7) / 8 * channels;
}

// channel1 is ignored for mono. Widths other than 8, 16 and 24 bits write nothing.
void WritePcm(int bitsPerSample, int channels, const int32_t* channel0, const int32_t* channel1,
              uint8_t* destination, int32_t count);
void ReadPcm(int bitsPerSample, int channels, const uint8_t* source, int32_t count,
             int32_t* channel0, int32_t* channel1);
// count sample frames of silence: 128 for 8-bit PCM, else 0.
void FillSilence(int bitsPerSample, int channels, int32_t count, uint8_t* destination);

}  // namespace lym

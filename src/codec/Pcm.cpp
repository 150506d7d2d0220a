#include "codec/Pcm.h"

#include <cstring>

namespace lym {
namespace {

template <int Bytes>
void StoreSample(uint8_t* to, int32_t value) {
  if constexpr (Bytes == 1) {
    to[0] = uint8_t(uint32_t(value) + 128u);
  } else {
    for (int i = 0; i < Bytes; ++i) to[i] = uint8_t(uint32_t(value) >> (8 * i));
  }
}

template <int Bytes>
int32_t LoadSample(const uint8_t* from) {
  if constexpr (Bytes == 1) {
    return int32_t(from[0]) - 128;
  } else {
    uint32_t value = 0;
    for (int i = 0; i < Bytes; ++i) value |= uint32_t(from[i]) << (8 * i);
    const int unused = 32 - 8 * Bytes;
    return int32_t(value << unused) >> unused;
  }
}

template <int Bytes>
void WriteFrames(int channels, const int32_t* channel0, const int32_t* channel1,
                 uint8_t* destination, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    StoreSample<Bytes>(destination, channel0[i]);
    destination += Bytes;
    if (channels == 2) {
      StoreSample<Bytes>(destination, channel1[i]);
      destination += Bytes;
    }
  }
}

template <int Bytes>
void ReadFrames(int channels, const uint8_t* source, int32_t count, int32_t* channel0,
                int32_t* channel1) {
  for (int32_t i = 0; i < count; ++i) {
    channel0[i] = LoadSample<Bytes>(source);
    source += Bytes;
    if (channels == 2) {
      channel1[i] = LoadSample<Bytes>(source);
      source += Bytes;
    }
  }
}

}  // namespace

void WritePcm(int bitsPerSample, int channels, const int32_t* channel0, const int32_t* channel1,
              uint8_t* destination, int32_t count) {
  switch (bitsPerSample) {
    case 8: WriteFrames<1>(channels, channel0, channel1, destination, count); break;
    case 16: WriteFrames<2>(channels, channel0, channel1, destination, count); break;
    case 24: WriteFrames<3>(channels, channel0, channel1, destination, count); break;
    default: break;
  }
}

void ReadPcm(int bitsPerSample, int channels, const uint8_t* source, int32_t count,
             int32_t* channel0, int32_t* channel1) {
  switch (bitsPerSample) {
    case 8: ReadFrames<1>(channels, source, count, channel0, channel1); break;
    case 16: ReadFrames<2>(channels, source, count, channel0, channel1); break;
    case 24: ReadFrames<3>(channels, source, count, channel0, channel1); break;
    default: break;
  }
}

void FillSilence(int bitsPerSample, int channels, int32_t count, uint8_t* destination) {
  std::memset(destination, bitsPerSample == 8 ? 128 : 0,
              size_t(count) * size_t(PcmBlockSize(bitsPerSample, channels)));
}

}  // namespace lym

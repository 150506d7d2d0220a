#include "codec/FrameLength.h"

namespace lym {
namespace {

constexpr int32_t kFrameSizeTable[kMaxFrameSizeCode + 1] = {3, 4, 6, 8, 4096, 8192, 16384};
constexpr int32_t kFirstFixedCode = 4;   // codes 0..3 are durations, 4..6 sample counts
constexpr int32_t kQuarterSecondCode = 3;

}  // namespace

bool CalcFrameSamples(int32_t sampleRate, int32_t& frameSizeCode, int32_t& frameSamples) {
  if (frameSizeCode < 0 || frameSizeCode > kMaxFrameSizeCode) {
    frameSamples = 0;
    return false;
  }
  const int64_t quarterSecond = int64_t(8) * sampleRate / 32;
  if (frameSizeCode < kFirstFixedCode) {
    frameSamples = int32_t(int64_t(kFrameSizeTable[frameSizeCode]) * sampleRate / 32);
    if (frameSamples > kMaxFrameSamples) {
      frameSamples = kMaxFrameSamples;
      frameSizeCode = kMaxFrameSizeCode;
      return false;
    }
  } else {
    frameSamples = kFrameSizeTable[frameSizeCode];
    if (frameSamples > quarterSecond) {
      frameSamples = int32_t(quarterSecond);
      frameSizeCode = kQuarterSecondCode;
      return false;
    }
  }
  // Rates too low for a single sample per frame have no frame length at all.
  return frameSamples >= 1;
}

}  // namespace lym

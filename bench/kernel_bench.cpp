// Times each kernel of every family at every level this processor supports and prints nanoseconds
// per call and the speed-up over the portable kernel. Meaningful on a Release build only.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

#include "codec/Dsp.h"
#include "codec/Prediction.h"

namespace {

using namespace lym;

constexpr int32_t kLength = 4096;
constexpr int32_t kLastLag = 32;

// 64-byte aligned like the codec's buffers, so that timings do not depend on where the heap puts
// the arrays.
struct alignas(64) TBenchData {
  int32_t samples[kLength];
  alignas(64) int16_t a[kLength];
  alignas(64) int16_t b[kLength];
  alignas(64) int16_t out16[kLength];
  int64_t lags[kLastLag + 1];
  int32_t residuals[kLength];  // a warm-up and residuals of scaled audio for the synthesis
  alignas(64) int32_t rebuilt[kLength];
};

// Results go here so that the compiler cannot drop the calls.
volatile uint64_t sink;

struct TBenchKernel {
  const char* name;
  void (*run)(TKernelLevel level, TBenchData& d);
};

// A DSP table kernel, timed through its level's table.
#define DSP_KERNEL(name, body)                  \
  {name, [](TKernelLevel level, TBenchData& d) { \
     const TDspKernels& k = DspKernelsAt(level); \
     body;                                       \
   }}

// The synthesis of one predictor order over the whole block.
template <int32_t Order>
void Synthesis(TKernelLevel level, TBenchData& d) {
  static TSynthesisScratch scratch(kLength);
  TCoefficientSet set;
  set.Order = Order;
  set.Coefficients[Order - 1] = 1024;  // previous value: keeps the rebuilt values in range
  std::copy(d.residuals, d.residuals + kLength, d.rebuilt);
  SynthesizePrediction(PredictionKernelsAt(level), set, 0, d.rebuilt, kLength, scratch);
  sink = sink + uint32_t(d.rebuilt[kLength - 1]);
}

const TBenchKernel kKernels[] = {
    DSP_KERNEL("MagnitudeSum", sink = sink + k.MagnitudeSum(d.samples, kLength)),
    DSP_KERNEL("MagnitudeSumMax", sink = sink + k.MagnitudeSumMax(d.samples, kLength).Max),
    DSP_KERNEL("MagnitudeOr", sink = sink + k.MagnitudeOr(d.samples, kLength)),
    DSP_KERNEL("ToInt16 (shift 3)", k.ToInt16(d.samples, d.out16, kLength, 3);
               sink = sink + uint16_t(d.out16[kLength / 2])),
    DSP_KERNEL("SumSquares16", sink = sink + k.SumSquares16(d.a, kLength)),
    DSP_KERNEL("DotProduct16", sink = sink + uint64_t(k.DotProduct16(d.a, d.b, kLength))),
    DSP_KERNEL("Autocorr16 0..32", k.Autocorrelation16(d.a, kLength, 0, kLastLag, d.lags);
               sink = sink + uint64_t(d.lags[kLastLag])),
    {"Synthesis order 4", Synthesis<4>},
    {"Synthesis order 8", Synthesis<8>},
    {"Synthesis order 16", Synthesis<16>},
    {"Synthesis order 32", Synthesis<32>},
    {"Synthesis order 128", Synthesis<128>},
    {"Synthesis order 256", Synthesis<256>},
};

// The best of several runs of at least 10 ms each: the least disturbed by other load.
double NanosecondsPerCall(const TBenchKernel& kernel, TKernelLevel level, TBenchData& data) {
  using Clock = std::chrono::steady_clock;
  double best = 1e300;
  for (int run = 0; run < 15; ++run) {
    int64_t calls = 0;
    const Clock::time_point start = Clock::now();
    std::chrono::duration<double, std::nano> elapsed{};
    do {
      for (int i = 0; i < 16; ++i) kernel.run(level, data);
      calls += 16;
      elapsed = Clock::now() - start;
    } while (elapsed < std::chrono::milliseconds(10));
    const double perCall = elapsed.count() / double(calls);
    if (perCall < best) best = perCall;
  }
  return best;
}

}  // namespace

int main() {
  static TBenchData data;
  std::mt19937 random(1);
  // Scaled 24-bit audio for the 32-bit kernels, full-range values for the 16-bit ones.
  for (int32_t& x : data.samples) x = int32_t(random() % (1u << 24)) - (1 << 23);
  for (int16_t& x : data.a) x = int16_t(random());
  for (int16_t& x : data.b) x = int16_t(random());
  for (int32_t& x : data.residuals) x = int32_t(random() % 64) - 32;

  std::printf("n = %d values per call\n%-20s %-9s %12s %9s\n", kLength, "kernel", "level",
              "ns/call", "speed-up");
  for (const TBenchKernel& kernel : kKernels) {
    const double portable = NanosecondsPerCall(kernel, TKernelLevel::Portable, data);
    for (int index = 0; index <= int(SupportedKernelLevel()); ++index) {
      const TKernelLevel level = TKernelLevel(index);
      const double ns =
          index == 0 ? portable : NanosecondsPerCall(kernel, level, data);
      std::printf("%-20s %-9s %12.1f %8.2fx\n", kernel.name, KernelLevelName(level), ns,
                  portable / ns);
    }
  }
  return 0;
}

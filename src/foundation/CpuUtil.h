// Processor features and the kernel level that every kernel family dispatches on.
//
// Kernels exist portably and, on x86, as SSE2 and AVX2 versions with results identical to the
// portable ones. Each family keeps one table per level, filled once. Coder objects receive a
// processor flag word: without kCpuFlagVector they use the portable table, with it the best level
// the processor supports, capped by CapKernelLevel (tests, the command line and fuzzers use the cap
// to force lower levels).
#pragma once

#include <cstdint>

#include "lym/Kernels.h"

namespace lym {

struct TCpuFeatures {
  bool Detected = false;  // CPUID usable and leaf 1 present
  bool MMX = false;
  bool CMOV = false;
  bool SSE = false;
  bool SSE2 = false;
  bool AVX2 = false;  // with the operating system saving the wide registers
};


// Runs CPUID; false on processors without it (and on other architectures).
bool DetectCpu(uint32_t& signature, uint32_t& featureBits, char (&vendor)[13]);
// Detected once, on first use.
const TCpuFeatures& CpuFeatures();

enum class TKernelLevel : int { Portable = 0, Sse2 = 1, Avx2 = 2 };
inline constexpr int kKernelLevelCount = 3;
const char* KernelLevelName(TKernelLevel level);  // "portable", "sse2", "avx2"

// The best level this processor and this build support.
TKernelLevel SupportedKernelLevel();
// Limits the vector kernels to at most `cap` for the rest of the run (all threads).
void CapKernelLevel(TKernelLevel cap);
// The level that processor flags select: Portable without kCpuFlagVector, otherwise the supported
// level within the cap.
TKernelLevel KernelLevelFor(uint32_t cpuFlags);
// The flags that turn the vector kernels on when the processor has any.
uint32_t DefaultCpuFlags();

}  // namespace lym

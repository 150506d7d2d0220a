#include "foundation/CpuUtil.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define LYM_X86 1
#endif

namespace lym {
namespace {

constexpr uint32_t kEdxCmov = 1u << 15;
constexpr uint32_t kEdxMmx = 1u << 23;
constexpr uint32_t kEdxSse = 1u << 25;
constexpr uint32_t kEdxSse2 = 1u << 26;

std::atomic<int> kernelCap{int(TKernelLevel::Avx2)};

#ifdef LYM_X86
// AVX2 needs the instruction set (leaf 7) and an operating system that saves the YMM state.
bool DetectAvx2() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool osxsave = (ecx & (1u << 27)) != 0;
  const bool avx = (ecx & (1u << 28)) != 0;
  if (!osxsave || !avx) return false;
  uint32_t xcr0Low, xcr0High;
  __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
  if ((xcr0Low & 6) != 6) return false;
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  return (ebx & (1u << 5)) != 0;
}
#endif

TCpuFeatures Detect() {
  TCpuFeatures features;
  uint32_t signature = 0, bits = 0;
  char vendor[13];
  if (!DetectCpu(signature, bits, vendor)) return features;
  features.Detected = true;
  features.MMX = (bits & kEdxMmx) != 0;
  features.CMOV = (bits & kEdxCmov) != 0;
  features.SSE = (bits & kEdxSse) != 0;
  features.SSE2 = (bits & kEdxSse2) != 0;
#ifdef LYM_X86
  features.AVX2 = DetectAvx2();
#endif
  return features;
}

}  // namespace

bool DetectCpu(uint32_t& signature, uint32_t& featureBits, char (&vendor)[13]) {
  std::memset(vendor, 0, sizeof vendor);
#ifdef LYM_X86
  unsigned maxLeaf, ebx, ecx, edx, eax;
  if (__get_cpuid_max(0, nullptr) < 1) return false;
  __cpuid(0, maxLeaf, ebx, ecx, edx);
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  __cpuid(1, eax, ebx, ecx, edx);
  signature = eax;
  featureBits = edx;
  return true;
#else
  signature = featureBits = 0;
  return false;
#endif
}

const TCpuFeatures& CpuFeatures() {
  static const TCpuFeatures features = Detect();
  return features;
}

const char* KernelLevelName(TKernelLevel level) {
  switch (level) {
    case TKernelLevel::Sse2: return "sse2";
    case TKernelLevel::Avx2: return "avx2";
    default: return "portable";
  }
}

TKernelLevel SupportedKernelLevel() {
#ifdef LYM_X86_KERNELS
  const TCpuFeatures& features = CpuFeatures();
  if (features.AVX2) return TKernelLevel::Avx2;
  if (features.SSE2) return TKernelLevel::Sse2;
#endif
  return TKernelLevel::Portable;
}

void CapKernelLevel(TKernelLevel cap) { kernelCap.store(int(cap), std::memory_order_relaxed); }

TKernelLevel KernelLevelFor(uint32_t cpuFlags) {
  if ((cpuFlags & kCpuFlagVector) == 0) return TKernelLevel::Portable;
  return TKernelLevel(std::min(int(SupportedKernelLevel()), kernelCap.load(std::memory_order_relaxed)));
}

bool CapKernelsByName(std::string_view levelName) {
  for (int level = 0; level < kKernelLevelCount; ++level) {
    if (levelName == KernelLevelName(TKernelLevel(level))) {
      CapKernelLevel(TKernelLevel(level));
      return true;
    }
  }
  return false;
}

const char* ActiveKernelLevelName() { return KernelLevelName(KernelLevelFor(kCpuFlagVector)); }

uint32_t DefaultCpuFlags() {
  return SupportedKernelLevel() == TKernelLevel::Portable ? 0 : kCpuFlagVector;
}

}  // namespace lym

// The vector kernels: the processor flag that switches them on, and a cap that forces lower
// levels (for comparisons and for tracking down a processor-specific fault). Results never depend
// on the level.
#pragma once

#include <cstdint>
#include <string_view>

namespace lym {

// Processor flags handed to encoders and decoders.
inline constexpr uint32_t kCpuFlagVector = 2;  // use the vector kernels
inline constexpr uint32_t kCpuFlagSse = 4;

// Caps the kernels at "portable", "sse2" or "avx2" for the rest of the run; false (and nothing
// changes) for any other name.
bool CapKernelsByName(std::string_view levelName);
// The name of the level that the vector kernels run at now.
const char* ActiveKernelLevelName();

}  // namespace lym

// The system's clocks: a high-resolution counter for timing jobs, a millisecond clock to fall back
// on, and what the system's timer can resolve. One implementation per system.
#pragma once

#include <cstdint>

namespace lym::platform {

// The high-resolution counter and its ticks per second; false when the system has none.
bool HighResolutionCounter(int64_t& ticks);
bool HighResolutionFrequency(int64_t& ticksPerSecond);
// Milliseconds of the system's millisecond clock (wraps after 49 days, as that clock does).
uint32_t SystemMilliseconds();
// The smallest timer period in milliseconds the system offers; false when it cannot tell.
bool TimerMinimumPeriod(uint32_t& milliseconds);

}  // namespace lym::platform

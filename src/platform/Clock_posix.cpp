#ifndef _WIN32

#include <time.h>

#include "platform/Clock.h"

namespace lym::platform {

bool HighResolutionCounter(int64_t& ticks) {
  timespec now;
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return false;
  ticks = int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
  return true;
}

bool HighResolutionFrequency(int64_t& ticksPerSecond) {
  timespec resolution;
  if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0) return false;
  ticksPerSecond = 1000000000;
  return true;
}

uint32_t SystemMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint32_t(int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

// POSIX has no multimedia timer; the monotonic clock's resolution, rounded up to whole
// milliseconds, is the nearest thing.
bool TimerMinimumPeriod(uint32_t& milliseconds) {
  timespec resolution;
  if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0) return false;
  const int64_t nanoseconds = int64_t(resolution.tv_sec) * 1000000000 + resolution.tv_nsec;
  milliseconds = uint32_t((nanoseconds + 999999) / 1000000);
  if (milliseconds == 0) milliseconds = 1;
  return true;
}

}  // namespace lym::platform

#endif

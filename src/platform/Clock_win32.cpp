#ifdef _WIN32

#include "platform/Win32.h"
#include <mmsystem.h>

#include "platform/Clock.h"

namespace lym::platform {

bool HighResolutionCounter(int64_t& ticks) {
  LARGE_INTEGER counter;
  if (!QueryPerformanceCounter(&counter)) return false;
  ticks = counter.QuadPart;
  return true;
}

bool HighResolutionFrequency(int64_t& ticksPerSecond) {
  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) return false;
  ticksPerSecond = frequency.QuadPart;
  return true;
}

uint32_t SystemMilliseconds() { return timeGetTime(); }

bool TimerMinimumPeriod(uint32_t& milliseconds) {
  TIMECAPS caps;
  if (timeGetDevCaps(&caps, sizeof(caps)) != TIMERR_NOERROR) return false;
  milliseconds = caps.wPeriodMin;
  return true;
}

}  // namespace lym::platform

#endif

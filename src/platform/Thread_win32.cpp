#ifdef _WIN32

#include "platform/Win32.h"

#include "platform/Thread.h"

namespace lym::platform {

void RaiseCurrentThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }

}  // namespace lym::platform

#endif  // _WIN32

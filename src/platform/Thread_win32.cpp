#ifdef _WIN32

#include <windows.h>

#include "platform/Thread.h"

namespace lym::platform {

void RaiseCurrentThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }

}  // namespace lym::platform

#endif  // _WIN32

#ifndef _WIN32

#include "platform/Thread.h"

namespace lym::platform {

// Raising a POSIX thread's priority needs rights an ordinary process lacks; it runs as it is.
void RaiseCurrentThreadPriority() {}

}  // namespace lym::platform

#endif  // _WIN32

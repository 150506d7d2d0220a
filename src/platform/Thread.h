// Thread scheduling that the standard library leaves out. One implementation per system.
#pragma once

namespace lym::platform {

// Lets the calling thread run ahead of the process's ordinary threads where the system allows it
// without special rights (a player's decoding thread, so that the sound does not stutter).
void RaiseCurrentThreadPriority();

}  // namespace lym::platform

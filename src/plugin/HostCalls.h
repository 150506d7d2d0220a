// The few calls into the host's windowing system that the plug-in makes: message boxes and the
// end-of-file message. They go through replaceable function pointers so that tests can capture
// them; the defaults call the system (Windows) or write to the error output (elsewhere).
#pragma once

#include "plugin/WinampInterface.h"

namespace lym::plugin {

enum class TMessageIcon { None, Warning };

struct THostCalls {
  void (*ShowMessage)(winamp::Window owner, const char* text, const char* caption,
                      TMessageIcon icon);
  // Posts (never sends) message with both parameters 0.
  void (*PostToWindow)(winamp::Window window, unsigned message);
};

// The system's calls.
THostCalls SystemHostCalls();
// What the plug-in calls; set it before playback starts (the decoding thread reads it).
THostCalls& HostCalls();

}  // namespace lym::plugin

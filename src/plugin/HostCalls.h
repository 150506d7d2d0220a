// What the plug-in needs of the system around it. The calls into the host's windowing system
// (message boxes and the end-of-file message) go through replaceable function pointers so that
// tests can capture them; the defaults call the system (Windows) or write to the error output
// (elsewhere). Text conversion and thread scheduling are plain calls of the system.
#pragma once

#include <string>
#include <string_view>

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

// The library speaks UTF-8 (file names, tag values); the player's narrow-character interface speaks
// the host's 8-bit character set: the ANSI code page on Windows, where characters it cannot hold
// become whatever the system's conversion makes of them, and UTF-8 on POSIX hosts, where the text
// passes unchanged. Zero bytes inside the text are kept.
std::string Utf8ToHost(std::string_view text);
std::string HostToUtf8(std::string_view text);

// Lets the calling thread run ahead of the process's ordinary threads where the system allows it
// without special rights, so that the decoded sound does not stutter.
void RaiseCurrentThreadPriority();

}  // namespace lym::plugin

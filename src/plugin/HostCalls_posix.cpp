#ifndef _WIN32

#include <cstdio>

#include "plugin/HostCalls.h"

namespace lym::plugin {
namespace {

// Without a windowing system the message is at least not lost.
void PrintMessage(winamp::Window, const char* text, const char* caption, TMessageIcon) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
}

// There is no main window to tell; the host polls the plug-in instead.
void DropMessage(winamp::Window, unsigned) {}

}  // namespace

THostCalls SystemHostCalls() { return {PrintMessage, DropMessage}; }

std::string Utf8ToHost(std::string_view text) { return std::string(text); }

std::string HostToUtf8(std::string_view text) { return std::string(text); }

// Raising a POSIX thread's priority needs rights an ordinary process lacks; it runs as it is.
void RaiseCurrentThreadPriority() {}

}  // namespace lym::plugin

#endif  // _WIN32

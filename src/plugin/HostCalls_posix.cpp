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

}  // namespace lym::plugin

#endif  // _WIN32

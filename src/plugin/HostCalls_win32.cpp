#ifdef _WIN32

#include "plugin/HostCalls.h"

namespace lym::plugin {
namespace {

void ShowSystemMessage(winamp::Window owner, const char* text, const char* caption,
                       TMessageIcon icon) {
  MessageBoxA(owner, text, caption, MB_OK | (icon == TMessageIcon::Warning ? MB_ICONWARNING : 0));
}

void PostSystemMessage(winamp::Window window, unsigned message) {
  PostMessageA(window, message, 0, 0);
}

}  // namespace

THostCalls SystemHostCalls() { return {ShowSystemMessage, PostSystemMessage}; }

}  // namespace lym::plugin

#endif  // _WIN32

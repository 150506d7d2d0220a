#ifdef _WIN32

#include <climits>
#include <vector>

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

// Windows converts only through UTF-16, so the text takes two steps. Invalid input becomes the
// replacement character rather than failing, so that a damaged tag value still shows.
std::string Convert(std::string_view text, UINT fromCodePage, UINT toCodePage) {
  if (text.empty() || text.size() > size_t(INT_MAX)) return {};
  const int fromSize = static_cast<int>(text.size());
  const int wideSize = MultiByteToWideChar(fromCodePage, 0, text.data(), fromSize, nullptr, 0);
  if (wideSize <= 0) return {};
  std::vector<wchar_t> wide(static_cast<size_t>(wideSize));
  MultiByteToWideChar(fromCodePage, 0, text.data(), fromSize, wide.data(), wideSize);
  const int toSize =
      WideCharToMultiByte(toCodePage, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  if (toSize <= 0) return {};
  std::string converted(static_cast<size_t>(toSize), '\0');
  WideCharToMultiByte(toCodePage, 0, wide.data(), wideSize, converted.data(), toSize, nullptr,
                      nullptr);
  return converted;
}

}  // namespace

THostCalls SystemHostCalls() { return {ShowSystemMessage, PostSystemMessage}; }

std::string Utf8ToHost(std::string_view text) { return Convert(text, CP_UTF8, CP_ACP); }

std::string HostToUtf8(std::string_view text) { return Convert(text, CP_ACP, CP_UTF8); }

void RaiseCurrentThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }

}  // namespace lym::plugin

#endif  // _WIN32

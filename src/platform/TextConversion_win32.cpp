#ifdef _WIN32

#include "platform/Win32.h"

#include <climits>
#include <string>

#include "platform/TextConversion.h"
#include "platform/WideName_win32.h"

namespace lym::platform {
namespace {

std::string FromWide(std::wstring_view wide, UINT toCodePage) {
  if (wide.empty() || wide.size() > size_t(INT_MAX)) return {};
  const int wideSize = static_cast<int>(wide.size());
  const int toSize =
      WideCharToMultiByte(toCodePage, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  if (toSize <= 0) return {};
  std::string converted(static_cast<size_t>(toSize), '\0');
  WideCharToMultiByte(toCodePage, 0, wide.data(), wideSize, converted.data(), toSize, nullptr,
                      nullptr);
  return converted;
}

// Windows converts only through UTF-16, so the text takes two steps. Invalid input becomes the
// replacement character rather than failing, so that a damaged value still shows.
std::string Convert(std::string_view text, UINT fromCodePage, UINT toCodePage) {
  if (text.empty() || text.size() > size_t(INT_MAX)) return {};
  const int fromSize = static_cast<int>(text.size());
  const int wideSize = MultiByteToWideChar(fromCodePage, 0, text.data(), fromSize, nullptr, 0);
  if (wideSize <= 0) return {};
  std::wstring wide(static_cast<size_t>(wideSize), L'\0');
  MultiByteToWideChar(fromCodePage, 0, text.data(), fromSize, wide.data(), wideSize);
  return FromWide(wide, toCodePage);
}

}  // namespace

std::string Utf8ToHost(std::string_view text) { return Convert(text, CP_UTF8, CP_ACP); }

std::string HostToUtf8(std::string_view text) { return Convert(text, CP_ACP, CP_UTF8); }

std::string Utf8FromWide(std::wstring_view text) { return FromWide(text, CP_UTF8); }

}  // namespace lym::platform

#endif  // _WIN32

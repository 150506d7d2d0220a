#ifdef _WIN32

#include <windows.h>

#include <climits>
#include <vector>

#include "platform/TextConversion.h"

namespace lym::platform {

// Windows converts only through UTF-16, so the text takes two steps. Invalid UTF-8 becomes the
// replacement character rather than failing, so that a damaged value still shows.
std::string Utf8ToHost(std::string_view text) {
  if (text.empty() || text.size() > size_t(INT_MAX)) return {};
  const int utf8Size = static_cast<int>(text.size());
  const int wideSize = MultiByteToWideChar(CP_UTF8, 0, text.data(), utf8Size, nullptr, 0);
  if (wideSize <= 0) return {};
  std::vector<wchar_t> wide(static_cast<size_t>(wideSize));
  MultiByteToWideChar(CP_UTF8, 0, text.data(), utf8Size, wide.data(), wideSize);
  const int hostSize =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  if (hostSize <= 0) return {};
  std::string host(static_cast<size_t>(hostSize), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), wideSize, host.data(), hostSize, nullptr, nullptr);
  return host;
}

}  // namespace lym::platform

#endif  // _WIN32

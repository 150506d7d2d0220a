// The wide-character names that the system's file functions take, and the way back to UTF-8, for
// the platform layer's Win32 files. Defined in PlatformFile_win32.cpp.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lym::platform {

// UTF-8 to UTF-16 with its terminating zero; false for invalid UTF-8.
bool WideName(const std::string& name, std::vector<wchar_t>& wideName);
// UTF-16 from the system (a path, an argument, a control's text) to UTF-8.
std::string Utf8FromWide(std::wstring_view text);

}  // namespace lym::platform

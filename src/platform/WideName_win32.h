// The wide-character names that the system's file functions take, and the way back to UTF-8, for
// the platform layer's Win32 files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lym::platform {

// UTF-8 to UTF-16 with its terminating zero; false for invalid UTF-8. Defined in
// PlatformFile_win32.cpp.
bool WideName(const std::string& name, std::vector<wchar_t>& wideName);
// UTF-16 from the system (a path, say) to UTF-8. Defined in TextConversion_win32.cpp.
std::string Utf8FromWide(std::wstring_view text);

}  // namespace lym::platform

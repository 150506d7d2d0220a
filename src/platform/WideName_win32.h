// The wide-character names that the system's file functions take, for the platform layer's Win32
// files. Defined in PlatformFile_win32.cpp.
#pragma once

#include <string>
#include <vector>

namespace lym::platform {

// UTF-8 to UTF-16 with its terminating zero; false for invalid UTF-8.
bool WideName(const std::string& name, std::vector<wchar_t>& wideName);

}  // namespace lym::platform

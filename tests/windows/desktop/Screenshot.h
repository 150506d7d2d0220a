// Pictures of windows for the documentation.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <filesystem>

namespace lym::gui_test {

// Saves what the screen shows over the window's rectangle (frame and caption included) as a
// 24-bit BMP file; the window must be on top and painted.
void SaveWindowPicture(HWND window, const std::filesystem::path& bmpPath);

}  // namespace lym::gui_test

// The three job windows "Compress", "Decompress" and "File Information" on the one job dialog
// template. Each is modal; it starts in the main window's shared folder and hands its own folder
// on when it closes.
#pragma once

#include "DialogSupport.h"
#include "MainWindow.h"

namespace lym::win32 {

enum class TJobKind { Compress, Decompress, FileInfo };

void ShowJobWindow(HWND owner, TJobKind kind, TMainWindow& mainWindow);

}  // namespace lym::win32

// "&Browse...": the system's folder selection dialog.
#pragma once

#include <optional>
#include <string>

#include "DialogSupport.h"

namespace lym::win32 {

// The folder the user chose (UTF-8), or nothing when the dialog was cancelled or the choice is no
// file system folder. The dialog opens at start when that names a folder.
std::optional<std::string> BrowseForFolder(HWND owner, const std::string& start);

}  // namespace lym::win32

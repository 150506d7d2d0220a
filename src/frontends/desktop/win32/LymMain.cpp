// Lym.exe, the desktop program: the main window and everything it opens run modally in this one
// thread, batches included.
#include "DialogSupport.h"
// After windows.h, which DialogSupport.h brings.
#include <commctrl.h>

#include <string>

#include "MainDialog.h"

namespace {

std::string CurrentFolder() {
  std::string folder(MAX_PATH, '\0');
  DWORD length = GetCurrentDirectoryA(DWORD(folder.size()), folder.data());
  if (length > folder.size()) {  // the size needed, terminator included
    folder.resize(length);
    length = GetCurrentDirectoryA(length, folder.data());
  }
  folder.resize(length < folder.size() ? length : 0);
  return folder;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                     ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&classes);
  lym::win32::TMainDialog mainDialog(lym::DetectProcessorFeatures(), CurrentFolder());
  lym::win32::SetHandlerGuard([&mainDialog](const std::function<void()>& handler) {
    return mainDialog.Window().RunGuarded(handler);
  });
  mainDialog.Run();
  return 0;
}

// Lym.exe, the desktop program: the main window and everything it opens run modally in this one
// thread, batches included.
#include "DialogSupport.h"
// After windows.h, which DialogSupport.h brings.
#include <commctrl.h>

#include <string>

#include "MainDialog.h"

namespace {

std::string CurrentFolder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);  // terminator included
  std::wstring folder(size, L'\0');
  const DWORD length = GetCurrentDirectoryW(size, folder.data());
  folder.resize(length < size ? length : 0);
  return lym::win32::Narrow(folder);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Once for every window of the program: the option windows' tabs and preset grid among them.
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

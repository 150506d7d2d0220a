#include "FolderDialog.h"

#include <shlobj.h>

namespace lym::win32 {
namespace {

// The dialog's new style needs COM on this thread. Every successful initialisation, a repeated one
// included, is balanced; a thread already in the other apartment model stays as it is.
class TComScope {
 public:
  TComScope()
      : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~TComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  HRESULT result_;
};

int CALLBACK OpenAtStart(HWND dialog, UINT message, LPARAM, LPARAM start) {
  if (message == BFFM_INITIALIZED) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, start);
  return 0;
}

// A drive as the user folder keeps it, "C:", means the current folder of that drive to the system.
std::string AsSystemPath(const std::string& folder) {
  return folder.size() == 2 && folder[1] == ':' ? folder + "\\" : folder;
}

std::optional<std::string> FolderPath(PCIDLIST_ABSOLUTE folder) {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(folder, path) || path[0] == L'\0') return std::nullopt;
  return Narrow(path);
}

}  // namespace

std::optional<std::string> BrowseForFolder(HWND owner, const std::string& start) {
  const TComScope com;
  const std::wstring startPath = Widen(AsSystemPath(start));
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pszDisplayName = displayName;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (!startPath.empty()) {
    info.lpfn = OpenAtStart;
    info.lParam = reinterpret_cast<LPARAM>(startPath.c_str());
  }
  PIDLIST_ABSOLUTE folder = SHBrowseForFolderW(&info);
  if (folder == nullptr) return std::nullopt;
  std::optional<std::string> path = FolderPath(folder);
  CoTaskMemFree(folder);
  return path;
}

}  // namespace lym::win32

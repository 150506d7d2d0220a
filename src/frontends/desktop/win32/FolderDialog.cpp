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
  if (message == BFFM_INITIALIZED) SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, start);
  return 0;
}

// A drive as the user folder keeps it, "C:", means the current folder of that drive to the system.
std::string AsSystemPath(const std::string& folder) {
  return folder.size() == 2 && folder[1] == ':' ? folder + "\\" : folder;
}

// The wide form: with the UTF-8 code page, MAX_PATH bytes do not hold every MAX_PATH-character
// path, and the narrow call cuts such a path short while still reporting success.
std::optional<std::string> FolderPath(PCIDLIST_ABSOLUTE folder) {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(folder, path) || path[0] == L'\0') return std::nullopt;
  const int size = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::nullopt;
  std::string text(size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path, -1, text.data(), size, nullptr, nullptr);
  text.resize(size_t(size - 1));
  return text;
}

}  // namespace

std::optional<std::string> BrowseForFolder(HWND owner, const std::string& start) {
  const TComScope com;
  const std::string startPath = AsSystemPath(start);
  char displayName[MAX_PATH] = {};
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.pszDisplayName = displayName;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (!startPath.empty()) {
    info.lpfn = OpenAtStart;
    info.lParam = reinterpret_cast<LPARAM>(startPath.c_str());
  }
  PIDLIST_ABSOLUTE folder = SHBrowseForFolderA(&info);
  if (folder == nullptr) return std::nullopt;
  std::optional<std::string> path = FolderPath(folder);
  CoTaskMemFree(folder);
  return path;
}

}  // namespace lym::win32

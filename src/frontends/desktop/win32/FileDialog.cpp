#include "FileDialog.h"

#include <cderr.h>
#include <commdlg.h>

#include <optional>
#include <stdexcept>
#include <string_view>

#include "DesktopSettings.h"
#include "DesktopTexts.h"

namespace lym::win32 {
namespace {

// Test seam for the program's test driver, which cannot operate the system's file dialog: when
// this environment variable names a file, the dialog is not shown. Instead, at every click on
// "&Add Files...", that file is read as the user's choice: UTF-8, one full path per line (CR LF or
// LF); an empty file means that the user canceled.
constexpr const wchar_t* kTestChoiceVariable = L"LYM_TEST_FILE_CHOICE";

// Room for thousands of names; the dialog refuses a choice that does not fit, and we say so.
constexpr DWORD kNameBufferSize = DWORD(1) << 20;

std::optional<std::string> EnvironmentVariable(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  if (value.empty()) return std::nullopt;
  return Narrow(value);
}

std::optional<std::string> ReadWholeFile(const std::string& name) {
  const HANDLE file = CreateFileW(Widen(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::string> content;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart < kNameBufferSize) {
    std::string bytes(size_t(size.QuadPart), '\0');
    DWORD read = 0;
    if (ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr) && read == bytes.size()) {
      content = std::move(bytes);
    }
  }
  CloseHandle(file);
  return content;
}

std::vector<std::string> ChoiceFromFile(const std::string& name) {
  const std::optional<std::string> content = ReadWholeFile(name);
  if (!content) throw std::runtime_error(texts::kFileChoiceUnreadable + name);
  return NonEmptyLines(*content);
}

// The NUL-separated strings of the dialog's answer, ended by an empty one.
std::vector<std::string> DialogStrings(const std::vector<wchar_t>& buffer) {
  std::vector<std::string> strings;
  for (const wchar_t* next = buffer.data(); *next != L'\0';) {
    const std::wstring_view string = next;
    strings.push_back(Narrow(string));
    next += string.size() + 1;
  }
  return strings;
}

std::vector<std::string> RunOpenDialog(HWND owner, const TFileDialogRequest& request) {
  // The list ends with an empty string: the wide string's own terminator.
  const std::wstring filter = Widen(FileDialogFilter(request.Filter));
  const std::wstring title = Widen(request.Title);
  const std::wstring initialFolder = Widen(request.InitialFolder);
  std::vector<wchar_t> names(kNameBufferSize, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = names.data();
  dialog.nMaxFile = kNameBufferSize;
  dialog.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (GetOpenFileNameW(&dialog)) return ChosenFilePaths(DialogStrings(names));
  if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) {
    MessageBoxW(owner, Widen(texts::kTooManyFiles).c_str(), title.c_str(), MB_OK | MB_ICONWARNING);
  }
  return {};
}

}  // namespace

std::vector<std::string> ChooseFilesToOpen(HWND owner, const TFileDialogRequest& request) {
  if (const std::optional<std::string> choice = EnvironmentVariable(kTestChoiceVariable)) {
    return ChoiceFromFile(*choice);
  }
  return RunOpenDialog(owner, request);
}

}  // namespace lym::win32

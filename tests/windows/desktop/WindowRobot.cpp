#include "WindowRobot.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "DriverSupport.h"

namespace lym::gui_test {
namespace {

// Long enough for Wine to start a program and for the slowest step of a batch; a window that
// takes longer is stuck.
constexpr ULONGLONG kPatienceMs = 20000;
constexpr DWORD kPollMs = 20;
constexpr UINT kAnswerMs = 5000;

// The caption as the system keeps it: reading it sends nothing to the program.
std::string Caption(HWND window) {
  wchar_t caption[256] = {};
  GetWindowTextW(window, caption, int(std::size(caption)));
  return Utf8(caption);
}

std::string ItemName(HWND dialog, int id) {
  return "control " + std::to_string(id) + " of \"" + Caption(dialog) + "\"";
}

HWND Item(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  Check(item != nullptr, "no " + ItemName(dialog, id));
  return item;
}

LRESULT SendWithLimit(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  Check(SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs,
                            &result) != 0,
        "the program does not answer (message " + std::to_string(message) + ")");
  return LRESULT(result);
}

struct TWindowSearch {
  DWORD ProcessId;
  std::vector<HWND> Found;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<TWindowSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search.ProcessId && IsWindowVisible(window)) search.Found.push_back(window);
  return TRUE;
}

// The visible top-level windows of the process.
std::vector<HWND> TopWindows(DWORD processId) {
  TWindowSearch search{processId, {}};
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
  reinterpret_cast<std::vector<HWND>*>(context)->push_back(child);
  return TRUE;
}

bool ShowsText(HWND dialog, const std::string& text) {
  std::vector<HWND> children;
  EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
  for (HWND child : children) {
    if (WindowText(child) == text) return true;
  }
  return false;
}

}  // namespace

std::string EnterTestDesktop(const std::string& name, int width, int height) {
  // Wine makes a desktop virtual when its size is registered under its name.
  const std::wstring wideName = Wide(name);
  const std::wstring size = std::to_wstring(width) + L"x" + std::to_wstring(height);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(size.c_str()),
                   DWORD((size.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  HDESK desktop = CreateDesktopW(wideName.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  Check(desktop != nullptr && SetThreadDesktop(desktop), "cannot enter the desktop " + name);
  return name;
}

TProgram::TProgram(const std::string& path, const std::string& folder, const std::string& desktop) {
  std::wstring desktopName = Wide(desktop);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.lpDesktop = desktopName.data();
  std::wstring commandLine = L"\"" + Wide(path) + L"\"";
  Check(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       Wide(folder).c_str(), &startup, &info_) != 0,
        "cannot start " + path);
}

TProgram::~TProgram() {
  if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, kAnswerMs);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

DWORD TProgram::WaitForExit() {
  WaitUntil([&] { return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0; },
            "the program to end");
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

void WaitUntil(const std::function<bool()>& condition, const std::string& what) {
  const ULONGLONG deadline = GetTickCount64() + kPatienceMs;
  while (!condition()) {
    Check(GetTickCount64() < deadline, "timed out waiting for " + what);
    Sleep(kPollMs);
  }
}

HWND FindTopWindow(DWORD processId, const std::string& caption) {
  for (HWND window : TopWindows(processId)) {
    if (Caption(window) == caption) return window;
  }
  return nullptr;
}

HWND WaitForTopWindow(DWORD processId, const std::string& caption) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindTopWindow(processId, caption)) != nullptr; },
            "the window \"" + caption + "\"");
  return found;
}

HWND WaitForMessageBox(DWORD processId, const std::string& text) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND window : TopWindows(processId)) {
          wchar_t className[32] = {};
          GetClassNameW(window, className, int(std::size(className)));
          if (std::wstring(className) == L"#32770" && ShowsText(window, text)) found = window;
        }
        return found != nullptr;
      },
      "the message box \"" + text + "\"");
  return found;
}

bool IsShown(HWND window) { return IsWindow(window) && IsWindowVisible(window); }

std::string DescribeWindows(DWORD processId) {
  std::string captions;
  for (HWND window : TopWindows(processId)) captions += " \"" + Caption(window) + "\"";
  return captions.empty() ? " none" : captions;
}

void WaitUntilClosed(HWND window, const std::string& what) {
  WaitUntil([&] { return !IsShown(window); }, what + " to close");
}

std::string WindowText(HWND window) {
  const auto length = size_t(SendWithLimit(window, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(length + 1, L'\0');
  const auto copied =
      size_t(SendWithLimit(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(std::min(copied, length));
  return Utf8(text);
}

std::string ItemText(HWND dialog, int id) { return WindowText(Item(dialog, id)); }

bool ItemEnabled(HWND dialog, int id) { return IsWindowEnabled(Item(dialog, id)) != 0; }

bool ItemChecked(HWND dialog, int id) {
  return SendWithLimit(Item(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void WaitForItemText(HWND dialog, int id, const std::string& text) {
  WaitUntil([&] { return ItemText(dialog, id) == text; },
            ItemName(dialog, id) + " to show \"" + text + "\"");
}

void Click(HWND dialog, int id) {
  HWND item = Item(dialog, id);
  Check(IsWindowEnabled(item) != 0,
        WindowText(item) + " is disabled in \"" + Caption(dialog) + "\"");
  PostMessageW(item, BM_CLICK, 0, 0);
}

void PressKey(HWND dialog, int id, WPARAM key) {
  HWND item = Item(dialog, id);
  PostMessageW(item, WM_KEYDOWN, key, 1);
  PostMessageW(item, WM_KEYUP, key, LPARAM(0xC0000001));
}

void PostClose(HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }

void PostCancel(HWND dialog) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void Activate(HWND window) { SetForegroundWindow(window); }

}  // namespace lym::gui_test

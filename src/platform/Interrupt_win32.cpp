#ifdef _WIN32

#include "platform/Win32.h"

#include <csignal>
#include <vector>

#include "platform/CleanupList.h"
#include "platform/Interrupt.h"
#include "platform/WideName_win32.h"

namespace lym::platform {
namespace {

// Wide names, converted when listed, so that the handler has nothing left to convert.
TCleanupList<wchar_t, 32768> cleanupList;

int SignalNumberOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: return SIGINT;
    case CTRL_BREAK_EVENT: return SIGBREAK;
    default: return SIGTERM;  // the console closes, the user logs off, the system shuts down
  }
}

// Runs on a thread of its own. Temporary files are opened with FILE_SHARE_DELETE, so they can be
// deleted while the job still writes; they vanish when the process's handles close.
BOOL WINAPI OnInterrupt(DWORD event) {
  cleanupList.ForEachListed([](const wchar_t* name) { DeleteFileW(name); });
  ExitProcess(UINT(128 + SignalNumberOf(event)));
}

}  // namespace

void InstallInterruptCleanup() { SetConsoleCtrlHandler(OnInterrupt, TRUE); }

int32_t ListForCleanup(const std::string& name) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return -1;
  return cleanupList.Add(wideName.data(), wideName.size() - 1);  // without the terminating zero
}

void UnlistForCleanup(int32_t entry) { cleanupList.Remove(entry); }

}  // namespace lym::platform

#endif

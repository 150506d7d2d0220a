#ifdef _WIN32

#include "platform/Win32.h"

#include <csignal>
#include <vector>

#include "platform/CleanupList.h"
#include "platform/Interrupt.h"
#include "platform/WideName_win32.h"

namespace lym::platform {
namespace {

// Wide names of the longest length the system allows, converted when listed, so that the handler
// has nothing left to convert (about 2 MiB, reserved once).
TCleanupList<wchar_t, 32768> cleanupList;

// Taken by a TInterruptHold and by the handler, which runs on a thread of its own.
SRWLOCK holdLock = SRWLOCK_INIT;

int SignalNumberOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: return SIGINT;
    case CTRL_BREAK_EVENT: return SIGBREAK;
    default: return SIGTERM;  // the console closes, the user logs off, the system shuts down
  }
}

// Runs on a thread of its own. Temporary files are opened with FILE_SHARE_DELETE, so they can be
// deleted while the job still writes; they vanish when the process's handles close.
// Ends the process at once, as _exit does: no exit handlers, whatever the main thread holds.
BOOL WINAPI OnInterrupt(DWORD event) {
  AcquireSRWLockExclusive(&holdLock);
  cleanupList.ForEachListed([](const wchar_t* name) { DeleteFileW(name); });
  TerminateProcess(GetCurrentProcess(), UINT(128 + SignalNumberOf(event)));
  return TRUE;
}

}  // namespace

void InstallInterruptCleanup() { SetConsoleCtrlHandler(OnInterrupt, TRUE); }

int32_t ListForCleanup(const std::string& name) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return -1;
  return cleanupList.Add(wideName.data(), wideName.size() - 1);  // without the terminating zero
}

void UnlistForCleanup(int32_t entry) { cleanupList.Remove(entry); }

TInterruptHold::TInterruptHold() { AcquireSRWLockExclusive(&holdLock); }
TInterruptHold::~TInterruptHold() { ReleaseSRWLockExclusive(&holdLock); }

}  // namespace lym::platform

#endif

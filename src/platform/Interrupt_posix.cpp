#ifndef _WIN32

#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "platform/CleanupList.h"
#include "platform/Interrupt.h"

namespace lym::platform {
namespace {

TCleanupList<char, PATH_MAX> cleanupList;
constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};
thread_local sigset_t maskBeforeHold;

// Only async-signal-safe calls here: unlink and _exit.
void OnInterrupt(int signalNumber) {
  cleanupList.ForEachListed([](const char* name) { ::unlink(name); });
  ::_exit(128 + signalNumber);
}

void Catch(int signalNumber) {
  struct sigaction previous {};
  if (::sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigfillset(&action.sa_mask);  // one handler at a time
  ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace

// A reader that goes away mid-stream is not an interruption: ignoring SIGPIPE turns the write
// into its pipe into a failure (EPIPE) that the job reports and cleans up after.
void InstallInterruptCleanup() {
  for (const int signalNumber : kInterruptSignals) Catch(signalNumber);
  ::signal(SIGPIPE, SIG_IGN);
}

int32_t ListForCleanup(const std::string& name) {
  return cleanupList.Add(name.c_str(), name.size());
}

void UnlistForCleanup(int32_t entry) { cleanupList.Remove(entry); }

TInterruptHold::TInterruptHold() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signalNumber : kInterruptSignals) sigaddset(&held, signalNumber);
  ::pthread_sigmask(SIG_BLOCK, &held, &maskBeforeHold);
}

// A signal that came meanwhile is delivered here, with the file listed.
TInterruptHold::~TInterruptHold() { ::pthread_sigmask(SIG_SETMASK, &maskBeforeHold, nullptr); }

}  // namespace lym::platform

#endif

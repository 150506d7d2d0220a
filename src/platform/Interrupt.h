// Temporary outputs must not outlive an interrupted program. While one exists its name is listed
// here; an interruption (POSIX: SIGINT, SIGTERM, SIGHUP; Windows: Ctrl-C, Ctrl-Break, the console
// closing) removes every listed file and ends the program with status 128 + the signal's number.
// One implementation per system.
#pragma once

#include <cstdint>
#include <string>

namespace lym::platform {

// For programs that write files; a signal that the program was started to ignore stays ignored.
// POSIX: SIGPIPE is ignored, so that writing into a pipe whose reader has gone fails as an error.
void InstallInterruptCleanup();

// A handle for UnlistForCleanup, or -1 when the name could not be listed (the file then stays
// behind after an interruption; everything else works as usual).
int32_t ListForCleanup(const std::string& name);
void UnlistForCleanup(int32_t entry);

// Holds interruptions off while it lives, so that a file's creation and its listing happen as
// one: an interruption between them would leave the file behind. On POSIX it blocks the signals
// in the calling thread, which is enough while a program's files are made on its main thread.
class TInterruptHold {
 public:
  TInterruptHold();
  ~TInterruptHold();
  TInterruptHold(const TInterruptHold&) = delete;
  TInterruptHold& operator=(const TInterruptHold&) = delete;
};

}  // namespace lym::platform

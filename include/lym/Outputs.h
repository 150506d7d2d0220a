// What a front end needs around the files that the batches write.
#pragma once

#include <string>

namespace lym {

// For programs that write files: an interruption (Ctrl-C, SIGTERM, SIGHUP; on Windows Ctrl-C,
// Ctrl-Break or the console closing) removes the temporary outputs of running jobs and ends the
// program with status 128 + the signal's number.
void InstallInterruptCleanup();

// Whether standard input or output is a terminal (a console on Windows), where audio does not
// belong.
bool StandardInputIsTerminal();
bool StandardOutputIsTerminal();

// Creates an output folder that is not there yet (not its parents); false with the system's
// reason when it cannot be had.
bool CreateOutputFolder(const std::string& folder, std::string& reason);

}  // namespace lym

#ifndef _WIN32

#include <unistd.h>

#include "Console.h"

namespace lym::cli {

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace lym::cli

#endif

#ifdef _WIN32

#include <io.h>
#include <stdio.h>

#include "Console.h"

namespace lym::cli {

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace lym::cli

#endif

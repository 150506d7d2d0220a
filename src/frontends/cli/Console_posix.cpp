#ifndef _WIN32

#include <unistd.h>

#include "Console.h"

namespace lym::cli {

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseUtf8Console() {}

}  // namespace lym::cli

#endif

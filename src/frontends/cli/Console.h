// What the command line needs of the console and of the system's way of handing over arguments:
// whether stderr is a terminal (for the progress line), the arguments in UTF-8, and a console that
// shows the UTF-8 text the tool prints.
#pragma once

#include <string>
#include <vector>

namespace lym::cli {

bool StderrIsTerminal();

// The arguments after the program's name, in UTF-8 as the library expects file names. POSIX systems
// hand them over so; Windows gives main() its ANSI code page, so they are taken again from the
// system's wide-character command line.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Until the program ends, the console shows what the tool prints as UTF-8 (Windows consoles start
// with an OEM code page; POSIX terminals need nothing).
void UseUtf8Console();

}  // namespace lym::cli

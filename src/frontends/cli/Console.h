// What the command line needs of the console: whether stderr is a terminal (for the progress line).
#pragma once

namespace lym::cli {

bool StderrIsTerminal();

}  // namespace lym::cli

// Conversion between UTF-8, which the library speaks (file names, tag values), and the 8-bit
// character set of the host's narrow-character interfaces.
#pragma once

#include <string>
#include <string_view>

namespace lym::platform {

// POSIX hosts speak UTF-8, so the text comes back unchanged; Windows hosts get the ANSI code page,
// where characters it cannot hold become whatever the system's conversion makes of them. Zero bytes
// inside the text are kept.
std::string Utf8ToHost(std::string_view text);

// The way back, for text that arrives through the host's narrow interfaces (a file name from the
// player, say): unchanged on POSIX hosts, from the ANSI code page on Windows.
std::string HostToUtf8(std::string_view text);

}  // namespace lym::platform

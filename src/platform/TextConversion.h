// Conversion of UTF-8 text (tag values, for instance) into the 8-bit character set that the host's
// narrow-character interfaces expect.
#pragma once

#include <string>
#include <string_view>

namespace lym::platform {

// POSIX hosts speak UTF-8, so the text comes back unchanged; Windows hosts get the ANSI code page,
// where characters it cannot hold become whatever the system's conversion makes of them. Zero bytes
// inside the text are kept.
std::string Utf8ToHost(std::string_view text);

}  // namespace lym::platform

// Tag values as the player shows them: the values of a text item joined with ";", converted from
// the library's UTF-8 to the host's character set and then cut to the player's buffer.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "lym/lym.h"

namespace lym::plugin {

// The value of the item key (any ASCII case) into buffer, at most bufferBytes - 1 bytes and a
// terminating zero; bufferBytes is at least 1. False, with the buffer untouched, when there is no
// tag, the tag is not usable or it holds no text item of that key.
bool ReadTagValue(const lym_tag* tag, const char* key, char* buffer, size_t bufferBytes);

// The value as a display line has it: at most 128 characters.
std::optional<std::string> TagValue(const lym_tag* tag, const char* key);

// "artist - title", or "title" without an artist; none without a title.
std::optional<std::string> TagTitle(const lym_tag* tag);

}  // namespace lym::plugin

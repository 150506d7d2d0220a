// The tag that compression gives every new file, built from the user's items under the format's
// rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lym/Compressor.h"

namespace lym {

// The tag's bytes (header, items, footer; none for no items), or false with the reason.
bool BuildNewFileTag(const std::vector<TTagItem>& items, std::vector<uint8_t>& bytes,
                     std::string& fault);

}  // namespace lym

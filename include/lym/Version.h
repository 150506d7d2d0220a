// Version of the Lym library and its programs.
#pragma once

namespace lym {

// Major in bits 16..23, minor in bits 8..15, release in bits 0..7; stored in every stream written.
inline constexpr int kLymVersion = 0x010001;
inline constexpr const char kLymVersionText[] = "1.0.1";

}  // namespace lym

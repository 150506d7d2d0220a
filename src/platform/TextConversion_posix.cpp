#include "platform/TextConversion.h"

namespace lym::platform {

std::string Utf8ToHost(std::string_view text) { return std::string(text); }

std::string HostToUtf8(std::string_view text) { return std::string(text); }

}  // namespace lym::platform

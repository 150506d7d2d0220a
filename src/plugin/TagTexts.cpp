#include "plugin/TagTexts.h"

#include <algorithm>
#include <cstring>

#include "plugin/HostCalls.h"

namespace lym::plugin {
namespace {

constexpr char kValueSeparator = ';';
// A display line shows at most 128 characters of a value.
constexpr size_t kDisplayValueBytes = 129;

std::optional<std::string> Utf8Value(const lym_tag* tag, const char* key) {
  size_t length = 0;
  if (lym_tag_get_text(tag, key, kValueSeparator, nullptr, 0, &length) !=
      LYM_ERROR_BUFFER_TOO_SMALL) {
    return std::nullopt;
  }
  std::string text(length + 1, '\0');
  if (lym_tag_get_text(tag, key, kValueSeparator, text.data(), text.size(), &length) != LYM_OK)
    return std::nullopt;
  text.resize(length);
  return text;
}

}  // namespace

bool ReadTagValue(const lym_tag* tag, const char* key, char* buffer, size_t bufferBytes) {
  const std::optional<std::string> value = Utf8Value(tag, key);
  if (!value) return false;
  // Cut after the conversion: the player's buffer counts host characters.
  const std::string host = Utf8ToHost(*value);
  const size_t length = std::min(host.size(), bufferBytes - 1);
  std::memcpy(buffer, host.data(), length);
  buffer[length] = '\0';
  return true;
}

std::optional<std::string> TagValue(const lym_tag* tag, const char* key) {
  char value[kDisplayValueBytes];
  if (!ReadTagValue(tag, key, value, sizeof(value))) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> TagTitle(const lym_tag* tag) {
  const auto title = TagValue(tag, "title");
  if (!title) return std::nullopt;
  const auto artist = TagValue(tag, "artist");
  return artist ? *artist + " - " + *title : *title;
}

}  // namespace lym::plugin

// Editing a tag's items, under the rules of APEv2 and the limits its readers hold to.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "library/Tag.h"

namespace {

constexpr size_t kMinKeyLength = 2;
constexpr size_t kMaxKeyLength = 255;
constexpr std::array<std::string_view, 4> kForbiddenKeys = {"ID3", "TAG", "OggS", "MP+"};

bool SameAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y));
         });
}

const char* KeyFault(const char* key) {
  const std::string_view text(key, strnlen(key, kMaxKeyLength + 1));
  if (text.size() < kMinKeyLength || text.size() > kMaxKeyLength)
    return "a key has 2 to 255 characters";
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }))
    return "a key holds ASCII characters from space to tilde only";
  for (std::string_view forbidden : kForbiddenKeys) {
    if (SameAscii(text, forbidden)) return "ID3, TAG, OggS and MP+ are not keys";
  }
  return nullptr;
}

// Length of the UTF-8 sequence that starts with lead, 0 for a byte that cannot start one.
size_t SequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing
// beyond U+10FFFF.
bool IsUtf8(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count;) {
    const size_t length = SequenceLength(bytes[i]);
    if (length == 0 || length > count - i) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
    }
    const uint8_t lead = bytes[i];
    const uint8_t next = length > 1 ? bytes[i + 1] : 0;
    if ((lead == 0xE0 && next < 0xA0) || (lead == 0xED && next >= 0xA0) ||
        (lead == 0xF0 && next < 0x90) || (lead == 0xF4 && next >= 0x90)) {
      return false;
    }
    i += length;
  }
  return true;
}

const char* ValueFault(uint32_t type, const uint8_t* value, size_t bytes) {
  if (type > lym::kAPEv2ItemExternal) return "an item is text, binary or external";
  if (type != lym::kAPEv2ItemBinary && !IsUtf8(value, bytes))
    return "a text value is UTF-8";
  if (bytes > size_t(lym::kAPEv2MaxTagBytes)) return "a tag holds at most 16 MiB";
  return nullptr;
}

// What the tag would hold with item in it, against the limits.
const char* SizeFault(const lym::TlymAPEv2Tag& tag, const lym::TlymAPEv2Item& item) {
  const lym::TlymAPEv2TagItemList& items = tag.Items();
  const int32_t replaced = items.IndexOfKey(item.Key());
  int64_t size = lym::APEv2TagSize(items) + 8 + item.KeyLength() + 1 + item.ValueSize();
  if (replaced >= 0) {
    const lym::TlymAPEv2Item& old = *items[replaced];
    size -= 8 + old.KeyLength() + 1 + old.ValueSize();
  } else if (items.Count() >= int32_t(lym::kAPEv2MaxItems)) {
    return "a tag holds at most 100 items";
  }
  return size > lym::kAPEv2MaxTagBytes ? "a tag holds at most 16 MiB" : nullptr;
}

lym_status SetItem(lym_tag& tag, const char* key, uint32_t type, const uint8_t* value,
                   size_t bytes) {
  const char* fault = KeyFault(key);
  if (fault == nullptr) fault = ValueFault(type, value, bytes);
  if (fault != nullptr) return tag.error.Set(LYM_ERROR_INVALID_ARGUMENT, fault);
  auto item = std::make_unique<lym::TlymAPEv2Item>(int32_t(type), key,
                                                   std::vector<uint8_t>(value, value + bytes));
  if ((fault = SizeFault(*tag.tag, *item)) != nullptr)
    return tag.error.Set(LYM_ERROR_INVALID_ARGUMENT, fault);
  tag.tag->SetItem(std::move(item));
  return LYM_OK;
}

// The decoder's tag is looked at, never changed.
bool Editable(const lym_tag* tag) { return tag != nullptr && tag->owned != nullptr; }

}  // namespace

extern "C" {

lym_status lym_tag_set_text(lym_tag* tag, const char* key, const char* value_utf8) {
  if (!Editable(tag) || key == nullptr || value_utf8 == nullptr) return LYM_ERROR_INVALID_ARGUMENT;
  return lym::library::Guarded(&tag->error, [&] {
    return SetItem(*tag, key, lym::kAPEv2ItemText, reinterpret_cast<const uint8_t*>(value_utf8),
                   std::strlen(value_utf8));
  });
}

lym_status lym_tag_set_item(lym_tag* tag, const char* key, uint32_t type, const void* value,
                            size_t value_bytes) {
  if (!Editable(tag) || key == nullptr || (value == nullptr && value_bytes > 0))
    return LYM_ERROR_INVALID_ARGUMENT;
  return lym::library::Guarded(&tag->error, [&] {
    return SetItem(*tag, key, type, static_cast<const uint8_t*>(value), value_bytes);
  });
}

lym_status lym_tag_remove_item(lym_tag* tag, const char* key) {
  if (!Editable(tag) || key == nullptr) return LYM_ERROR_INVALID_ARGUMENT;
  return tag->tag->RemoveItem(key) ? LYM_OK : LYM_ERROR_NOT_FOUND;
}

lym_status lym_tag_remove_all(lym_tag* tag) {
  if (!Editable(tag)) return LYM_ERROR_INVALID_ARGUMENT;
  tag->tag->RemoveAllItems();
  return LYM_OK;
}

const char* lym_tag_error_text(const lym_tag* tag) {
  return tag == nullptr ? "" : tag->error.Text();
}

void lym_tag_free(lym_tag* tag) {
  if (Editable(tag)) delete tag;
}

}  // extern "C"

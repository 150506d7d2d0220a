// lym_tag: reading the items of the APEv2 tag that a decoder found behind its stream.
#include <algorithm>
#include <cstring>
#include <string>

#include "library/Calls.h"
#include "library/Tag.h"

namespace {

// The whole of text, or its longest beginning that fits capacity - 1 bytes without splitting a
// UTF-8 character.
size_t FittingLength(const std::string& text, size_t capacity) {
  if (text.size() < capacity) return text.size();
  size_t length = capacity - 1;
  while (length > 0 && (uint8_t(text[length]) & 0xC0) == 0x80) --length;
  return length;
}

}  // namespace

extern "C" {

lym_tag_state lym_tag_get_state(const lym_tag* tag) {
  if (tag == nullptr || tag->tag == nullptr) return LYM_TAG_NONE;
  switch (tag->tag->Status()) {
    case lym::kAPEv2StatusNoTag: return LYM_TAG_NONE;
    case lym::kAPEv2StatusIncompatible: return LYM_TAG_INCOMPATIBLE;
    case lym::kAPEv2StatusDamaged: return LYM_TAG_DAMAGED;
    case lym::kAPEv2StatusReadError: return LYM_TAG_UNREADABLE;
    default: return LYM_TAG_PRESENT;
  }
}

size_t lym_tag_item_count(const lym_tag* tag) {
  return lym_tag_get_state(tag) == LYM_TAG_PRESENT ? size_t(tag->tag->Items().Count()) : 0;
}

uint64_t lym_tag_bytes(const lym_tag* tag) {
  lym::TlymAPEv2TagInfo info;
  if (lym_tag_get_state(tag) != LYM_TAG_PRESENT ||
      tag->tag->GetTagInfo(&info) != lym::kAPEv2QueryDone) {
    return 0;
  }
  return uint64_t(std::max<int64_t>(info.Size, 0));
}

lym_status lym_tag_get_item(const lym_tag* tag, size_t index, lym_tag_item* item) {
  if (item == nullptr || index >= lym_tag_item_count(tag)) return LYM_ERROR_INVALID_ARGUMENT;
  const lym::TlymAPEv2Item& found = *tag->tag->Items()[int64_t(index)];
  item->key = found.KeyText();
  item->type = lym_tag_item_type(found.ItemType());
  item->value = found.Value();
  item->value_bytes = size_t(found.ValueSize());
  return LYM_OK;
}

lym_status lym_tag_get_text(const lym_tag* tag, const char* key, char separator, char* buffer,
                            size_t capacity, size_t* length) {
  if (length != nullptr) *length = 0;
  if (tag == nullptr || key == nullptr || (buffer == nullptr) != (capacity == 0))
    return LYM_ERROR_INVALID_ARGUMENT;
  return lym::library::Guarded(nullptr, [&] {
    if (lym_tag_get_state(tag) != LYM_TAG_PRESENT) return LYM_ERROR_NOT_FOUND;
    const int32_t index = tag->tag->Items().IndexOfKey(key);
    if (index < 0) return LYM_ERROR_NOT_FOUND;
    const lym::TlymAPEv2Item& item = *tag->tag->Items()[index];
    if (item.ItemType() != lym::kAPEv2ItemText) return LYM_ERROR_INVALID_ARGUMENT;
    const std::string text =
        item.JoinedValues(separator, [](std::string_view value) { return value; });
    if (length != nullptr) *length = text.size();
    if (capacity == 0) return LYM_ERROR_BUFFER_TOO_SMALL;
    const size_t fitting = FittingLength(text, capacity);
    std::memcpy(buffer, text.data(), fitting);
    buffer[fitting] = '\0';
    return fitting == text.size() ? LYM_OK : LYM_ERROR_BUFFER_TOO_SMALL;
  });
}

}  // extern "C"

// Editing a tag's items, under the rules of APEv2 and the limits its readers hold to.
#include <cstring>
#include <string_view>
#include <vector>

#include "library/Tag.h"

namespace {

lym_status SetItem(lym_tag& tag, const char* key, uint32_t type, const uint8_t* value,
                   size_t bytes) {
  // Keys longer than the format allows are not read to their end.
  const std::string_view keyText(key, strnlen(key, lym::kAPEv2MaxKeyArea));
  const char* fault = lym::APEv2ItemFault(type, keyText, value, bytes);
  if (fault != nullptr) return tag.error.Set(LYM_ERROR_INVALID_ARGUMENT, fault);
  auto item = std::make_unique<lym::TlymAPEv2Item>(int32_t(type), key,
                                                   std::vector<uint8_t>(value, value + bytes));
  if ((fault = lym::APEv2RoomFault(tag.tag->Items(), *item)) != nullptr)
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

#include "container/APEv2Tag.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

#include "foundation/ByteOrder.h"
#include "platform/TextConversion.h"

namespace lym {

namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

// A header or footer block.
struct TBlock {
  uint32_t version, tagSize, itemCount, flags;
};

TBlock ParseBlock(const uint8_t* block) {
  return {LoadLE32(block + 8), LoadLE32(block + 12), LoadLE32(block + 16), LoadLE32(block + 20)};
}

bool HasPreamble(const uint8_t* block) {
  return std::memcmp(block, kAPEv2Preamble, sizeof kAPEv2Preamble) == 0;
}

int32_t StatusFromResult(int32_t result) {
  switch (result) {
    case kAPEv2TagRead: return kAPEv2StatusUsable;
    case kAPEv2NoTag: return kAPEv2StatusNoTag;
    case kAPEv2Incompatible: return kAPEv2StatusIncompatible;
    case kAPEv2Damaged: return kAPEv2StatusDamaged;
    default: return kAPEv2StatusReadError;
  }
}

}  // namespace

// ---- TlymAPEv2Item ------------------------------------------------------------------------------

TlymAPEv2Item::TlymAPEv2Item() : key_(1, '\0'), value_(1, 0) {}

TlymAPEv2Item::TlymAPEv2Item(int32_t itemType, std::string_view key, std::vector<uint8_t> value)
    : itemType_(itemType), key_(key.begin(), key.end()), value_(std::move(value)) {
  if (itemType_ == kAPEv2ItemText) {
    valueCount_ = 1 + static_cast<int32_t>(std::count(value_.begin(), value_.end(), uint8_t{0}));
  }
  key_.push_back('\0');
  value_.push_back(0);
}

std::string_view TlymAPEv2Item::TextValue(int32_t index) const {
  std::string_view rest(reinterpret_cast<const char*>(value_.data()), value_.size() - 1);
  for (int32_t i = 0; i < index; ++i) {
    const size_t zero = rest.find('\0');
    if (zero == std::string_view::npos) return {};
    rest.remove_prefix(zero + 1);
  }
  return rest.substr(0, rest.find('\0'));
}

// ---- TlymAPEv2TagItemList -----------------------------------------------------------------------

int32_t TlymAPEv2TagItemList::IndexOfKey(std::string_view key) const {
  for (int32_t i = 0; i < Count(); ++i) {
    if (SameKey((*this)[i]->Key(), key)) return i;
  }
  return -1;
}

void TlymAPEv2TagItemList::RemoveAt(int32_t index) {
  for (int32_t i = index; i + 1 < Count(); ++i) (*this)[i] = std::move((*this)[i + 1]);
  SetSize(Count() - 1);
}

// ---- TlymAPEv2Tag -------------------------------------------------------------------------------

void TlymAPEv2Tag::SetItem(std::unique_ptr<TlymAPEv2Item> item) {
  const int32_t index = items_.IndexOfKey(item->Key());
  if (index >= 0) {
    items_[index] = std::move(item);
  } else {
    items_.Add(std::move(item));
  }
  status_ = kAPEv2StatusUsable;
}

bool TlymAPEv2Tag::RemoveItem(std::string_view key) {
  const int32_t index = items_.IndexOfKey(key);
  if (index < 0) return false;
  items_.RemoveAt(index);
  if (items_.Count() == 0) status_ = kAPEv2StatusNoTag;
  return true;
}

void TlymAPEv2Tag::RemoveAllItems() {
  items_.Clear();
  status_ = kAPEv2StatusNoTag;
}

void TlymAPEv2Tag::Clear() {
  items_.Clear();
  info_ = {};
  status_ = kAPEv2StatusNoTag;
}

bool TlymAPEv2Tag::BeginQuery() {
  lastResult_ = kAPEv2QueryDone;
  if (IsUsable()) return true;
  Raise(status_);
  return false;
}

int32_t TlymAPEv2Tag::Raise(int32_t code) {
  lastResult_ = std::max(lastResult_, code);
  // Only the status codes themselves touch the status: a caller's mistake in one query must not
  // make the tag unusable for the next.
  if (code >= kAPEv2StatusNoTag && code <= kAPEv2StatusReadError) status_ = code;
  return lastResult_;
}

int32_t TlymAPEv2Tag::GetItemCount() {
  if (!BeginQuery()) return -1;
  return items_.Count();
}

int32_t TlymAPEv2Tag::GetTagInfo(TlymAPEv2TagInfo* info) {
  if (!BeginQuery()) return lastResult_;
  if (info == nullptr) return Raise(kAPEv2CallerError);
  *info = info_;
  return lastResult_;
}

int32_t TlymAPEv2Tag::FindItem(const char* key, int32_t* index) {
  if (!BeginQuery()) return lastResult_;
  if (key == nullptr || index == nullptr) return Raise(kAPEv2CallerError);
  *index = items_.IndexOfKey(key);
  if (*index < 0) Raise(kAPEv2KeyNotFound);
  return lastResult_;
}

int32_t TlymAPEv2Tag::GetItemValue(int32_t itemIndex, int32_t valueIndex, int32_t* length,
                                   int32_t bufferSize, char* buffer, char separator) {
  if (!BeginQuery()) return lastResult_;
  if (itemIndex < 0 || itemIndex >= items_.Count() || length == nullptr ||
      (valueIndex < 0 && separator == '\0') || (buffer != nullptr && bufferSize < 0)) {
    return Raise(kAPEv2CallerError);
  }
  const TlymAPEv2Item& item = *items_[itemIndex];
  if (item.ItemType() != kAPEv2ItemText) return Raise(kAPEv2NotText);
  if (valueIndex >= item.ValueCount()) return Raise(kAPEv2CallerError);

  // Each value is converted on its own so that the separator stays the host character the caller
  // gave, whatever the host's character set.
  const std::string text = valueIndex >= 0
                               ? platform::Utf8ToHost(item.TextValue(valueIndex))
                               : item.JoinedValues(separator, platform::Utf8ToHost);
  // A value is at most 16 MiB before conversion; a host encoding cannot blow it past 2 GiB.
  *length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX - 1)) + 1;
  if (buffer == nullptr) return lastResult_;
  if (bufferSize < *length) {
    // Without room even for the terminating zero nothing is stored.
    if (bufferSize > 0) {
      std::memcpy(buffer, text.data(), static_cast<size_t>(bufferSize - 1));
      buffer[bufferSize - 1] = '\0';
    }
    return Raise(kAPEv2Truncated);
  }
  std::memcpy(buffer, text.data(), static_cast<size_t>(*length - 1));
  buffer[*length - 1] = '\0';
  return lastResult_;
}

// ---- Rules of editing ----------------------------------------------------------------------------

namespace {

constexpr size_t kMinKeyLength = 2;
constexpr size_t kMaxKeyLength = 255;
constexpr std::array<std::string_view, 4> kForbiddenKeys = {"ID3", "TAG", "OggS", "MP+"};

const char* KeyFault(std::string_view text) {
  if (text.size() < kMinKeyLength || text.size() > kMaxKeyLength)
    return "a key has 2 to 255 characters";
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; }))
    return "a key holds ASCII characters from space to tilde only";
  for (std::string_view forbidden : kForbiddenKeys) {
    if (SameKey(text, forbidden)) return "ID3, TAG, OggS and MP+ are not keys";
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
  if (type > uint32_t(kAPEv2ItemExternal)) return "an item is text, binary or external";
  if (type != uint32_t(kAPEv2ItemBinary) && !IsUtf8(value, bytes))
    return "a text value is UTF-8";
  if (bytes > size_t(kAPEv2MaxTagBytes)) return "a tag holds at most 16 MiB";
  return nullptr;
}

}  // namespace

const char* APEv2ItemFault(uint32_t type, std::string_view key, const uint8_t* value,
                           size_t bytes) {
  const char* fault = KeyFault(key);
  return fault != nullptr ? fault : ValueFault(type, value, bytes);
}

// ---- Writing -----------------------------------------------------------------------------------

namespace {

constexpr uint32_t kAPEv2WrittenVersion = 2000;
constexpr int64_t kItemHeadBytes = 8;  // value size and flags

int64_t ItemBytes(const TlymAPEv2Item& item) {
  return kItemHeadBytes + item.KeyLength() + 1 + item.ValueSize();
}

void AppendLE32(std::vector<uint8_t>& bytes, uint32_t value) {
  uint8_t word[4];
  StoreLE32(word, value);
  bytes.insert(bytes.end(), word, word + 4);
}

void AppendBlock(std::vector<uint8_t>& bytes, uint32_t tagSize, uint32_t itemCount,
                 uint32_t flags) {
  bytes.insert(bytes.end(), kAPEv2Preamble, kAPEv2Preamble + sizeof(kAPEv2Preamble));
  AppendLE32(bytes, kAPEv2WrittenVersion);
  AppendLE32(bytes, tagSize);
  AppendLE32(bytes, itemCount);
  AppendLE32(bytes, flags);
  bytes.insert(bytes.end(), 8, uint8_t{0});
}

}  // namespace

int64_t APEv2TagSize(const TlymAPEv2TagItemList& items) {
  int64_t size = kAPEv2BlockBytes;
  for (const auto& item : items) size += ItemBytes(*item);
  return size;
}

// What the tag would hold with item in it, against the limits.
const char* APEv2RoomFault(const TlymAPEv2TagItemList& items, const TlymAPEv2Item& item) {
  const int32_t replaced = items.IndexOfKey(item.Key());
  int64_t size = APEv2TagSize(items) + ItemBytes(item);
  if (replaced >= 0) {
    size -= ItemBytes(*items[replaced]);
  } else if (items.Count() >= int32_t(kAPEv2MaxItems)) {
    return "a tag holds at most 100 items";
  }
  return size > kAPEv2MaxTagBytes ? "a tag holds at most 16 MiB" : nullptr;
}

std::vector<uint8_t> APEv2TagBytes(const TlymAPEv2TagItemList& items) {
  std::vector<uint8_t> bytes;
  if (items.Count() == 0) return bytes;
  const auto tagSize = uint32_t(APEv2TagSize(items));
  const auto count = uint32_t(items.Count());
  bytes.reserve(size_t(tagSize) + kAPEv2BlockBytes);
  AppendBlock(bytes, tagSize, count, kAPEv2HasHeader | kAPEv2IsHeader);
  for (const auto& item : items) {
    AppendLE32(bytes, uint32_t(item->ValueSize()));
    AppendLE32(bytes, uint32_t(item->ItemType()) << 1);
    bytes.insert(bytes.end(), item->KeyText(), item->KeyText() + item->KeyLength() + 1);
    bytes.insert(bytes.end(), item->Value(), item->Value() + item->ValueSize());
  }
  AppendBlock(bytes, tagSize, count, kAPEv2HasHeader);
  return bytes;
}

// ---- TlymAPEv2TagReader -------------------------------------------------------------------------

int32_t TlymAPEv2TagReader::ReadTag(TadcIoStream& stream, TlymAPEv2Tag& tag) {
  stream_ = &stream;
  tag_ = &tag;
  tagFound_ = false;
  tag.Clear();
  result_ = kAPEv2TagRead;
  if (stream.IsClosed()) {
    Fail(kAPEv2ReadError);
  } else {
    const bool streamWasClean = !stream.HasError();
    const int64_t position = stream.GetPosition();
    const int64_t length = stream.GetLength();
    if (ReadFooterAndHeader(length)) {
      const TBlock footer = ParseBlock(footer_);
      ReadItems(length - footer.tagSize, length - kAPEv2BlockBytes, footer.itemCount);
    }
    // Whoever reads the stream next should find it as it was: probing for a tag that turns out
    // unreadable must not leave its error behind.
    if (streamWasClean && stream.HasError()) stream.ClearError();
    if (!stream.Seek(kSeekFromStart, position)) Fail(kAPEv2ReadError);
  }
  tag.status_ = StatusFromResult(result_);
  return result_;
}

bool TlymAPEv2TagReader::Fail(int32_t code) {
  result_ = std::max(result_, code);
  return false;
}

bool TlymAPEv2TagReader::ReadBlock(int64_t position, uint8_t* block) {
  return stream_->Seek(kSeekFromStart, position) && stream_->ReadExact(block, kAPEv2BlockBytes);
}

bool TlymAPEv2TagReader::ReadFooterAndHeader(int64_t length) {
  if (length < kAPEv2BlockBytes) return Fail(kAPEv2NoTag);
  if (!ReadBlock(length - kAPEv2BlockBytes, footer_)) return Fail(kAPEv2ReadError);
  const TBlock footer = ParseBlock(footer_);
  if (!HasPreamble(footer_) || (footer.flags & kAPEv2IsHeader) != 0) return Fail(kAPEv2NoTag);
  tagFound_ = true;
  // APEv1 tags (version 1000) end up here too.
  if (footer.version < kAPEv2MinVersion || footer.itemCount > kAPEv2MaxItems ||
      footer.tagSize > kAPEv2MaxTagBytes) {
    return Fail(kAPEv2Incompatible);
  }
  // The size is the file's word, not ours: it must leave room for the footer and, with the header,
  // must not reach before the start of the stream.
  const bool hasHeader = (footer.flags & kAPEv2HasHeader) != 0;
  const int64_t tagBytes = int64_t{footer.tagSize} + (hasHeader ? kAPEv2BlockBytes : 0);
  if (footer.tagSize < uint32_t{kAPEv2BlockBytes} || tagBytes > length) return Fail(kAPEv2Damaged);
  if (hasHeader) {
    if (!ReadBlock(length - tagBytes, header_)) return Fail(kAPEv2ReadError);
    const TBlock header = ParseBlock(header_);
    if (!HasPreamble(header_) || (header.flags & kAPEv2IsHeader) == 0 ||
        header.version != footer.version || header.tagSize != footer.tagSize ||
        header.itemCount != footer.itemCount || (header.flags & kAPEv2HasHeader) == 0 ||
        ((header.flags | footer.flags) & kAPEv2HasNoFooter) != 0) {
      return Fail(kAPEv2Damaged);
    }
  }
  tag_->info_ = {footer.version, footer.flags, length - tagBytes, tagBytes};
  return true;
}

bool TlymAPEv2TagReader::ReadItems(int64_t itemsStart, int64_t itemsEnd, uint32_t itemCount) {
  if (!stream_->Seek(kSeekFromStart, itemsStart)) return Fail(kAPEv2ReadError);
  int64_t position = itemsStart;
  for (uint32_t i = 0; i < itemCount; ++i) {
    uint8_t head[8];
    if (itemsEnd - position < int64_t{sizeof head}) return Fail(kAPEv2Damaged);
    if (!stream_->ReadExact(head, sizeof head)) return Fail(kAPEv2ReadError);
    position += sizeof head;
    const uint32_t valueSize = LoadLE32(head);
    const int32_t itemType = static_cast<int32_t>((LoadLE32(head + 4) >> 1) & 3);

    // The key area may run into the value; only the bytes up to the key's zero count.
    const auto areaBytes =
        static_cast<int32_t>(std::min<int64_t>(kAPEv2MaxKeyArea, itemsEnd - position));
    char area[kAPEv2MaxKeyArea];
    if (areaBytes <= 0) return Fail(kAPEv2Damaged);
    if (!stream_->ReadExact(area, areaBytes)) return Fail(kAPEv2ReadError);
    const void* zero = std::memchr(area, 0, static_cast<size_t>(areaBytes));
    if (zero == nullptr) return Fail(kAPEv2Damaged);
    const std::string_view key(area, static_cast<size_t>(static_cast<const char*>(zero) - area));
    if (key.size() < size_t{kAPEv2MinKeyLength}) return Fail(kAPEv2Damaged);
    position += static_cast<int64_t>(key.size()) + 1;

    // Checked before allocating: the value must end before the footer.
    if (int64_t{valueSize} > itemsEnd - position) return Fail(kAPEv2Damaged);
    std::vector<uint8_t> value(valueSize);
    if (!stream_->Seek(kSeekFromStart, position) ||
        !stream_->ReadExact(value.data(), static_cast<int32_t>(valueSize))) {
      return Fail(kAPEv2ReadError);
    }
    position += valueSize;

    if (itemType == kAPEv2ItemReserved) return Fail(kAPEv2Damaged);
    if (tag_->items_.IndexOfKey(key) >= 0) return Fail(kAPEv2Damaged);
    tag_->items_.Add(std::make_unique<TlymAPEv2Item>(itemType, key, std::move(value)));
  }
  // A tag without items has nothing that ends at the footer, and counts as damaged too.
  if (itemCount == 0 || position != itemsEnd) return Fail(kAPEv2Damaged);
  return true;
}

}  // namespace lym

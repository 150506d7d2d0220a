// The APEv2 tag that may follow the last frame of a compressed file: reading it, the queries that
// the player plug-in answers from it (title, artist and so on), editing its items and the bytes
// that write it again.
//
// Layout, all integers 32-bit little-endian: an optional 32-byte header, the items, and a 32-byte
// footer that must be the last 32 bytes of the stream. Header and footer hold "APETAGEX", the
// version, the tag size (items and footer, without the header), the item count, the flags and 8
// reserved bytes. An item is its value size, its flags, a zero-terminated ASCII key and the value.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/lymFileIo.h"
#include "foundation/zqArrayList.h"

namespace lym {

inline constexpr char kAPEv2Preamble[8] = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X'};
inline constexpr int32_t kAPEv2BlockBytes = 32;
inline constexpr uint32_t kAPEv2MinVersion = 2000;
inline constexpr uint32_t kAPEv2MaxItems = 100;
// Items and footer; bounds what a tag can make us allocate.
inline constexpr int64_t kAPEv2MaxTagBytes = 0x1000000;
// A key is at most 255 characters and its terminating zero.
inline constexpr int32_t kAPEv2MaxKeyArea = 256;
inline constexpr int32_t kAPEv2MinKeyLength = 2;

// Flags of the header and footer blocks.
inline constexpr uint32_t kAPEv2HasHeader = 1u << 31;
inline constexpr uint32_t kAPEv2HasNoFooter = 1u << 30;
inline constexpr uint32_t kAPEv2IsHeader = 1u << 29;

// Item types, bits 1 and 2 of the item flags.
inline constexpr int32_t kAPEv2ItemText = 0;  // UTF-8, values separated by zero bytes
inline constexpr int32_t kAPEv2ItemBinary = 1;
inline constexpr int32_t kAPEv2ItemExternal = 2;
inline constexpr int32_t kAPEv2ItemReserved = 3;

// Results of TlymAPEv2TagReader::ReadTag; the highest one raised wins.
inline constexpr int32_t kAPEv2TagRead = 0;
inline constexpr int32_t kAPEv2NoTag = 1;
inline constexpr int32_t kAPEv2Incompatible = 2;
inline constexpr int32_t kAPEv2Damaged = 3;
inline constexpr int32_t kAPEv2ReadError = 4;

// Status of a tag: below kAPEv2StatusNoTag it is usable. The codes of 4 and above are also what
// every query of an unusable tag returns.
inline constexpr int32_t kAPEv2StatusUsable = 0;
inline constexpr int32_t kAPEv2StatusNoTag = 4;
inline constexpr int32_t kAPEv2StatusIncompatible = 5;
inline constexpr int32_t kAPEv2StatusDamaged = 6;
inline constexpr int32_t kAPEv2StatusReadError = 7;

// Results of the tag's queries besides the status codes.
inline constexpr int32_t kAPEv2QueryDone = 0;
inline constexpr int32_t kAPEv2KeyNotFound = 1;
inline constexpr int32_t kAPEv2NotText = 2;
inline constexpr int32_t kAPEv2Truncated = 3;
inline constexpr int32_t kAPEv2CallerError = 2048;

class TlymAPEv2Item {
 public:
  // An item without key whose value is empty.
  TlymAPEv2Item();
  TlymAPEv2Item(int32_t itemType, std::string_view key, std::vector<uint8_t> value);

  int32_t ItemType() const { return itemType_; }
  int32_t KeyLength() const { return static_cast<int32_t>(key_.size()) - 1; }
  int32_t ValueSize() const { return static_cast<int32_t>(value_.size()) - 1; }
  // 1 + the number of zero bytes in a text value; 1 for the other types.
  int32_t ValueCount() const { return valueCount_; }
  std::string_view Key() const { return {key_.data(), key_.size() - 1}; }
  // The key as a C string.
  const char* KeyText() const { return key_.data(); }
  // ValueSize() bytes followed by a zero byte, so that a text value reads as a C string.
  const uint8_t* Value() const { return value_.data(); }
  // The index-th of the zero-separated values (0 <= index < ValueCount()), still in UTF-8.
  std::string_view TextValue(int32_t index) const;
  // Every value, each passed through convert, with separator between them.
  template <class Convert>
  std::string JoinedValues(char separator, Convert&& convert) const {
    std::string text;
    for (int32_t i = 0; i < valueCount_; ++i) {
      if (i > 0) text += separator;
      text += convert(TextValue(i));
    }
    return text;
  }

 private:
  int32_t itemType_ = kAPEv2ItemText;
  int32_t valueCount_ = 1;
  std::vector<char> key_;  // with a terminating zero
  std::vector<uint8_t> value_;
};

// The tag's items in file order; the list owns them.
class TlymAPEv2TagItemList : public TzqArrayList<std::unique_ptr<TlymAPEv2Item>> {
 public:
  TlymAPEv2TagItemList() : TzqArrayList(16) {}

  // The first item whose key equals key without regard to ASCII case, or -1.
  int32_t IndexOfKey(std::string_view key) const;
  void Clear() { SetSize(0); }
  // Removes one item; the later ones move up, keeping their order.
  void RemoveAt(int32_t index);
};

// Six 32-bit words: where the tag is and what it announced.
struct TlymAPEv2TagInfo {
  uint32_t Version = 0;
  uint32_t Flags = 0;  // of the footer
  int64_t Start = 0;   // position of the tag in the stream, header included when present
  int64_t Size = 0;    // header included when present
};

class TlymAPEv2Tag {
 public:
  TlymAPEv2Tag() = default;
  TlymAPEv2Tag(const TlymAPEv2Tag&) = delete;
  TlymAPEv2Tag& operator=(const TlymAPEv2Tag&) = delete;

  // Forgets the items; the tag then reports kAPEv2StatusNoTag.
  void Clear();
  bool IsUsable() const { return status_ < kAPEv2StatusNoTag; }
  int32_t Status() const { return status_; }
  // The highest code raised during the last query.
  int32_t LastResult() const { return lastResult_; }
  // All items read, also those read before the tag turned out to be damaged.
  const TlymAPEv2TagItemList& Items() const { return items_; }
  // Where the tag read stands in the stream; Size is 0 when its extent is unknown (no tag, or one
  // whose footer could not be trusted).
  const TlymAPEv2TagInfo& Placement() const { return info_; }

  // Editing. An item replaces the one of the same key (in its place) or comes last; the tag is
  // usable while it holds items and has no tag (kAPEv2StatusNoTag) once the last one is removed.
  void SetItem(std::unique_ptr<TlymAPEv2Item> item);
  bool RemoveItem(std::string_view key);
  void RemoveAllItems();

  // Every query returns the status while the tag is not usable.

  // -1 while the tag is not usable.
  int32_t GetItemCount();
  int32_t GetTagInfo(TlymAPEv2TagInfo* info);
  // The item whose key equals the zero-terminated key without regard to ASCII case; otherwise
  // index -1 and kAPEv2KeyNotFound.
  int32_t FindItem(const char* key, int32_t* index);
  // A text value converted to the host's 8-bit character set. valueIndex >= 0 selects one of the
  // item's values; a negative one joins them all with separator (which must not be zero). length
  // receives the converted length + 1. A buffer (optional) of bufferSize bytes receives the text
  // and a terminating zero; when it is too small it receives what fits before the zero and the
  // result is kAPEv2Truncated.
  int32_t GetItemValue(int32_t itemIndex, int32_t valueIndex, int32_t* length, int32_t bufferSize,
                       char* buffer, char separator);

 private:
  friend class TlymAPEv2TagReader;

  // Starts a query: false (with the status raised) while the tag is not usable.
  bool BeginQuery();
  int32_t Raise(int32_t code);

  int32_t status_ = kAPEv2StatusNoTag;
  int32_t lastResult_ = kAPEv2QueryDone;
  TlymAPEv2TagItemList items_;
  TlymAPEv2TagInfo info_;
};

// Why an item may not go into a tag: its key (2 to 255 ASCII characters from space to tilde, not
// ID3, TAG, OggS or MP+), its type (text, binary or external) or its value (UTF-8 unless binary);
// null when it may.
const char* APEv2ItemFault(uint32_t type, std::string_view key, const uint8_t* value,
                           size_t bytes);
// Why items have no room for item (at most kAPEv2MaxItems, kAPEv2MaxTagBytes); null when they do.
const char* APEv2RoomFault(const TlymAPEv2TagItemList& items, const TlymAPEv2Item& item);

// Header, items and footer of a version 2000 tag holding items (at most kAPEv2MaxItems, together
// at most kAPEv2MaxTagBytes with the footer); nothing for no items.
std::vector<uint8_t> APEv2TagBytes(const TlymAPEv2TagItemList& items);
// The bytes of items and footer, the size that the footer announces.
int64_t APEv2TagSize(const TlymAPEv2TagItemList& items);

// Reads one tag; meant to be created for a single ReadTag call.
class TlymAPEv2TagReader {
 public:
  TlymAPEv2TagReader() = default;
  TlymAPEv2TagReader(const TlymAPEv2TagReader&) = delete;
  TlymAPEv2TagReader& operator=(const TlymAPEv2TagReader&) = delete;

  // Replaces the tag's contents with the tag at the end of the stream and returns the result code
  // (kAPEv2TagRead ... kAPEv2ReadError); the tag's status follows from it. The stream is left at
  // the position where it stood, and a read error of the tag does not stay recorded in it.
  int32_t ReadTag(TadcIoStream& stream, TlymAPEv2Tag& tag);

  int32_t Result() const { return result_; }
  // An "APETAGEX" footer ends the stream, whether or not the tag behind it is usable.
  bool TagFound() const { return tagFound_; }

 private:
  // Each returns false once a code has been raised that ends the reading.
  bool ReadFooterAndHeader(int64_t length);
  bool ReadItems(int64_t itemsStart, int64_t itemsEnd, uint32_t itemCount);
  bool ReadBlock(int64_t position, uint8_t* block);
  bool Fail(int32_t code);

  int32_t result_ = kAPEv2NoTag;
  uint8_t header_[kAPEv2BlockBytes] = {};
  uint8_t footer_[kAPEv2BlockBytes] = {};
  bool tagFound_ = false;
  TadcIoStream* stream_ = nullptr;
  TlymAPEv2Tag* tag_ = nullptr;
};

}  // namespace lym

#include "container/APEv2Tag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "io/MemoryStream.h"
#include "io/lymFileIo.h"

namespace lym {
namespace {

using namespace std::string_literals;

// ---- Building tags ------------------------------------------------------------------------------

std::string Le32(uint32_t value) {
  return {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
}

void Patch32(std::string& bytes, size_t offset, uint32_t value) {
  bytes.replace(offset, 4, Le32(value));
}

std::string Item(const std::string& key, const std::string& value, uint32_t flags = 0) {
  return Le32(uint32_t(value.size())) + Le32(flags) + key + '\0' + value;
}

std::string Block(uint32_t version, uint32_t tagSize, uint32_t itemCount, uint32_t flags) {
  return "APETAGEX" + Le32(version) + Le32(tagSize) + Le32(itemCount) + Le32(flags) +
         std::string(8, '\0');
}

std::string Tag(const std::vector<std::string>& items, bool withHeader = true,
                uint32_t version = 2000) {
  std::string body;
  for (const std::string& item : items) body += item;
  const auto size = uint32_t(body.size() + 32);
  const auto count = uint32_t(items.size());
  const uint32_t flags = withHeader ? kAPEv2HasHeader : 0;
  return (withHeader ? Block(version, size, count, flags | kAPEv2IsHeader) : "") + body +
         Block(version, size, count, flags);
}

const std::string kAudio = "wQyZ" + std::string(96, '\x55');

// Offsets inside Tag(...) with a header, counted from the tag's start.
constexpr size_t kVersionField = 8, kSizeField = 12, kCountField = 16, kFlagsField = 20;

// ---- Streams over bytes in memory ---------------------------------------------------------------


std::vector<uint8_t> Bytes(const std::string& bytes) { return {bytes.begin(), bytes.end()}; }

// Reads that touch [badFrom, badTo) fail.
struct TFlakyMedium : TMemoryMedium {
  int64_t badFrom = 0, badTo = 0;

  static int32_t Read(void* user, void* buffer, int32_t count, int32_t* bytesRead) {
    auto& medium = *static_cast<TFlakyMedium*>(static_cast<TMemoryMedium*>(user));
    *bytesRead = 0;
    if (medium.position < medium.badTo && medium.position + count > medium.badFrom) return 0;
    return MemoryMediumCallbacks().Read(user, buffer, count, bytesRead);
  }
};

// Unbuffered, so that exactly the reads that touch the bad bytes fail.
void OpenFlaky(TadcInterfaceStream& stream, TFlakyMedium& medium) {
  TadcStreamCallbacks callbacks = MemoryMediumCallbacks();
  callbacks.Read = TFlakyMedium::Read;
  ASSERT_EQ(stream.OpenInterface(callbacks, static_cast<TMemoryMedium*>(&medium), 0), 0);
}

// Reads the tag of bytes from a stream that stands inside the bytes, and checks that the stream
// stands there afterwards and can still be used.
int32_t ReadTagOf(const std::string& bytes, TlymAPEv2Tag& tag, bool* found = nullptr) {
  TMemoryMedium medium{Bytes(bytes)};
  TadcInterfaceStream stream;
  EXPECT_EQ(OpenMemoryStream(stream, medium), 0);
  const int64_t start = int64_t(bytes.size()) / 3;
  EXPECT_TRUE(stream.Seek(kSeekFromStart, start));
  TlymAPEv2TagReader reader;
  const int32_t result = reader.ReadTag(stream, tag);
  EXPECT_EQ(reader.Result(), result);
  EXPECT_EQ(stream.GetPosition(), start);
  EXPECT_FALSE(stream.HasError());
  if (found != nullptr) *found = reader.TagFound();
  return result;
}

std::string ValueOf(TlymAPEv2Tag& tag, int32_t item, int32_t value, char separator = '\0') {
  int32_t length = 0;
  std::vector<char> buffer(4096, '\x7f');
  EXPECT_EQ(
      tag.GetItemValue(item, value, &length, int32_t(buffer.size()), buffer.data(), separator),
      kAPEv2QueryDone);
  EXPECT_EQ(std::strlen(buffer.data()) + 1, size_t(length));
  return buffer.data();
}

// Every query of an unusable tag answers with its status.
void ExpectQueriesRefuse(TlymAPEv2Tag& tag, int32_t status) {
  EXPECT_FALSE(tag.IsUsable());
  EXPECT_EQ(tag.Status(), status);
  EXPECT_EQ(tag.GetItemCount(), -1);
  TlymAPEv2TagInfo info;
  EXPECT_EQ(tag.GetTagInfo(&info), status);
  int32_t index = 0, length = 0;
  EXPECT_EQ(tag.FindItem("Title", &index), status);
  EXPECT_EQ(tag.GetItemValue(0, 0, &length, 0, nullptr, ';'), status);
  EXPECT_EQ(tag.LastResult(), status);
}

// ---- Reading ------------------------------------------------------------------------------------

TEST(APEv2TagReaderTest, ReadsItemsAndTagInfoWithAndWithoutHeader) {
  const std::string longKey(255, 'K');
  const std::vector<std::string> items = {Item("Title", "Song"), Item("Artist", "a\0b"s),
                                          Item("Cover Art (Front)", "\x89PNG\0\1"s, 1u << 1),
                                          Item(longKey, ""), Item("ab", "x")};
  for (const bool withHeader : {true, false}) {
    SCOPED_TRACE(withHeader);
    const std::string prefix = withHeader ? kAudio : "";
    const std::string tagBytes = Tag(items, withHeader, 2000);
    TlymAPEv2Tag tag;
    bool found = false;
    ASSERT_EQ(ReadTagOf(prefix + tagBytes, tag, &found), kAPEv2TagRead);
    EXPECT_TRUE(found);
    EXPECT_EQ(tag.Status(), kAPEv2StatusUsable);
    EXPECT_EQ(tag.GetItemCount(), 5);

    TlymAPEv2TagInfo info;
    EXPECT_EQ(tag.GetTagInfo(&info), kAPEv2QueryDone);
    EXPECT_EQ(info.Version, 2000u);
    EXPECT_EQ(info.Flags, withHeader ? kAPEv2HasHeader : 0u);
    EXPECT_EQ(info.Start, int64_t(prefix.size()));
    EXPECT_EQ(info.Size, int64_t(tagBytes.size()));

    const TlymAPEv2Item& artist = *tag.Items()[1];
    EXPECT_EQ(artist.Key(), "Artist");
    EXPECT_EQ(artist.ItemType(), kAPEv2ItemText);
    EXPECT_EQ(artist.ValueSize(), 3);
    EXPECT_EQ(artist.ValueCount(), 2);
    const TlymAPEv2Item& cover = *tag.Items()[2];
    EXPECT_EQ(cover.ItemType(), kAPEv2ItemBinary);
    EXPECT_EQ(cover.ValueCount(), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(cover.Value()), 7), "\x89PNG\0\1\0"s);
    EXPECT_EQ(tag.Items()[3]->Key(), longKey);
    EXPECT_EQ(ValueOf(tag, 0, 0), "Song");
  }
}

TEST(APEv2TagReaderTest, NoFooterAtTheVeryEndMeansNoTag) {
  const std::string tag = Tag({Item("Title", "Song")});
  std::string lowerCase = kAudio + tag;
  lowerCase[lowerCase.size() - 25] = 'x';  // "APETAGEx"
  const std::string endsWithHeader = kAudio + tag.substr(0, 32);
  const std::string id3 = "TAG" + std::string(125, ' ');
  for (const std::string& bytes :
       {""s, std::string(31, 'A'), kAudio, kAudio + tag + id3, lowerCase, endsWithHeader}) {
    SCOPED_TRACE(bytes.size());
    TlymAPEv2Tag tagObject;
    // A tag read earlier must not survive a read that finds none.
    ASSERT_EQ(ReadTagOf(kAudio + tag, tagObject), kAPEv2TagRead);
    bool found = true;
    EXPECT_EQ(ReadTagOf(bytes, tagObject, &found), kAPEv2NoTag);
    EXPECT_FALSE(found);
    EXPECT_EQ(tagObject.Items().Count(), 0);
    ExpectQueriesRefuse(tagObject, kAPEv2StatusNoTag);
  }
}

TEST(APEv2TagReaderTest, OldVersionsTooManyItemsAndOversizedTagsAreIncompatible) {
  std::vector<std::string> items;
  for (int i = 0; i < 101; ++i) items.push_back(Item("Key" + std::to_string(i), "v"));
  std::string oversized = Tag({Item("Title", "Song")}, false);
  Patch32(oversized, oversized.size() - 32 + kSizeField, 0x1000001);

  struct Case {
    const char* name;
    std::string bytes;
  };
  for (const Case& c : {Case{"APEv1", Tag({Item("Title", "Song")}, false, 1000)},
                        Case{"version 1999", Tag({Item("Title", "Song")}, true, 1999)},
                        Case{"101 items", Tag(items)}, Case{"over 16 MiB", oversized}}) {
    SCOPED_TRACE(c.name);
    TlymAPEv2Tag tag;
    bool found = false;
    EXPECT_EQ(ReadTagOf(kAudio + c.bytes, tag, &found), kAPEv2Incompatible);
    EXPECT_TRUE(found);
    ExpectQueriesRefuse(tag, kAPEv2StatusIncompatible);
  }
  items.pop_back();
  TlymAPEv2Tag tag;
  EXPECT_EQ(ReadTagOf(Tag(items), tag), kAPEv2TagRead);
  EXPECT_EQ(tag.GetItemCount(), 100);
}

TEST(APEv2TagReaderTest, BrokenStructureIsDamagedAndKeepsTheItemsReadSoFar) {
  const std::string good = Tag({Item("Title", "Song"), Item("Artist", "Band")});
  const size_t footer = good.size() - 32;
  const size_t secondValueSize = 32 + Item("Title", "Song").size();
  auto patched = [&](size_t offset, uint32_t value) {
    std::string bytes = good;
    Patch32(bytes, offset, value);
    return bytes;
  };
  auto counted = [&](uint32_t count) {
    std::string bytes = patched(kCountField, count);
    Patch32(bytes, footer + kCountField, count);
    return bytes;
  };
  std::string shortSize = Tag({Item("Title", "Song")}, false);
  Patch32(shortSize, shortSize.size() - 32 + kSizeField, 16);
  std::string beyondStart = Tag({Item("Title", "Song")}, false);
  Patch32(beyondStart, beyondStart.size() - 32 + kSizeField, uint32_t(kAudio.size() + 200));
  std::string wrongHeaderName = good;
  wrongHeaderName[0] = 'a';

  struct Case {
    const char* name;
    std::string bytes;
    int32_t itemsKept;
  };
  const Case cases[] = {
      {"no items", Tag({}), 0},
      {"keys differing in case", Tag({Item("Artist", "A"), Item("ARTIST", "B")}), 1},
      {"header version differs", patched(kVersionField, 2001), 0},
      {"header size differs", patched(kSizeField, uint32_t(footer) + 1), 0},
      {"header count differs", patched(kCountField, 1), 0},
      {"header not marked as header", patched(kFlagsField, kAPEv2HasHeader), 0},
      {"header without has-header", patched(kFlagsField, kAPEv2IsHeader), 0},
      {"footer claims no footer",
       patched(footer + kFlagsField, kAPEv2HasHeader | kAPEv2HasNoFooter), 0},
      {"header name", wrongHeaderName, 0},
      {"key of one letter", Tag({Item("Title", "Song"), Item("T", "x")}), 1},
      {"key without end", Tag({Item(std::string(256, 'K'), "")}), 0},
      {"value into the footer", patched(secondValueSize, 5), 1},
      {"value of 4 GiB", patched(secondValueSize, 0xFFFFFFFF), 1},
      {"more items announced", counted(3), 2},
      {"fewer items announced", counted(1), 1},
      {"reserved item type", Tag({Item("Title", "Song"), Item("Link", "x", 3u << 1)}), 1},
      {"size below the footer", shortSize, 0},
      {"size beyond the stream", beyondStart, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TlymAPEv2Tag tag;
    bool found = false;
    EXPECT_EQ(ReadTagOf(kAudio + c.bytes, tag, &found), kAPEv2Damaged);
    EXPECT_TRUE(found);
    EXPECT_EQ(tag.Items().Count(), c.itemsKept);
    ExpectQueriesRefuse(tag, kAPEv2StatusDamaged);
  }
}

TEST(APEv2TagReaderTest, ReadErrorsAreReportedWithoutSpoilingTheStream) {
  const std::string bytes = kAudio + Tag({Item("Title", "Song"), Item("Artist", "Band")});
  const auto length = int64_t(bytes.size());
  struct Case {
    const char* name;
    int64_t badFrom, badTo;
  };
  for (const Case& c : {Case{"footer", length - 1, length}, Case{"header", 110, 111},
                        Case{"second item", length - 40, length - 39}}) {
    SCOPED_TRACE(c.name);
    TFlakyMedium medium;
    medium.bytes = Bytes(bytes);
    medium.badFrom = c.badFrom;
    medium.badTo = c.badTo;
    TadcInterfaceStream stream;
    OpenFlaky(stream, medium);
    ASSERT_TRUE(stream.Seek(kSeekFromStart, 1));
    TlymAPEv2Tag tag;
    EXPECT_EQ(TlymAPEv2TagReader().ReadTag(stream, tag), kAPEv2ReadError);
    ExpectQueriesRefuse(tag, kAPEv2StatusReadError);
    EXPECT_FALSE(stream.HasError());
    EXPECT_EQ(stream.GetPosition(), 1);
    char first[4];
    EXPECT_TRUE(stream.ReadExact(first, 4));
    EXPECT_EQ(std::string(first, 4), "QyZ\x55");
  }

  TadcInterfaceStream closed;
  TlymAPEv2Tag tag;
  EXPECT_EQ(TlymAPEv2TagReader().ReadTag(closed, tag), kAPEv2ReadError);
  EXPECT_EQ(tag.Status(), kAPEv2StatusReadError);
  EXPECT_TRUE(closed.IsClosed());
}

// ---- Queries ------------------------------------------------------------------------------------

class APEv2TagQueryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ReadTagOf(kAudio + Tag({Item("Title", "abc"), Item("Artist", "a\0b"s),
                                      Item("Genre", "Rock\0"s), Item("Comment", ""),
                                      Item("Cover", "\1\2", 1u << 1), Item("Album", "Café")}),
                        tag_),
              kAPEv2TagRead);
  }
  TlymAPEv2Tag tag_;
};

TEST_F(APEv2TagQueryTest, FindItemIgnoresAsciiCaseOnly) {
  int32_t index = -5;
  EXPECT_EQ(tag_.FindItem("aRTIST", &index), kAPEv2QueryDone);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(tag_.FindItem("Artis", &index), kAPEv2KeyNotFound);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(tag_.FindItem("Artists", &index), kAPEv2KeyNotFound);
  EXPECT_EQ(tag_.FindItem(nullptr, &index), kAPEv2CallerError);
  EXPECT_EQ(tag_.FindItem("Title", nullptr), kAPEv2CallerError);
  // A caller's mistake does not make the tag unusable, and the next query starts afresh.
  EXPECT_TRUE(tag_.IsUsable());
  EXPECT_EQ(tag_.GetTagInfo(nullptr), kAPEv2CallerError);
  EXPECT_EQ(tag_.FindItem("title", &index), kAPEv2QueryDone);
  EXPECT_EQ(tag_.LastResult(), kAPEv2QueryDone);
  EXPECT_EQ(index, 0);
}

TEST_F(APEv2TagQueryTest, GetItemValueSelectsOrJoinsValues) {
  EXPECT_EQ(ValueOf(tag_, 1, -1, ';'), "a;b");
  EXPECT_EQ(ValueOf(tag_, 1, 0), "a");
  EXPECT_EQ(ValueOf(tag_, 1, 1), "b");
  // A trailing zero byte ends an empty last value.
  EXPECT_EQ(tag_.Items()[2]->ValueCount(), 2);
  EXPECT_EQ(ValueOf(tag_, 2, -1, '/'), "Rock/");
  EXPECT_EQ(ValueOf(tag_, 3, 0), "");
#ifndef _WIN32
  EXPECT_EQ(ValueOf(tag_, 5, 0), "Café");  // UTF-8 is the host's own character set
#endif

  int32_t length = 0;
  EXPECT_EQ(tag_.GetItemValue(1, -1, &length, 0, nullptr, ';'), kAPEv2QueryDone);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(tag_.GetItemValue(1, 2, &length, 0, nullptr, ';'), kAPEv2CallerError);
  EXPECT_EQ(tag_.GetItemValue(1, -1, &length, 0, nullptr, '\0'), kAPEv2CallerError);
  EXPECT_EQ(tag_.GetItemValue(-1, 0, &length, 0, nullptr, ';'), kAPEv2CallerError);
  EXPECT_EQ(tag_.GetItemValue(6, 0, &length, 0, nullptr, ';'), kAPEv2CallerError);
  EXPECT_EQ(tag_.GetItemValue(0, 0, nullptr, 0, nullptr, ';'), kAPEv2CallerError);
  char buffer[8] = "zzzzzzz";
  EXPECT_EQ(tag_.GetItemValue(0, 0, &length, -1, buffer, ';'), kAPEv2CallerError);
  EXPECT_EQ(tag_.GetItemValue(4, 0, &length, 0, nullptr, ';'), kAPEv2NotText);
  EXPECT_EQ(tag_.Status(), kAPEv2StatusUsable);
}

TEST_F(APEv2TagQueryTest, GetItemValueTruncatesToTheBuffer) {
  int32_t length = 0;
  char buffer[8] = "zzzzzzz";
  EXPECT_EQ(tag_.GetItemValue(0, 0, &length, 2, buffer, ';'), kAPEv2Truncated);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(std::string(buffer, 3), "a\0z"s);
  EXPECT_EQ(tag_.LastResult(), kAPEv2Truncated);
  EXPECT_TRUE(tag_.IsUsable());
  // Without room for the terminating zero nothing is stored.
  EXPECT_EQ(tag_.GetItemValue(0, 0, &length, 0, buffer + 3, ';'), kAPEv2Truncated);
  EXPECT_EQ(buffer[3], 'z');
  EXPECT_EQ(tag_.GetItemValue(0, 0, &length, 4, buffer, ';'), kAPEv2QueryDone);
  EXPECT_EQ(std::string(buffer, 5), "abc\0z"s);
}

}  // namespace
}  // namespace lym

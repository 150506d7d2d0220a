// Feeds arbitrary bytes to the APEv2 tag reader as the contents of a stream, then asks every item
// for every value, once with a buffer that holds it and once with a tiny one. The first byte picks
// the stream's buffer size and where the stream stands before the read.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "container/APEv2Tag.h"
#include "io/MemoryStream.h"
#include "io/lymFileIo.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void QueryValue(lym::TlymAPEv2Tag& tag, int32_t item, int32_t value, char separator) {
  int32_t length = -1;
  const int32_t sized = tag.GetItemValue(item, value, &length, 0, nullptr, separator);
  if (!tag.IsUsable()) {
    Check(sized == tag.Status());
    return;
  }
  if (sized != lym::kAPEv2QueryDone) {
    Check(sized == lym::kAPEv2NotText || sized == lym::kAPEv2CallerError);
    return;
  }
  Check(length >= 1 && tag.IsUsable());
  std::vector<char> large(size_t(length) + 8, '\x7f');
  Check(tag.GetItemValue(item, value, &length, int32_t(large.size()), large.data(), separator) ==
        lym::kAPEv2QueryDone);
  // Values are split at zero bytes and joined by a non-zero separator, so none can remain inside.
  Check(std::strlen(large.data()) == size_t(length) - 1);
  char small[3] = {'\x7f', '\x7f', '\x7f'};
  const int32_t result = tag.GetItemValue(item, value, &length, 2, small, separator);
  Check(result == (length > 2 ? lym::kAPEv2Truncated : lym::kAPEv2QueryDone));
  Check(small[2] == '\x7f' && std::strlen(small) == size_t(length > 2 ? 1 : length - 1));
  Check(tag.IsUsable());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const uint8_t control = data[0];
  lym::TMemoryMedium medium{std::vector<uint8_t>(data + 1, data + size)};
  lym::TadcInterfaceStream stream;
  if (lym::OpenMemoryStream(stream, medium, (control & 1) ? 0 : 512 << (control >> 1 & 3)) != 0)
    std::abort();
  const int64_t start = int64_t(size - 1) * (control >> 3) / 31;
  Check(stream.Seek(lym::kSeekFromStart, start));

  lym::TlymAPEv2Tag tag;
  lym::TlymAPEv2TagReader reader;
  const int32_t result = reader.ReadTag(stream, tag);
  Check(result >= lym::kAPEv2TagRead && result <= lym::kAPEv2ReadError);
  // The medium never fails, so neither may the reading, and the stream must be left as it was.
  Check(result != lym::kAPEv2ReadError && !stream.HasError());
  Check(stream.GetPosition() == start);
  Check(tag.IsUsable() == (result == lym::kAPEv2TagRead));

  const int32_t count = tag.GetItemCount();
  Check(count <= int32_t(lym::kAPEv2MaxItems) && (count >= 1 || !tag.IsUsable()));
  lym::TlymAPEv2TagInfo info;
  Check(tag.GetTagInfo(&info) == (tag.IsUsable() ? 0 : tag.Status()));
  for (int32_t item = 0; item < tag.Items().Count(); ++item) {
    const lym::TlymAPEv2Item& entry = *tag.Items()[item];
    const std::string key(entry.Key());
    int32_t found = -1;
    const int32_t findResult = tag.FindItem(key.c_str(), &found);
    Check(tag.IsUsable() ? (findResult == 0 && found == item) : findResult == tag.Status());
    for (int32_t value = -1; value <= entry.ValueCount(); ++value)
      QueryValue(tag, item, value, ';');
    QueryValue(tag, item, -1, '\0');
  }
  return 0;
}

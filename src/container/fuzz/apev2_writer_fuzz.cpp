// Edits a tag by a program drawn from the input (set an item, remove one, remove all), writes the
// tag behind a few stream bytes and reads it back: the reader must find exactly the items set, in
// their order, and a tag without items must leave no bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "container/APEv2Tag.h"
#include "io/MemoryStream.h"

namespace {

constexpr int64_t kStreamBytes = 16;

class TProgram {
 public:
  TProgram(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Done() const { return at_ >= size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  // A key the format allows: 2 to 255 characters from space to tilde.
  std::string Key() {
    const size_t length = 2 + Byte() % 12;
    std::string key;
    for (size_t i = 0; i < length; ++i) key += char(0x20 + Byte() % 0x5F);
    return key;
  }
  std::vector<uint8_t> Value() {
    const size_t length = Byte() % 40;
    std::vector<uint8_t> value;
    for (size_t i = 0; i < length; ++i) value.push_back(Byte());
    return value;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

void Edit(lym::TlymAPEv2Tag& tag, TProgram& program) {
  switch (program.Byte() % 8) {
    case 0: tag.RemoveItem(program.Key()); break;
    case 1: tag.RemoveAllItems(); break;
    default: {
      const int32_t type = program.Byte() % 3;
      std::string key = program.Key();
      std::vector<uint8_t> value = program.Value();
      const bool room = tag.Items().IndexOfKey(key) >= 0 ||
                        tag.Items().Count() < int32_t(lym::kAPEv2MaxItems);
      if (room) tag.SetItem(std::make_unique<lym::TlymAPEv2Item>(type, key, std::move(value)));
    }
  }
}

bool SameItem(const lym::TlymAPEv2Item& a, const lym::TlymAPEv2Item& b) {
  return a.ItemType() == b.ItemType() && a.Key() == b.Key() && a.ValueSize() == b.ValueSize() &&
         std::equal(a.Value(), a.Value() + a.ValueSize(), b.Value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  TProgram program(data, size);
  lym::TlymAPEv2Tag edited;
  while (!program.Done()) Edit(edited, program);
  const std::vector<uint8_t> bytes = lym::APEv2TagBytes(edited.Items());
  if ((edited.Items().Count() == 0) != bytes.empty()) std::abort();

  // A few bytes of a stream, then the tag.
  lym::TMemoryMedium medium{std::vector<uint8_t>(kStreamBytes + bytes.size(), 0xA5)};
  std::copy(bytes.begin(), bytes.end(), medium.bytes.begin() + kStreamBytes);
  lym::TadcInterfaceStream stream;
  if (lym::OpenMemoryStream(stream, medium) != 0) std::abort();
  lym::TlymAPEv2Tag read;
  const int32_t result = lym::TlymAPEv2TagReader().ReadTag(stream, read);
  if (bytes.empty()) return result == lym::kAPEv2NoTag ? 0 : (std::abort(), 0);
  if (result != lym::kAPEv2TagRead || read.Items().Count() != edited.Items().Count()) std::abort();
  for (int32_t i = 0; i < read.Items().Count(); ++i) {
    if (!SameItem(*read.Items()[i], *edited.Items()[i])) std::abort();
  }
  if (read.Placement().Start != kStreamBytes || read.Placement().Size != int64_t(bytes.size())) std::abort();
  return 0;
}

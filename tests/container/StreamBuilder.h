// Small pieces from which tests put compressed streams together in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/BitStream.h"
#include "container/lymStream.h"
#include "container/APEv2Tag.h"
#include "foundation/ByteOrder.h"

namespace lym::test {

inline void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

inline void AppendLE32(std::vector<uint8_t>& to, uint32_t value) {
  uint8_t word[4];
  StoreLE32(word, value);
  to.insert(to.end(), word, word + 4);
}

inline void AppendObject(std::vector<uint8_t>& to, int type, const std::vector<uint8_t>& payload) {
  AppendLE32(to, PackObjectHeader(type, int32_t(payload.size())));
  Append(to, payload);
}

// The bytes that write puts into a bit writer (at most 64).
template <class F>
std::vector<uint8_t> Written(F&& write) {
  uint8_t buffer[64] = {};
  TBitOutStream writer;
  writer.InitWriter(buffer, sizeof buffer);
  write(writer);
  return {buffer, buffer + writer.Finish()};
}

// An APEv2 tag (footer only) with one text item.
inline std::vector<uint8_t> ApeTag(const std::string& key, const std::string& value) {
  std::vector<uint8_t> tag;
  AppendLE32(tag, uint32_t(value.size()));
  AppendLE32(tag, 0);
  tag.insert(tag.end(), key.begin(), key.end());
  tag.push_back(0);
  tag.insert(tag.end(), value.begin(), value.end());
  const auto itemBytes = uint32_t(tag.size());
  tag.insert(tag.end(), kAPEv2Preamble, kAPEv2Preamble + 8);
  AppendLE32(tag, 2000);
  AppendLE32(tag, itemBytes + kAPEv2BlockBytes);
  AppendLE32(tag, 1);
  AppendLE32(tag, 0);
  tag.insert(tag.end(), 8, 0);
  return tag;
}

}  // namespace lym::test

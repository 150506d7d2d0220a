// Feeds arbitrary bytes to the stream information reader; a description that reads must be one the
// writer accepts and must write back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "container/lymStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64) return 0;
  lym::TBitInStream reader;
  reader.InitReader(data, int32_t(size));
  lym::TadcStreamInfo info;
  if (!lym::ReadStreamInfoObject(reader, info)) return 0;
  if (reader.BytesRead() != lym::kStreamInfoPayloadBytes) std::abort();

  uint8_t payload[lym::kStreamInfoPayloadBytes];
  lym::TBitOutStream writer;
  writer.InitWriter(payload, sizeof payload);
  if (!lym::WriteStreamInfoObject(writer, info)) std::abort();
  if (writer.Finish() != lym::kStreamInfoPayloadBytes) std::abort();
  // The checksum may differ where fuzzing skips its check; the described bits may not.
  if (std::memcmp(payload, data, lym::kStreamInfoGroupBytes) != 0) std::abort();
  return 0;
}

// Feeds arbitrary bytes to the parsers of the other metadata payloads (seek table, WAVE metadata,
// encoder information), chosen by the first byte; what parses must rebuild to the same payload.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "container/Crc24.h"
#include "container/lymStream.h"

namespace {

// Compares a rebuilt payload with the parsed one up to its checksum, which may differ where fuzzing
// skips the check. `ignoredBits` marks bits per byte that readers ignore.
void CheckRebuilt(const std::vector<uint8_t>& rebuilt, const uint8_t* data, size_t checkedBytes,
                  size_t ignoredByte = SIZE_MAX, uint8_t ignoredBits = 0) {
  if (rebuilt.size() < checkedBytes) std::abort();
  for (size_t i = 0; i < checkedBytes; ++i) {
    const uint8_t keep = i == ignoredByte ? uint8_t(~ignoredBits) : 0xFF;
    if ((rebuilt[i] & keep) != (data[i] & keep)) std::abort();
  }
}

void FuzzSeekTable(const uint8_t* data, size_t size) {
  lym::TadcSeekTableInfo info;
  std::vector<int64_t> offsets;
  if (!lym::ParseSeekTablePayload(data, int32_t(size), info, offsets)) return;
  if (size_t(info.Points) != offsets.size()) std::abort();
  CheckRebuilt(lym::MakeSeekTablePayload(info.Interval, offsets), data,
               size_t(lym::SeekTablePayloadBytes(info.Points) - lym::kCrc24Bytes), 3, 0x80);
}

void FuzzWaveMeta(const uint8_t* data, size_t size) {
  std::vector<uint8_t> header, trailer;
  if (!lym::ParseWaveMetaPayload(data, int32_t(size), header, trailer)) return;
  CheckRebuilt(lym::MakeWaveMetaPayload(header, trailer), data, size - lym::kCrc24Bytes);
}

void FuzzEncoderInfo(const uint8_t* data, size_t size) {
  lym::TBitInStream reader;
  reader.InitReader(data, int32_t(size));
  lym::TadcEncoderInfo info;
  if (!lym::ReadEncoderInfoObject(reader, info)) return;
  if (reader.BytesRead() != lym::kEncoderInfoPayloadBytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 4096) return 0;
  switch (data[0] % 3) {
    case 0: FuzzSeekTable(data + 1, size - 1); break;
    case 1: FuzzWaveMeta(data + 1, size - 1); break;
    default: FuzzEncoderInfo(data + 1, size - 1); break;
  }
  return 0;
}

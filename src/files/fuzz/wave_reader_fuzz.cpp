// Opens arbitrary bytes as a WAVE file and reads everything the reader hands out. Whatever the
// bytes, the state must be one of the reader's codes, and a file that opens must come back byte
// for byte as header + samples + trailer, with its header fitting what was read (or a decoder
// would refuse to restore it) and a warning for each departure the reader accepted. The bytes
// are also checked as a stored header of some stream, which must end cleanly whatever they are.
// The first byte picks the stream's buffer size.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/WaveFile.h"
#include "io/MemoryStream.h"
#include "io/lymFileIo.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1 << 21)) return 0;
  lym::TMemoryMedium medium{std::vector<uint8_t>(data + 1, data + size)};
  const auto fileSize = int64_t(size - 1);
  lym::TadcInterfaceStream stream;
  Check(lym::OpenMemoryStream(stream, medium, (data[0] & 1) ? 0 : 512 << (data[0] >> 1 & 7)) == 0);

  const lym::TadcAudioFormat stereo16{0, 44100, 16, 2, 4};
  (void)lym::StoredWaveHeaderFits(data + 1, int32_t(fileSize), data[0], stereo16, fileSize / 4);

  lym::TWaveReader reader;
  const uint8_t state = reader.Open(&stream);
  Check(state >= lym::kReaderOpen && state <= lym::kReaderDamaged);
  if (state != lym::kReaderOpen) return 0;

  const int32_t blockSize = reader.Format().BlockSize;
  const int64_t headerSize = reader.GetHeaderSize();
  const int64_t sampleBytes = reader.GetTotalSamples() * blockSize;
  const int64_t trailerSize = reader.GetTrailerSize();
  Check(headerSize >= 12 && trailerSize >= 0 && headerSize + sampleBytes + trailerSize == fileSize);

  std::vector<uint8_t> file(size_t(fileSize) + 1);
  Check(reader.ReadHeaderBytes(file.data()));
  uint8_t* at = file.data() + headerSize;
  for (int32_t step = 1; reader.GetRemainingSamples() > 0; step = step * 3 + 1) {
    int32_t frames = step;
    Check(reader.ReadSamples(at, frames) && frames > 0);
    at += int64_t(frames) * blockSize;
  }
  Check(reader.ReadTrailerBytes(at));
  Check(reader.State() == lym::kReaderOpen && !stream.HasError());
  Check(std::memcmp(file.data(), data + 1, size_t(fileSize)) == 0);
  Check(lym::StoredWaveHeaderFits(file.data(), int32_t(headerSize), trailerSize, reader.Format(),
                                  reader.GetTotalSamples()));
  Check((reader.Acceptances() != 0) == !lym::WaveAcceptanceText(reader.Acceptances()).empty());
  return 0;
}

// Opens arbitrary bytes as a compressed stream and runs every query of the reader on it; the reader
// must return from each without crashing, overrunning or positioning the stream outside it.
#include <cstdint>
#include <vector>

#include "container/lymStreamReader.h"
#include "io/MemoryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  lym::TMemoryMedium medium{{data, data + size}};
  lym::TadcInterfaceStream stream;
  if (lym::OpenMemoryStream(stream, medium) != 0) return 0;
  lym::TAdcReader reader;
  reader.Open(stream);

  lym::TadcEncoderInfo encoder;
  reader.GetEncoderInfo(encoder);
  lym::TadcSeekTableInfo table;
  int32_t tableBytes = 0;
  reader.GetSeekTableInfo(table, tableBytes);
  reader.ValidateSeekTable();
  for (int32_t frame : {0, 1, 2, 5, 100, 5000, 2097151}) {
    int32_t seekFrame = 0;
    int64_t position = 0;
    if (reader.FindSeekPoint(frame, seekFrame, position)) reader.SeekRelative(position);
  }
  lym::TadcWaveMetaInfo wave;
  if (reader.ReadWaveMetaInfo(wave)) {
    const int64_t bytes = int64_t(wave.HeaderBytes) + wave.TrailerBytes;
    if (bytes <= (1 << 20)) {
      std::vector<uint8_t> buffer(size_t(bytes) + 1);
      reader.ReadWaveMetaData(buffer.data(), int32_t(bytes));
    }
  }
  reader.SeekRelative(int64_t(reader.FirstFramePosition() - reader.StartPosition()));
  std::vector<uint8_t> chunk(1000);
  for (;;) {
    int32_t count = int32_t(chunk.size());
    if (!reader.ReadData(chunk.data(), count) || count == 0) break;
  }
  reader.GetApeTag();
  reader.Close();
  return 0;
}

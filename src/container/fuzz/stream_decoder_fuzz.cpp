// Decodes arbitrary bytes as a compressed stream: open, decode everything, seek to a few places and
// decode a little after each; the decoder must return from every call without crashing, overrunning
// or looping.
#include <cstdint>
#include <vector>

#include "container/lymStreamDecoder.h"
#include "io/MemoryStream.h"

namespace {

void Ignore(void*, const lym::TadcDamageInfo*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  lym::TMemoryMedium medium{{data, data + size}};
  lym::TadcInterfaceStream stream;
  if (lym::OpenMemoryStream(stream, medium) != 0) return 0;
  lym::TadcDecoderOptions options;
  options.DecoderFlags = size % 2 == 0 ? 0 : lym::kDecodeSequential | lym::kDecodeCutLost;
  lym::TSeekableStreamDecoder decoder(stream, options, Ignore, nullptr);
  if (decoder.OpenResult() >= lym::kDecodeFatal) return 0;

  std::vector<uint8_t> buffer(size_t(4096) * 6);
  const int32_t samples = int32_t(buffer.size() / 6);
  // Bounded: a damaged stream may announce far more samples than it holds.
  for (int i = 0; i < 4096; ++i) {
    int32_t delivered = 0;
    decoder.DecodeSamples(buffer.data(), samples, &delivered);
    if (delivered == 0) break;
  }
  const int64_t length = decoder.Result().HeaderSamples;
  for (int64_t position : {int64_t(0), length / 3, length - 1, length, int64_t(-1)}) {
    decoder.SeekSample(position);
    int32_t delivered = 0;
    decoder.DecodeSamples(buffer.data(), samples, &delivered);
  }
  decoder.GetApeTag();
  lym::TadcWaveMetaInfo wave;
  decoder.ReadWaveMetaInfo(&wave);
  return 0;
}

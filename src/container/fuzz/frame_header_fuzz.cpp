// Feeds arbitrary bytes to the frame header reader; a header that reads must write back and read
// again to the same fields.
#include <cstdint>
#include <cstdlib>

#include "container/lymStream.h"

namespace {

bool SameHeader(const lym::TadcFrameHeader& a, const lym::TadcFrameHeader& b) {
  if (a.IsLast != b.IsLast || a.HasInfo != b.HasInfo || a.FrameNumber != b.FrameNumber ||
      a.LastFrameSamples != b.LastFrameSamples)
    return false;
  if (!a.HasInfo) return true;
  const lym::TadcStreamInfo &x = a.Info, &y = b.Info;
  return x.Codec == y.Codec && x.Profile == y.Profile && x.FrameSizeCode == y.FrameSizeCode &&
         x.FrameSamples == y.FrameSamples && x.SampleCount == y.SampleCount &&
         x.Format.SampleRate == y.Format.SampleRate &&
         x.Format.BitsPerSample == y.Format.BitsPerSample &&
         x.Format.Channels == y.Format.Channels && x.Format.BlockSize == y.Format.BlockSize &&
         a.HasOptional1 == b.HasOptional1 && a.HasOptional2 == b.HasOptional2 &&
         a.Optional1 == b.Optional1 && a.Optional2 == b.Optional2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64) return 0;
  lym::TBitInStream reader;
  reader.InitReader(data, int32_t(size));
  lym::TadcFrameHeader header;
  if (!lym::ReadFrameHeader(reader, header)) return 0;
  if (reader.BytesRead() > lym::kMaxFrameHeaderBytes) std::abort();

  uint8_t scratch[lym::kMaxFrameHeaderBytes];
  lym::TBitOutStream writer;
  writer.InitWriter(scratch, sizeof scratch);
  lym::WriteFrameHeader(header, writer);
  lym::TBitInStream again;
  again.InitReader(scratch, writer.Finish());
  lym::TadcFrameHeader reread;
  if (!lym::ReadFrameHeader(again, reread) || !SameHeader(header, reread)) std::abort();
  return 0;
}

// Residual blocks from arbitrary bytes. The first four bytes choose the stream (rate, sample width,
// capacity) and the block length; the rest is read as a residual block and as a difference block,
// which must fail cleanly or succeed. The same bytes, turned into sample values of mixed loudness,
// must survive encoding (with and without search, plain and differenced) unchanged, and encoding
// must give the same bytes every time.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "codec/Adcbitco.h"
#include "codec/DifferenceOrder.h"
#include "foundation/CpuUtil.h"

namespace {

using namespace lym;

constexpr int32_t kRates[] = {6000, 8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000, 262144};
constexpr int kWidths[] = {8, 16, 24, 12};
constexpr int32_t kMaxCapacity = 16384;

struct TStream {
  int32_t rate, capacity, count;
  int bits;
};

TStream StreamFrom(const uint8_t* data) {
  TStream stream;
  stream.rate = kRates[data[0] % std::size(kRates)];
  stream.bits = kWidths[data[1] & 3];
  stream.count = (data[2] | data[3] << 8) % (kMaxCapacity + 1);
  stream.capacity = std::min(kMaxCapacity, stream.count + (data[1] >> 2) * 64);
  return stream;
}

void ReadArbitraryBlock(const TStream& stream, const uint8_t* block, int32_t size) {
  TBitDecompressor decompressor(stream.rate, stream.capacity, stream.bits);
  std::vector<int32_t> out(size_t(stream.count));
  TBitInStream reader;
  reader.InitReader(block, size);
  decompressor.ReadBlock(reader, out.data(), stream.count);
  reader.InitReader(block, size);
  int order = 0;
  if (ReadDifferenceBlock(reader, decompressor, out.data(), stream.count, order))
    UndoDifferenceOrder(out.data(), stream.count, order);
}

// Values of every size: each run of 64 values takes its loudness from one byte, so that blocks mix
// silence, small residuals and full 32-bit values.
std::vector<int32_t> ValuesFrom(const uint8_t* bytes, int32_t size, int32_t count) {
  std::vector<int32_t> values(size_t(count), 0);
  if (size < 4) return values;
  for (int32_t i = 0; i < count; ++i) {
    uint32_t raw = 0;
    std::memcpy(&raw, bytes + (4 * i) % (size - 3), 4);
    const int shift = bytes[(i / 64) % size] % 34;
    values[i] = shift >= 32 ? 0 : int32_t(raw) >> shift;
  }
  return values;
}

std::vector<uint8_t> Encode(TBitCompressor& compressor, int order, const int32_t* values,
                            int32_t count) {
  TResidualParams params;
  compressor.Analyse(values, count, params);
  std::vector<uint8_t> buffer(size_t(MaxResidualBlockBytes(count)) + 1);
  TBitOutStream writer;
  writer.InitWriter(buffer.data(), int32_t(buffer.size()));
  WriteDifferenceBlock(writer, compressor, order, values, count, params);
  buffer.resize(size_t(writer.Finish()));
  return buffer;
}

void RoundTrip(const TStream& stream, bool search, const std::vector<int32_t>& original) {
  const int32_t count = stream.count;
  std::vector<int32_t> differenced = original;
  const int order = ChooseDifferenceOrder(original.data(), count).Order;
  ApplyDifferenceOrder(differenced.data(), count, order);

  TBitCompressor compressor(DefaultCpuFlags(), stream.capacity, stream.bits, stream.rate, search);
  const std::vector<uint8_t> bytes = Encode(compressor, order, differenced.data(), count);
  if (Encode(compressor, order, differenced.data(), count) != bytes) std::abort();

  TBitDecompressor decompressor(stream.rate, stream.capacity, stream.bits);
  TBitInStream reader;
  reader.InitReader(bytes.data(), int32_t(bytes.size()));
  std::vector<int32_t> decoded(original.size());
  int readOrder = -1;
  if (!ReadDifferenceBlock(reader, decompressor, decoded.data(), count, readOrder) ||
      readOrder != order || reader.BytesRead() != int32_t(bytes.size()))
    std::abort();
  UndoDifferenceOrder(decoded.data(), count, order);
  if (decoded != original) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > 1 << 20) return 0;
  const TStream stream = StreamFrom(data);
  const uint8_t* block = data + 4;
  const int32_t blockSize = int32_t(size - 4);
  ReadArbitraryBlock(stream, block, blockSize);

  const std::vector<int32_t> values = ValuesFrom(block, blockSize, stream.count);
  RoundTrip(stream, true, values);
  RoundTrip(stream, false, values);
  return 0;
}

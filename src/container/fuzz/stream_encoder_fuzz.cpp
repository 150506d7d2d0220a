// Encodes arbitrary PCM at settings taken from the first bytes: the stream must decode to exactly
// that PCM, and encoding again with the portable kernels instead of the vector ones must give the
// same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/EncoderPresets.h"
#include "codec/Pcm.h"
#include "container/lymStreamDecoder.h"
#include "container/lymStreamEncoder.h"
#include "io/MemoryStream.h"
#include "foundation/CpuUtil.h"

namespace {

constexpr size_t kSettingsBytes = 6;
constexpr int32_t kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000};

struct Case {
  lym::TadcAudioFormat format;
  lym::TEncoderSettings settings;
  int32_t piece = 1;  // sample frames per EncodeSamples call
  const uint8_t* pcm = nullptr;
  int64_t samples = 0;
};

Case CaseFrom(const uint8_t* data, size_t size) {
  Case c;
  c.format.BitsPerSample = 8 * (1 + data[0] % 3);
  c.format.Channels = 1 + (data[0] / 3) % 2;
  c.format.SampleRate = kRates[data[1] % std::size(kRates)];
  c.format.BlockSize = lym::PcmBlockSize(c.format.BitsPerSample, c.format.Channels);
  c.settings = lym::PresetSettings(data[2] % lym::kPresetCount, (data[2] / 8) % lym::kLevelCount);
  c.settings.FrameSizeCode = data[3] % 7;
  c.settings.Verify = (data[3] & 0x80) != 0;
  c.settings.PreFilter = (data[4] & 1) != 0;
  c.settings.Sensitivity = uint8_t((data[4] / 2) % 3);
  c.piece = 1 + data[5] * 37;
  c.pcm = data + kSettingsBytes;
  c.samples = int64_t((size - kSettingsBytes) / size_t(c.format.BlockSize));
  return c;
}

std::vector<uint8_t> Encode(const Case& c, uint32_t processorOptions) {
  lym::TMemoryMedium medium;
  lym::TadcEncoderOptions options;
  options.ProcessorOptions = processorOptions;
  lym::TSeekableStreamEncoder encoder(&c.format, &options, &lym::MemoryMediumCallbacks(), &medium,
                                      c.samples);
  if (encoder.SetParameters(c.settings) != lym::kEncodeOk) std::abort();
  for (int64_t at = 0; at < c.samples; at += c.piece) {
    const int32_t n = int32_t(std::min<int64_t>(c.piece, c.samples - at));
    if (encoder.EncodeSamples(c.pcm + at * c.format.BlockSize, n) != lym::kEncodeOk) std::abort();
  }
  if (encoder.Close(false) != lym::kEncodeOk) std::abort();
  return medium.bytes;
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& bytes, const Case& c) {
  lym::TMemoryMedium medium;
  medium.bytes = bytes;
  lym::TadcInterfaceStream stream;
  if (lym::OpenMemoryStream(stream, medium) != 0) std::abort();
  lym::TSeekableStreamDecoder decoder(stream, lym::TadcDecoderOptions{}, nullptr, nullptr);
  if (decoder.OpenResult() != lym::kDecodeOk) std::abort();
  std::vector<uint8_t> pcm(size_t(c.samples + 1) * size_t(c.format.BlockSize));
  int32_t delivered = 0;
  if (decoder.DecodeSamples(pcm.data(), int32_t(c.samples + 1), &delivered) != lym::kDecodeOk) {
    std::abort();
  }
  pcm.resize(size_t(delivered) * size_t(c.format.BlockSize));
  return pcm;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Long inputs at the slow presets would take seconds each.
  if (size <= kSettingsBytes || size > 48 * 1024) return 0;
  const Case c = CaseFrom(data, size);
  if (c.samples == 0) return 0;
  const std::vector<uint8_t> stream = Encode(c, lym::kCpuFlagVector);
  const std::vector<uint8_t> pcm = Decode(stream, c);
  if (!std::equal(pcm.begin(), pcm.end(), c.pcm, c.pcm + pcm.size()) ||
      int64_t(pcm.size()) != c.samples * c.format.BlockSize) {
    std::abort();
  }
  if (Encode(c, 0) != stream) std::abort();
  return 0;
}

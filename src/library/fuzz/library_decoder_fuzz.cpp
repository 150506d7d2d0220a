// Decodes arbitrary bytes through the public C interface, as a program built on the library would:
// from memory, or from a medium that cannot seek (every other input); reads with both sample
// layouts, seeks, the tag's items and the stored WAVE header. Besides surviving every call, a
// stream that decodes to its end in the muting mode must keep its announced length.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "lym/lym.h"

namespace {

constexpr size_t kMaxInputBytes = 1 << 20;
constexpr size_t kReadFrames = 4096;
// Damaged streams may announce far more samples than they hold: the length check reads only
// streams up to this length.
constexpr uint64_t kMaxCheckedSamples = 1 << 22;

struct TPipe {
  const uint8_t* data;
  size_t size;
  size_t position;
};

// A pipe that delivers at most 7 bytes at a time, so that the library's loops over short reads
// are exercised too.
int64_t PipeRead(void* userData, void* buffer, size_t bytes) {
  auto& pipe = *static_cast<TPipe*>(userData);
  size_t n = pipe.size - pipe.position;
  if (n > bytes) n = bytes;
  if (n > 7) n = 7;
  std::memcpy(buffer, pipe.data + pipe.position, n);
  pipe.position += n;
  return int64_t(n);
}

lym_status Open(const uint8_t* data, size_t size, TPipe& pipe, lym_decoder** decoder) {
  lym_decoder_options options{};
  options.damage = size % 3 == 1 ? LYM_DAMAGE_CUT : LYM_DAMAGE_MUTE;
  options.no_vector_kernels = size % 5 == 0;
  if (size % 2 == 0) return lym_decoder_open_memory(data, size, &options, decoder);
  static const lym_io kPipe = {PipeRead, nullptr, nullptr, nullptr, nullptr};
  return lym_decoder_open_io(&kPipe, &pipe, &options, decoder);
}

// Reads to the end (or the bound); the samples delivered.
uint64_t ReadAll(lym_decoder* decoder, const lym_info& info, bool& clean) {
  std::vector<int32_t> samples(kReadFrames * 2);
  uint64_t total = 0;
  for (int i = 0; i < 4096; ++i) {
    size_t frames = 0;
    const lym_status status =
        i % 2 == 0 ? lym_decoder_read_s32(decoder, samples.data(), kReadFrames, &frames)
                   : lym_decoder_read_pcm(decoder, samples.data(), kReadFrames, &frames);
    total += frames;
    if (status > LYM_DAMAGED) clean = false;
    if (frames == 0 || status > LYM_DAMAGED) return total;
    for (size_t k = 0; i % 2 == 0 && k < frames * info.channels; ++k) {
      const int32_t limit = int32_t(1) << (info.bits_per_sample - 1);
      if (samples[k] < -limit || samples[k] >= limit) std::abort();
    }
  }
  clean = false;  // bounded before the end
  return total;
}

void VisitTag(lym_decoder* decoder) {
  const lym_tag* tag = nullptr;
  if (lym_decoder_get_tag(decoder, &tag) != LYM_OK) return;
  lym_tag_bytes(tag);
  for (size_t i = 0; i < lym_tag_item_count(tag); ++i) {
    lym_tag_item item;
    if (lym_tag_get_item(tag, i, &item) != LYM_OK || std::strlen(item.key) == 0) std::abort();
    char text[16];
    lym_tag_get_text(tag, item.key, ';', text, sizeof(text), nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInputBytes) return 0;
  TPipe pipe{data, size, 0};
  lym_decoder* decoder = nullptr;
  if (Open(data, size, pipe, &decoder) > LYM_DAMAGED) {
    if (decoder != nullptr) std::abort();
    return 0;
  }
  lym_info info;
  lym_decoder_get_info(decoder, &info);
  bool clean = true;
  const uint64_t delivered = ReadAll(decoder, info, clean);
  lym_decoder_get_info(decoder, &info);
  if (clean && size % 3 != 1 && info.total_samples <= kMaxCheckedSamples &&
      delivered != info.total_samples) {
    std::abort();
  }
  for (uint64_t position : {uint64_t(0), info.total_samples / 3, info.total_samples - 1,
                            info.total_samples, info.total_samples + 1}) {
    lym_decoder_seek(decoder, position);
    std::vector<uint8_t> buffer(kReadFrames * 6);
    size_t frames = 0;
    lym_decoder_read_pcm(decoder, buffer.data(), kReadFrames, &frames);
  }
  VisitTag(decoder);
  std::vector<uint8_t> header(info.wave_header_bytes + 1);
  size_t bytes = 0;
  lym_decoder_get_wave_header(decoder, header.data(), header.size(), &bytes);
  lym_decoder_close(decoder);
  return 0;
}

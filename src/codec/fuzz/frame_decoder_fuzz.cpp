// Feeds arbitrary payloads to the frame decoder, once with the portable kernels and once with the
// vector kernels: both must agree on success, on the bytes used and on every decoded sample.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/FrameDecoder.h"
#include "foundation/CpuUtil.h"

namespace {

constexpr int32_t kRates[] = {8000, 11025, 22050, 44100, 48000, 96000};
constexpr int32_t kBits[] = {8, 16, 24};
constexpr int32_t kMaxFrame = 4096;

struct Setup {
  bool stereo;
  int32_t rate, bits, n;
};

// The first three bytes choose the stream, the frame length and (top bit of the third byte) whether
// the vector kernels stop at SSE2.
Setup ChooseSetup(const uint8_t* data) {
  Setup setup;
  setup.stereo = (data[0] & 1) != 0;
  setup.rate = kRates[(data[0] >> 1) % 6];
  setup.bits = kBits[(data[0] >> 4) % 3];
  setup.n = 1 + int32_t((data[1] | data[2] << 8) % kMaxFrame);
  return setup;
}

struct Decoded {
  bool ok;
  int32_t bytes;
  std::vector<int32_t> channel0, channel1;
};

Decoded Decode(lym::TFrameDecoder& decoder, const Setup& setup, const uint8_t* payload,
               int32_t size) {
  Decoded result{false, size, std::vector<int32_t>(size_t(setup.n)),
                 std::vector<int32_t>(size_t(setup.n))};
  result.ok = setup.stereo ? decoder.DecodeStereo(payload, result.bytes, setup.n,
                                                  result.channel1.data(), result.channel0.data())
                           : decoder.DecodeMono(payload, result.bytes, setup.n,
                                                result.channel0.data());
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 65536) return 0;
  const Setup setup = ChooseSetup(data);
  // An exact-size copy, so that any read past the payload is caught.
  const auto payloadSize = int32_t(size - 3);
  std::unique_ptr<uint8_t[]> payload(new uint8_t[size_t(payloadSize)]);
  if (payloadSize > 0) std::memcpy(payload.get(), data + 3, size_t(payloadSize));

  lym::CapKernelLevel((data[2] & 0x80) != 0 ? lym::TKernelLevel::Sse2 : lym::TKernelLevel::Avx2);
  lym::TFrameDecoder portable(0, kMaxFrame, setup.bits, setup.rate);
  lym::TFrameDecoder vector(lym::kCpuFlagVector, kMaxFrame, setup.bits, setup.rate);
  const Decoded a = Decode(portable, setup, payload.get(), payloadSize);
  const Decoded b = Decode(vector, setup, payload.get(), payloadSize);
  if (a.ok != b.ok) std::abort();
  if (a.ok && (a.bytes != b.bytes || a.bytes > payloadSize || a.channel0 != b.channel0 ||
               (setup.stereo && a.channel1 != b.channel1)))
    std::abort();
  return 0;
}

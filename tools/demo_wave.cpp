// demo_wave FILE [SECONDS [BITS [CHANNELS [RATE]]]]: writes a short WAVE file (default stereo,
// 16 bits, 44100 Hz) of a few chords with a little noise, something to try the command-line tool
// on. SECONDS may be a fraction.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

void Put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demo_wave FILE [SECONDS [BITS [CHANNELS [RATE]]]]\n");
    return 2;
  }
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
  const int bits = argc > 3 ? std::atoi(argv[3]) : 16;
  const int channels = argc > 4 ? std::atoi(argv[4]) : 2;
  const int rate = argc > 5 ? std::atoi(argv[5]) : 44100;
  if (seconds < 0 || (bits != 8 && bits != 16 && bits != 24) || channels < 1 || channels > 2 ||
      rate < 1) {
    std::fprintf(stderr, "demo_wave: unsupported format\n");
    return 2;
  }
  const uint32_t block = uint32_t(bits / 8 * channels);
  const double chords[][3] = {{261.6, 329.6, 392.0}, {220.0, 261.6, 329.6},
                              {174.6, 220.0, 261.6}, {196.0, 246.9, 293.7}};
  const uint32_t frames = uint32_t(std::lround(seconds * rate));
  std::vector<uint8_t> out;
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  const uint32_t pad = frames * block % 2;  // chunks have even sizes
  Put(out, 36 + frames * block + pad, 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put(out, 16, 4);
  Put(out, 1, 2);
  Put(out, uint32_t(channels), 2);
  Put(out, uint32_t(rate), 4);
  Put(out, uint32_t(rate) * block, 4);
  Put(out, block, 2);
  Put(out, uint32_t(bits), 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  Put(out, frames * block, 4);
  std::mt19937 random(1);
  std::normal_distribution<double> hiss(0.0, 40.0);
  constexpr double kPi = 3.14159265358979323846;
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    const double* chord = chords[size_t(t * 2) % 4];
    const double envelope = std::exp(-3.0 * std::fmod(t, 0.5));
    double left = 0, right = 0;
    for (int k = 0; k < 3; ++k) {
      const double tone = std::sin(2 * kPi * chord[k] * t) + 0.3 * std::sin(4 * kPi * chord[k] * t);
      left += tone * (k == 0 ? 1.0 : 0.7);
      right += tone * (k == 2 ? 1.0 : 0.7);
    }
    const double scale = std::ldexp(3500.0 * envelope, bits - 16);
    const double noise = std::ldexp(1.0, bits - 16);
    const int32_t l = int32_t(std::lround(left * scale + hiss(random) * noise));
    const int32_t r = int32_t(std::lround(right * scale + hiss(random) * noise));
    if (bits == 8) {
      out.push_back(uint8_t(std::clamp(l, -128, 127) + 128));
      if (channels == 2) out.push_back(uint8_t(std::clamp(r, -128, 127) + 128));
    } else {
      Put(out, uint32_t(l), bits / 8);
      if (channels == 2) Put(out, uint32_t(r), bits / 8);
    }
  }
  if (pad != 0) out.push_back(0);
  FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size() ||
      std::fclose(file) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}

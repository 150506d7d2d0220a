// Round trips of real recordings, every file of the corpus that shared/corpus/make-corpus.sh
// builds (LYM_CORPUS, default /tmp/lym-corpus): excerpts through the frame encoder at every preset
// and level and back through the frame decoder, and whole files through the stream encoder and
// decoder at the default preset, byte for byte. Skipped without a corpus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "TestFiles.h"
#include "codec/EncoderPresets.h"
#include "codec/FrameDecoder.h"
#include "codec/FrameEncoder.h"
#include "codec/Pcm.h"
#include "foundation/CpuUtil.h"

namespace lym {
namespace {

namespace fs = std::filesystem;

struct Excerpt {
  int channels = 0, bits = 0;
  int32_t rate = 0;
  std::vector<int32_t> channel0, channel1;
};

fs::path CorpusFolder() {
  const char* folder = std::getenv("LYM_CORPUS");
  return folder != nullptr ? fs::path(folder) : fs::path("/tmp/lym-corpus");
}

uint32_t Le(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

// Half a second from the middle of a PCM WAVE file: just enough of the format to find the data.
bool ReadExcerpt(const fs::path& file, Excerpt& excerpt) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  for (size_t pos = 12; pos + 8 <= bytes.size();) {
    const uint32_t size = Le(&bytes[pos + 4], 4);
    if (std::memcmp(&bytes[pos], "fmt ", 4) == 0) {
      excerpt.channels = int(Le(&bytes[pos + 10], 2));
      excerpt.rate = int32_t(Le(&bytes[pos + 12], 4));
      excerpt.bits = int(Le(&bytes[pos + 22], 2));
    } else if (std::memcmp(&bytes[pos], "data", 4) == 0) {
      const int32_t block = PcmBlockSize(excerpt.bits, excerpt.channels);
      const auto frames = int32_t(std::min<size_t>(size, bytes.size() - pos - 8) / size_t(block));
      const int32_t count = std::min(frames, excerpt.rate / 2);
      const uint8_t* start = &bytes[pos + 8] + size_t((frames - count) / 2) * size_t(block);
      excerpt.channel0.resize(size_t(count));
      excerpt.channel1.resize(size_t(count));
      ReadPcm(excerpt.bits, excerpt.channels, start, count, excerpt.channel0.data(),
              excerpt.channel1.data());
      return count > 0;
    }
    pos += 8 + size + (size & 1);
  }
  return false;
}

void ExpectRoundTrip(const Excerpt& excerpt, int preset, int level) {
  TEncoderSettings settings = PresetSettings(preset, level);
  const TFrameEncoderOptions options = MakeFrameEncoderOptions(settings, excerpt.rate);
  TFrameEncoder encoder(excerpt.rate, excerpt.bits, DefaultCpuFlags(), options, settings.Predictors);
  TFrameDecoder decoder(DefaultCpuFlags(), options.FrameSamples, excerpt.bits, excerpt.rate);
  std::vector<int32_t> out0(size_t(options.FrameSamples)), out1(out0.size());
  const auto total = int32_t(excerpt.channel0.size());
  for (int32_t start = 0; start < total; start += options.FrameSamples) {
    int32_t n = std::min(options.FrameSamples, total - start), bytes = 0;
    const uint8_t* data = nullptr;
    const int32_t* a = excerpt.channel0.data() + start;
    const int32_t* b = excerpt.channel1.data() + start;
    const bool stereo = excerpt.channels == 2;
    if (stereo) {
      encoder.EncodeStereo(a, b, bytes, data, n);
    } else {
      encoder.EncodeMono(a, n, bytes, data);
    }
    const std::vector<uint8_t> payload(data, data + bytes);
    const bool ok = stereo ? decoder.DecodeStereo(payload.data(), bytes, n, out1.data(), out0.data())
                           : decoder.DecodeMono(payload.data(), bytes, n, out0.data());
    ASSERT_TRUE(ok) << "frame at " << start;
    ASSERT_TRUE(std::equal(a, a + n, out0.begin())) << "frame at " << start;
    if (stereo) {
      ASSERT_TRUE(std::equal(b, b + n, out1.begin())) << "frame at " << start;
    }
  }
}

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  const fs::path folder = CorpusFolder();
  if (!fs::is_directory(folder)) return files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".wav") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(Corpus, ExcerptsRoundTripAtEveryPresetAndLevel) {
  const std::vector<fs::path> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus in " << CorpusFolder();
  for (const fs::path& file : files) {
    Excerpt excerpt;
    ASSERT_TRUE(ReadExcerpt(file, excerpt)) << file;
    for (int preset = 0; preset < kPresetCount; ++preset) {
      for (int level = 0; level < kLevelCount; ++level) {
        SCOPED_TRACE(testing::Message() << file.filename() << " preset " << preset
                                        << " level " << level);
        ExpectRoundTrip(excerpt, preset, level);
      }
    }
  }
}

TEST(Corpus, WholeFilesRoundTripAtTheDefaultPreset) {
#ifdef LYM_SANITIZED_BUILD
  GTEST_SKIP() << "whole files run in the normal build";
#endif
  const std::vector<fs::path> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus in " << CorpusFolder();
  test::TempFolder temp;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename());
    ASSERT_EQ(test::EncodeWaveFile(file.string(), temp / "a.lym", DefaultEncoderSettings()), 0);
    ASSERT_EQ(test::DecodeToWaveFile(temp / "a.lym", temp / "a.wav"), 0);
    EXPECT_TRUE(test::ReadFileBytes(temp / "a.wav") == test::ReadFileBytes(file.string()));
  }
}

}  // namespace
}  // namespace lym

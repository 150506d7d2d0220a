#include "HostTest.h"

#include <windows.h>

#include <algorithm>

#include "lym/EncoderSettings.h"

namespace lym::test {

std::string LymHostTest::MakeLym(const std::string& name, const WaveSpec& spec,
                                 const TagItems& items) {
  const std::string wave = folder_ / (name + ".wav");
  const std::string lym = folder_ / name;
  WriteFileBytes(wave, MakeWaveFile(spec));
  EXPECT_EQ(EncodeWaveFile(wave, lym, DefaultEncoderSettings()), 0);
  if (!items.empty()) {
    std::vector<uint8_t> bytes = ReadFileBytes(lym);
    const std::string tag = MakeApeTag(items);
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    WriteFileBytes(lym, bytes);
  }
  return lym;
}

std::string Ansi(const std::wstring& text) {
  const int wideSize = int(text.size());
  const int size =
      WideCharToMultiByte(CP_ACP, 0, text.data(), wideSize, nullptr, 0, nullptr, nullptr);
  std::string ansi(size_t(std::max(size, 0)), '\0');
  BOOL lost = FALSE;
  const UINT codePage = GetACP();
  // UTF-8 holds everything and takes no substitution flag.
  WideCharToMultiByte(CP_ACP, 0, text.data(), wideSize, ansi.data(), size, nullptr,
                      codePage == CP_UTF8 ? nullptr : &lost);
  return lost ? std::string() : ansi;
}

int PlayedMs(const WaveSpec& spec) { return int(spec.samples * 1000 / spec.rate); }

}  // namespace lym::test

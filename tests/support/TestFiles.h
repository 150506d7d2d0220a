// Files for tests that work with real paths: a temporary folder, generated WAVE files, and the
// library-level road from a WAVE file to a .lym file and back (what the batch jobs do, without
// them).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lym/EncoderSettings.h"

namespace lym::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

struct WaveSpec {
  int32_t bits = 16;
  int32_t channels = 2;
  int32_t rate = 44100;
  int64_t samples = 10000;
  uint32_t seed = 1;
  bool noise = false;        // full-scale white noise instead of tones with a little noise
  int32_t listBytes = 0;     // a LIST chunk of this many bytes before the data chunk
  int32_t trailerBytes = 0;  // a chunk of this many bytes after the data chunk
  int32_t oddBytes = 0;      // bytes of an incomplete sample frame at the end of the data
};

// The interleaved PCM bytes of the described file (the data chunk's whole sample frames).
std::vector<uint8_t> MakePcmBytes(const WaveSpec& spec);
// A complete WAVE file: RIFF header, format chunk, optional LIST chunk, data, optional trailer.
std::vector<uint8_t> MakeWaveFile(const WaveSpec& spec);

// An APEv2 tag (version 2000, with header and footer) holding text items, to append to a file; a
// value may hold several values separated by zero bytes.
std::string MakeApeTag(const std::vector<std::pair<std::string, std::string>>& items);

// WAVE file to .lym file with TSeekableStreamEncoder; the header and trailer are stored when
// storeMeta is on. Returns the encoder's final highest error (or a WAVE reader failure as 2).
int32_t EncodeWaveFile(const std::string& wavePath, const std::string& lymPath,
                       const TEncoderSettings& settings, bool storeMeta = true);
// .lym file to WAVE file with TSeekableStreamDecoder, restoring the stored header and trailer
// when there are any. Returns the decoder's error level.
int32_t DecodeToWaveFile(const std::string& lymPath, const std::string& wavePath);

}  // namespace lym::test

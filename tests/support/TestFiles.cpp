#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "codec/Pcm.h"
#include "container/lymStreamDecoder.h"
#include "container/lymStreamEncoder.h"
#include "container/APEv2Tag.h"
#include "files/WaveFile.h"
#include "io/lymFileIo.h"

namespace lym::test {
namespace fs = std::filesystem;

TempFolder::TempFolder() {
  // create_directory makes the folder only when nothing of that name exists, so a name another
  // process took is never shared; try new random names until one is free.
  const fs::path base = fs::temp_directory_path();
  std::random_device seed;
  std::mt19937_64 random((uint64_t(seed()) << 32) ^ seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof(name), "lym-test-%016llx",
                  static_cast<unsigned long long>(random()));
    std::error_code error;
    if (fs::create_directory(base / name, error)) {
      path_ = (base / name).string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string TempFolder::operator/(const std::string& name) const { return path_ + "/" + name; }

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

namespace {

std::vector<int32_t> Channel(const WaveSpec& spec, uint32_t seed) {
  std::mt19937 random(seed);
  const int32_t top = (1 << (spec.bits - 1)) - 1;
  const double f1 = 0.003 + 0.0007 * (seed % 11), f2 = 0.05 + 0.003 * (seed % 7);
  std::vector<int32_t> x(size_t(spec.samples));
  for (int64_t i = 0; i < spec.samples; ++i) {
    if (spec.noise) {
      x[size_t(i)] = int32_t(random() % (2u * uint32_t(top) + 2)) - top - 1;
      continue;
    }
    const double t = double(i);
    const double tone = 0.55 * std::sin(t * f1) + 0.2 * std::sin(t * f2) * std::sin(t * 0.0011);
    const int32_t noise = int32_t(random() % 9) - 4;
    x[size_t(i)] = std::clamp(int32_t(std::lround(top * tone)) + noise, -top - 1, top);
  }
  return x;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void PutTag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(tag[i]));
}

void PutFiller(std::vector<uint8_t>& out, int32_t n, uint32_t seed) {
  std::mt19937 random(seed);
  for (int32_t i = 0; i < n; ++i) out.push_back(uint8_t(random()));
  if (n % 2 != 0) out.push_back(0);
}

}  // namespace

std::vector<uint8_t> MakePcmBytes(const WaveSpec& spec) {
  const std::vector<int32_t> a = Channel(spec, spec.seed * 2 + 1);
  const std::vector<int32_t> b = spec.channels == 2 ? Channel(spec, spec.seed * 2 + 2) : a;
  const int32_t block = PcmBlockSize(spec.bits, spec.channels);
  std::vector<uint8_t> pcm(size_t(spec.samples) * size_t(block));
  if (spec.samples > 0) {
    WritePcm(spec.bits, spec.channels, a.data(), b.data(), pcm.data(), int32_t(spec.samples));
  }
  return pcm;
}

std::vector<uint8_t> MakeWaveFile(const WaveSpec& spec) {
  const int32_t block = PcmBlockSize(spec.bits, spec.channels);
  std::vector<uint8_t> pcm = MakePcmBytes(spec);
  for (int32_t i = 0; i < spec.oddBytes; ++i) pcm.push_back(uint8_t(0x5A + i));
  std::vector<uint8_t> body;
  body.reserve(pcm.size() + size_t(spec.listBytes + spec.trailerBytes) + 64);
  PutTag(body, "WAVE");
  PutTag(body, "fmt ");
  Put32(body, 16);
  Put16(body, 1);
  Put16(body, uint32_t(spec.channels));
  Put32(body, uint32_t(spec.rate));
  Put32(body, uint32_t(spec.rate * block));
  Put16(body, uint32_t(block));
  Put16(body, uint32_t(spec.bits));
  if (spec.listBytes > 0) {
    PutTag(body, "LIST");
    Put32(body, uint32_t(spec.listBytes));
    PutFiller(body, spec.listBytes, spec.seed + 100);
  }
  PutTag(body, "data");
  Put32(body, uint32_t(pcm.size()));
  body.insert(body.end(), pcm.begin(), pcm.end());
  if (pcm.size() % 2 != 0) body.push_back(0);
  if (spec.trailerBytes > 0) {
    PutTag(body, "id3 ");
    Put32(body, uint32_t(spec.trailerBytes));
    PutFiller(body, spec.trailerBytes, spec.seed + 200);
  }
  std::vector<uint8_t> file;
  file.reserve(body.size() + 8);
  PutTag(file, "RIFF");
  Put32(file, uint32_t(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

std::string MakeApeTag(const std::vector<std::pair<std::string, std::string>>& items) {
  const auto le32 = [](uint32_t value) {
    return std::string{char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
  };
  std::string body;
  for (const auto& [key, value] : items) {
    body += le32(uint32_t(value.size())) + le32(0) + key + '\0' + value;
  }
  const auto block = [&](uint32_t flags) {
    return "APETAGEX" + le32(2000) + le32(uint32_t(body.size() + 32)) +
           le32(uint32_t(items.size())) + le32(kAPEv2HasHeader | flags) + std::string(8, '\0');
  };
  return block(kAPEv2IsHeader) + body + block(0);
}

int32_t EncodeWaveFile(const std::string& wavePath, const std::string& lymPath,
                       const TEncoderSettings& settings, bool storeMeta) {
  TadcFileStream source;
  if (source.OpenFile(wavePath, kAccessRead, 2048, kShareRead) != 0) return kEncodeWriteError;
  TWaveReader reader;
  if (reader.Open(&source) != kReaderOpen) return kEncodeUnsupportedFormat;
  const TadcEncoderOptions options;
  TSeekableStreamEncoder encoder(&reader.Format(), &options, lymPath.c_str(),
                                 reader.GetTotalSamples());
  encoder.SetParameters(settings);
  if (storeMeta) {
    const int64_t header = reader.GetHeaderSize(), trailer = reader.GetTrailerSize();
    std::vector<uint8_t> meta(size_t(header + trailer));
    EXPECT_TRUE(reader.ReadHeaderBytes(meta.data()));
    EXPECT_TRUE(reader.ReadTrailerBytes(meta.data() + header));
    TadcWaveMetaInfo info;
    info.HeaderBytes = int32_t(header);
    info.TrailerBytes = int32_t(trailer);
    encoder.WriteWaveMetaData(&info, meta.data());
  }
  std::vector<uint8_t> block(size_t(4096) * size_t(reader.Format().BlockSize));
  for (;;) {
    int32_t frames = 4096;
    EXPECT_TRUE(reader.ReadSamples(block.data(), frames));
    if (frames == 0 || encoder.EncodeSamples(block.data(), frames) >= kEncodeFatal) break;
  }
  encoder.Close(false);
  return encoder.HighestError();
}

int32_t DecodeToWaveFile(const std::string& lymPath, const std::string& wavePath) {
  TSeekableStreamDecoder decoder(lymPath.c_str(), TadcDecoderOptions{0, kDecodeBuffered}, nullptr,
                                 nullptr);
  if (decoder.OpenResult() >= kDecodeFatal) return decoder.OpenResult();
  TadcWaveMetaInfo info;
  std::vector<uint8_t> meta;
  if (decoder.ReadWaveMetaInfo(&info) == kDecodeOk) {
    meta.resize(size_t(info.HeaderBytes) + size_t(info.TrailerBytes));
    decoder.ReadWaveMetaData(meta.data(), int32_t(meta.size()));
  }
  TadcFileStream target;
  EXPECT_EQ(target.CreateNewFile(wavePath, kAccessWrite, 2048, 0), 0);
  TWaveWriter writer;
  EXPECT_TRUE(writer.Open(decoder.Reader().StreamInfo().Format, &target, info.HeaderBytes,
                          meta.empty() ? nullptr : meta.data()));
  std::vector<uint8_t> block(size_t(4096) * size_t(decoder.BlockSize()));
  for (;;) {
    int32_t delivered = 0;
    decoder.DecodeSamples(block.data(), 4096, &delivered);
    if (delivered == 0) break;
    EXPECT_TRUE(writer.WriteSamples(block.data(), delivered));
  }
  EXPECT_TRUE(writer.Close(true, meta.empty() ? nullptr : meta.data() + info.HeaderBytes,
                           info.TrailerBytes));
  EXPECT_EQ(target.Close(true), 0);
  return decoder.Result().ErrorLevel;
}

}  // namespace lym::test

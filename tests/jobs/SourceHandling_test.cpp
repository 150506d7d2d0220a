// What the batches do with a source once its output is in place: give the output the source's
// modification time, and remove the source, but only when everything about the file went well.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>

#include "TestFiles.h"
#include "foundation/ByteOrder.h"
#include "jobs/BatchCommon.h"
#include "lym/Compressor.h"
#include "lym/Decompressor.h"

namespace lym {
namespace {
namespace fs = std::filesystem;

class SourceHandlingTest : public ::testing::Test {
 protected:
  SourceHandlingTest() {
    compressor_.OnFileResult = [this](const TCompFileReport& report, const std::string&) {
      codes_.push_back(report.Code);
    };
    compressor_.OnFailureLine = [this](const std::string& text) { failures_.push_back(text); };
  }

  std::vector<uint8_t> AddWave(const std::string& name, const test::WaveSpec& spec = {}) {
    std::vector<uint8_t> bytes = test::MakeWaveFile(spec);
    test::WriteFileBytes(folder_ / name, bytes);
    return bytes;
  }

  void AddLym(const std::string& name, bool storeMeta = true) {
    AddWave("made.wav");
    ASSERT_EQ(test::EncodeWaveFile(folder_ / "made.wav", folder_ / name, DefaultEncoderSettings(),
                                   storeMeta),
              0);
    fs::remove(folder_ / "made.wav");
  }

  bool Compress(const std::vector<std::string>& files, const TCompressOptions& options = {}) {
    codes_.clear();
    failures_.clear();
    TCompressorFilePars pars;
    pars.SourceFolder = pars.DestinationFolder = folder_.Path();
    return compressor_.Run(settings_, output_, files, pars, options);
  }

  bool Decompress(const std::vector<std::string>& files) {
    codes_.clear();
    failures_.clear();
    TDecompressor decompressor(decompressorOptions_);
    decompressor.OnFileResult = [this](const TDecompFileReport& report, const std::string&) {
      codes_.push_back(report.Code);
      if (onDecompressed_) onDecompressed_();
    };
    decompressor.OnFailureLine = [this](const std::string& text) { failures_.push_back(text); };
    TDecompressorFilePars pars;
    pars.SourceFolder = pars.DestinationFolder = folder_.Path();
    return decompressor.Run(pars, files);
  }

  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.Path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // A time well in the past, in whole seconds, which every file system keeps exactly.
  static fs::file_time_type OldTime() {
    return std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now() -
                                                    std::chrono::hours(24 * 400));
  }

  fs::file_time_type TimeOf(const std::string& name) const {
    return fs::last_write_time(folder_ / name);
  }

  test::TempFolder folder_;
  TEncoderSettings settings_ = DefaultEncoderSettings();
  TEncoderDlgOutputOptions output_;
  TCompressor compressor_;
  TDecompressorOptions decompressorOptions_;
  std::function<void()> onDecompressed_;
  std::vector<uint8_t> codes_;
  std::vector<std::string> failures_;
};

TEST_F(SourceHandlingTest, ARoundTripLeavesOnlyTheRestoredFile) {
  const std::vector<uint8_t> original = AddWave("a.wav", {.listBytes = 100, .trailerBytes = 30});
  output_.DeleteInput = true;
  EXPECT_TRUE(Compress({"a.wav"}));
  EXPECT_EQ(Entries(), std::set<std::string>{"a.lym"});

  decompressorOptions_.DeleteInput = true;
  EXPECT_TRUE(Decompress({"a.lym"}));
  EXPECT_EQ(Entries(), std::set<std::string>{"a.wav"});
  EXPECT_EQ(test::ReadFileBytes(folder_ / "a.wav"), original);
  EXPECT_TRUE(failures_.empty());
}

// Verification decodes every frame again; removing a source relies on it.
TEST_F(SourceHandlingTest, RemovingSourcesTurnsVerificationOn) {
  AddWave("a.wav");
  settings_.Verify = false;
  output_.DeleteInput = true;
  output_.ProtocolLevel = kProtocolDiagnostics;
  EXPECT_TRUE(Compress({"a.wav"}));
  const std::vector<uint8_t> bytes = test::ReadFileBytes(folder_ / "Lym_Enco_Proto.txt");
  const std::string protocol(bytes.begin(), bytes.end());
  EXPECT_NE(protocol.find("Verify:" + std::string(28, ' ') + "        Ja"), std::string::npos)
      << protocol;
}

// Refused, failed, warned or lossy files keep their sources; in the same batch a clean one goes.
TEST_F(SourceHandlingTest, CompressionKeepsEverySourceThatDidNotEndWell) {
  AddWave("exists.wav");
  test::WriteFileBytes(folder_ / "exists.lym", {1, 2, 3});
  std::vector<uint8_t> unknownSize = test::MakeWaveFile({.samples = 2000});
  StoreLE32(unknownSize.data() + 40, 0xFFFFFFFF);
  test::WriteFileBytes(folder_ / "warned.wav", unknownSize);
  AddWave("big.wav", {.samples = 1000, .listBytes = 600000, .trailerBytes = 600000});
  test::WriteFileBytes(folder_ / "text.wav", {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e'});
  AddWave("clean.wav");
  output_.DeleteInput = true;

  EXPECT_FALSE(Compress({"exists.wav", "warned.wav", "big.wav", "text.wav", "clean.wav"}));
  EXPECT_EQ(codes_, (std::vector<uint8_t>{kCompressExists, kCompressOk, kCompressMetaTooBig,
                                          kCompressWaveFile, kCompressOk}));
  EXPECT_EQ(Entries(), (std::set<std::string>{"exists.wav", "exists.lym", "warned.wav",
                                              "warned.lym", "big.wav", "big.lym", "text.wav",
                                              "clean.lym"}));
  EXPECT_EQ(test::ReadFileBytes(folder_ / "exists.lym"), (std::vector<uint8_t>{1, 2, 3}));

  // Measuring only writes no output, so nothing may go either.
  TCompressOptions measure;
  measure.NoOutput = true;
  AddWave("measured.wav");
  EXPECT_TRUE(Compress({"measured.wav"}, measure));
  EXPECT_EQ(Entries().count("measured.wav"), 1u);

  // Without the stored header and trailer the output could not give the source back.
  AddWave("bare.wav");
  output_.SaveWaveMeta = false;
  EXPECT_TRUE(Compress({"bare.wav"}));
  EXPECT_EQ(Entries().count("bare.wav"), 1u);
}

TEST_F(SourceHandlingTest, DecompressionKeepsEverySourceThatDidNotEndWell) {
  AddLym("damaged.lym");
  std::vector<uint8_t> bytes = test::ReadFileBytes(folder_ / "damaged.lym");
  for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i) bytes[i] ^= 0x5A;
  test::WriteFileBytes(folder_ / "damaged.lym", bytes);
  AddLym("plain.lym", false);
  AddLym("exists.lym");
  test::WriteFileBytes(folder_ / "exists.wav", {1, 2, 3});
  decompressorOptions_.DeleteInput = true;

  EXPECT_FALSE(Decompress({"damaged.lym", "plain.lym", "exists.lym"}));
  EXPECT_EQ(codes_, (std::vector<uint8_t>{kDecompAudioDamaged, kDecompWaveMetaMissing,
                                          kDecompAlreadyExists}));
  EXPECT_EQ(Entries(), (std::set<std::string>{"damaged.lym", "damaged.wav", "plain.lym",
                                              "plain.wav", "exists.lym", "exists.wav",
                                              "Lym_Deco_Error.txt"}));

  // A test writes nothing, so nothing may go either.
  AddLym("tested.lym");
  decompressorOptions_.File.WriteOutput = false;
  EXPECT_TRUE(Decompress({"tested.lym"}));
  EXPECT_EQ(Entries().count("tested.lym"), 1u);

  // A WAVE file written under a new header is not the original.
  AddLym("renewed.lym");
  decompressorOptions_.File.WriteOutput = true;
  decompressorOptions_.File.RestoreWaveMeta = false;
  EXPECT_TRUE(Decompress({"renewed.lym"}));
  EXPECT_EQ(Entries().count("renewed.lym"), 1u);
  EXPECT_EQ(Entries().count("renewed.wav"), 1u);
}

TEST_F(SourceHandlingTest, ASourceThatCannotBeRemovedIsAFailureLine) {
  AddLym("a.lym");
  decompressorOptions_.DeleteInput = true;
  onDecompressed_ = [this] { fs::remove(folder_ / "a.lym"); };
  EXPECT_TRUE(Decompress({"a.lym"}));
  ASSERT_EQ(failures_.size(), 1u);
  const std::string expected = "Error deleting source file " + JoinPath(folder_.Path(), "a.lym") + ": ";
  EXPECT_EQ(failures_[0].substr(0, expected.size()), expected);
  EXPECT_GT(failures_[0].size(), expected.size());  // the system's reason
  EXPECT_EQ(Entries(), std::set<std::string>{"a.wav"});
}

TEST_F(SourceHandlingTest, OutputsTakeTheSourcesTimeOnlyWhenAsked) {
  AddWave("a.wav");
  fs::last_write_time(folder_ / "a.wav", OldTime());
  EXPECT_TRUE(Compress({"a.wav"}));
  EXPECT_GT(TimeOf("a.lym"), OldTime());

  output_.KeepTime = output_.Overwrite = true;
  EXPECT_TRUE(Compress({"a.wav"}));
  EXPECT_EQ(TimeOf("a.lym"), OldTime());

  // The time is taken before the source goes.
  fs::remove(folder_ / "a.wav");
  fs::last_write_time(folder_ / "a.lym", OldTime() - std::chrono::hours(1));
  decompressorOptions_.File.KeepTime = decompressorOptions_.DeleteInput = true;
  EXPECT_TRUE(Decompress({"a.lym"}));
  EXPECT_EQ(TimeOf("a.wav"), OldTime() - std::chrono::hours(1));
  EXPECT_EQ(Entries(), std::set<std::string>{"a.wav"});
}

}  // namespace
}  // namespace lym

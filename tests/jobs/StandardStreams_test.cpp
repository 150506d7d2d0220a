// The batches with standard input as their source and standard output as their output: the same
// bytes as with files, the sizes a pipe's writer leaves unsaid, nothing sent for a failed job, a
// header stated in advance that cutting breaks, and no scratch file left in the temporary folder.
// The streams are files put in place of descriptors 0 and 1 here; the command-line tests use pipes.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "TestFiles.h"
#include "foundation/ByteOrder.h"
#include "lym/Compressor.h"
#include "lym/Decompressor.h"
#include "lym/Informant.h"

namespace lym {
namespace {
namespace fs = std::filesystem;

// Puts a file in place of a standard descriptor while it lives.
class TRedirect {
 public:
  TRedirect(int descriptor, const std::string& path) : descriptor_(descriptor) {
    std::fflush(stdout);
    saved_ = ::dup(descriptor);
    const int flags = descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC;
    const int file = ::open(path.c_str(), flags, 0644);
    EXPECT_GE(file, 0) << path;
    ::dup2(file, descriptor);
    ::close(file);
  }
  ~TRedirect() {
    std::fflush(stdout);
    ::dup2(saved_, descriptor_);
    ::close(saved_);
  }
  TRedirect(const TRedirect&) = delete;
  TRedirect& operator=(const TRedirect&) = delete;

 private:
  int descriptor_;
  int saved_;
};

class StandardStreamsTest : public ::testing::Test {
 protected:
  StandardStreamsTest() {
    fs::create_directory(scratch_);
    const char* old = std::getenv("TMPDIR");
    oldTmpdir_ = old != nullptr ? old : "";
    hadTmpdir_ = old != nullptr;
    ::setenv("TMPDIR", scratch_.c_str(), 1);
  }
  ~StandardStreamsTest() override {
    if (hadTmpdir_) {
      ::setenv("TMPDIR", oldTmpdir_.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

  bool ScratchIsEmpty() const { return fs::is_empty(scratch_); }

  TCompFileReport Compress(const std::string& entry, bool fromStdin, bool toStdout,
                           const std::string& outputName = "") {
    TCompressor compressor;
    TCompFileReport result;
    compressor.OnFileResult = [&](const TCompFileReport& report, const std::string&) {
      result = report;
    };
    TCompressorFilePars pars;
    pars.SourceFolder = pars.DestinationFolder = folder_.Path();
    pars.OutputName = outputName;
    pars.StandardInput = fromStdin;
    pars.StandardOutput = toStdout;
    TEncoderSettings settings = DefaultEncoderSettings();
    settings.Verify = true;
    compressor.Run(settings, {}, {entry}, pars, {});
    return result;
  }

  TDecompFileReport Decompress(const std::string& entry, bool fromStdin, bool toStdout,
                               const TFileDecompOptions& file = {}) {
    TDecompressorOptions options;
    options.File = file;
    TDecompressor decompressor(options);
    TDecompFileReport result;
    decompressor.OnFileResult = [&](const TDecompFileReport& report, const std::string&) {
      result = report;
    };
    TDecompressorFilePars pars;
    pars.SourceFolder = pars.DestinationFolder = folder_.Path();
    pars.OutputName = "restored.wav";
    pars.StandardInput = fromStdin;
    pars.StandardOutput = toStdout;
    decompressor.Run(pars, {entry});
    return result;
  }

  std::vector<uint8_t> Bytes(const std::string& name) const {
    return test::ReadFileBytes(folder_ / name);
  }

  test::TempFolder folder_;
  const std::string scratch_ = folder_ / "scratch";
  std::string oldTmpdir_;
  bool hadTmpdir_ = false;
};

TEST_F(StandardStreamsTest, CompressionFromAndToPipesMakesTheBytesOfFiles) {
  test::WriteFileBytes(folder_ / "a.wav", test::MakeWaveFile({.trailerBytes = 20}));
  EXPECT_EQ(Compress("a.wav", false, false).Code, kCompressOk);
  {
    TRedirect in(STDIN_FILENO, folder_ / "a.wav");
    TRedirect out(STDOUT_FILENO, folder_ / "piped.lym");
    EXPECT_EQ(Compress("-", true, true).Code, kCompressOk);
  }
  EXPECT_EQ(Bytes("piped.lym"), Bytes("a.lym"));
  EXPECT_FALSE(fs::exists(folder_ / "-.lym"));
  EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(StandardStreamsTest, SizesAPipesWriterLeavesUnsaidAreNoWarning) {
  std::vector<uint8_t> wave = test::MakeWaveFile({});
  StoreLE32(wave.data() + 4, 0);
  StoreLE32(wave.data() + 40, 0xFFFFFFFF);
  test::WriteFileBytes(folder_ / "unknown.wav", wave);
  EXPECT_EQ(Compress("unknown.wav", false, false).Warnings, "RIFF size ignored; Data size unknown");
  TRedirect in(STDIN_FILENO, folder_ / "unknown.wav");
  const TCompFileReport piped = Compress("-", true, false, "piped.lym");
  EXPECT_EQ(piped.Code, kCompressOk);
  EXPECT_EQ(piped.Warnings, "");
  EXPECT_EQ(Bytes("piped.lym"), Bytes("unknown.lym"));

  // A stated size that the stream does not reach: its writer was cut off.
  wave = test::MakeWaveFile({});
  wave.resize(wave.size() / 2);
  test::WriteFileBytes(folder_ / "cut.wav", wave);
  TRedirect cut(STDIN_FILENO, folder_ / "cut.wav");
  EXPECT_EQ(Compress("-", true, false, "cut.lym").Warnings, "Data size past end");
}

TEST_F(StandardStreamsTest, AFailedCompressionSendsNothing) {
  test::WriteFileBytes(folder_ / "text.wav", std::vector<uint8_t>(5000, 'x'));
  {
    TRedirect out(STDOUT_FILENO, folder_ / "out.lym");
    EXPECT_EQ(Compress("text.wav", false, true).Code, kCompressWaveFile);
  }
  EXPECT_TRUE(Bytes("out.lym").empty());
  EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(StandardStreamsTest, StandardInputThatCannotBeSpooledIsAReadError) {
  fs::remove(scratch_);
  test::WriteFileBytes(folder_ / "a.wav", test::MakeWaveFile({}));
  TRedirect in(STDIN_FILENO, folder_ / "a.wav");
  const TCompFileReport report = Compress("-", true, false, "x.lym");
  EXPECT_EQ(report.Code, kCompressReadError);
  EXPECT_EQ(report.Reason, "No such file or directory");
  EXPECT_EQ(Decompress("-", true, false).Code, kDecompReadError);
}

TEST_F(StandardStreamsTest, DecompressionToAPipeStatesTheHeaderInAdvance) {
  const std::vector<uint8_t> original = test::MakeWaveFile({.listBytes = 40, .trailerBytes = 9});
  test::WriteFileBytes(folder_ / "a.wav", original);
  ASSERT_EQ(Compress("a.wav", false, false).Code, kCompressOk);
  {
    TRedirect in(STDIN_FILENO, folder_ / "a.lym");
    TRedirect out(STDOUT_FILENO, folder_ / "piped.wav");
    EXPECT_EQ(Decompress("-", true, true).Code, kDecompOk);
  }
  EXPECT_EQ(Bytes("piped.wav"), original);

  // Without the stored header: the header a file would get after its samples, sent first.
  TFileDecompOptions generated;
  generated.RestoreWaveMeta = false;
  EXPECT_EQ(Decompress("a.lym", false, false, generated).Code, kDecompOk);
  {
    TRedirect out(STDOUT_FILENO, folder_ / "generated.wav");
    EXPECT_EQ(Decompress("a.lym", false, true, generated).Code, kDecompOk);
  }
  EXPECT_EQ(Bytes("generated.wav"), Bytes("restored.wav"));
  EXPECT_FALSE(fs::exists(folder_ / "Lym_Deco_Error.txt"));
  EXPECT_TRUE(ScratchIsEmpty());
}

// Lost audio cut out makes the stream shorter than the header that went out first said.
TEST_F(StandardStreamsTest, CuttingLostAudioBreaksAHeaderSentInAdvance) {
  test::WriteFileBytes(folder_ / "a.wav", test::MakeWaveFile({.samples = 200000}));
  ASSERT_EQ(Compress("a.wav", false, false).Code, kCompressOk);
  std::vector<uint8_t> damaged = Bytes("a.lym");
  std::fill_n(damaged.begin() + std::ptrdiff_t(damaged.size() / 2), 300, uint8_t(0));
  test::WriteFileBytes(folder_ / "damaged.lym", damaged);
  TFileDecompOptions options;
  options.MuteDamaged = false;
  for (const bool restore : {true, false}) {
    options.RestoreWaveMeta = restore;
    TRedirect out(STDOUT_FILENO, folder_ / "cut.wav");
    EXPECT_EQ(Decompress("damaged.lym", false, true, options).Code, kDecompUndecodable);
  }
  options.MuteDamaged = true;
  TRedirect out(STDOUT_FILENO, folder_ / "muted.wav");
  const TDecompFileReport muted = Decompress("damaged.lym", false, true, options);
  EXPECT_EQ(muted.Code, kDecompAudioDamaged);
  EXPECT_TRUE(muted.OutputKept);
}

TEST_F(StandardStreamsTest, InformationNamesStandardInputAsGiven) {
  test::WriteFileBytes(folder_ / "a.wav", test::MakeWaveFile({}));
  ASSERT_EQ(Compress("a.wav", false, false).Code, kCompressOk);
  TRedirect in(STDIN_FILENO, folder_ / "a.lym");
  TInformant informant(kInformDetailed, false);
  std::vector<std::string> lines;
  informant.OnLogLine = [&](const std::string& line) { lines.push_back(line); };
  TInformantFilePars pars;
  pars.Folder = folder_.Path();
  pars.StandardInput = true;
  EXPECT_TRUE(informant.Run(pars, {"-"}));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].substr(0, 6), "=== - ");
  EXPECT_TRUE(ScratchIsEmpty());
}

}  // namespace
}  // namespace lym

#endif

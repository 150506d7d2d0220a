// What the batches promise about their outputs whatever lies in the folder: a failing or refused
// job leaves the destination as it was and no temporary file behind, and it says why.
#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <set>

#include "TestFiles.h"
#include "jobs/BatchCommon.h"
#include "lym/Compressor.h"
#include "lym/Decompressor.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lym {
namespace {
namespace fs = std::filesystem;

class SafeOutputsTest : public ::testing::Test {
 protected:
  SafeOutputsTest() {
    compressor_.OnFileResult = [this](const TCompFileReport& report, const std::string& text) {
      lines_.push_back(Line(text, report.Reason));
    };
    compressor_.OnFailureLine = [this](const std::string& text) { failures_.push_back(text); };
    decompressor_.OnFileResult = [this](const TDecompFileReport& report, const std::string& text) {
      lines_.push_back(Line(text, report.Reason));
    };
    compressorPars_.SourceFolder = compressorPars_.DestinationFolder = folder_.Path();
    decompressorPars_.SourceFolder = decompressorPars_.DestinationFolder = folder_.Path();
  }

  // The result text, and the reason after a colon as the command line shows it; the speed is
  // left out, it varies.
  static std::string Line(const std::string& text, const std::string& reason) {
    const size_t star = text.find("* ");
    const std::string plain = star == std::string::npos ? text : text.substr(star + 2);
    return reason.empty() ? plain : plain + ": " + reason;
  }

  std::vector<uint8_t> AddWave(const std::string& name, int64_t samples = 10000) {
    std::vector<uint8_t> bytes = test::MakeWaveFile({.samples = samples});
    test::WriteFileBytes(folder_ / name, bytes);
    return bytes;
  }

  bool Compress(const std::vector<std::string>& files) {
    lines_.clear();
    return compressor_.Run(DefaultEncoderSettings(), output_, files, compressorPars_, {});
  }

  bool Decompress(const std::vector<std::string>& files) {
    lines_.clear();
    return decompressor_.Run(decompressorPars_, files);
  }

  // Every name in the folder, so that a temporary file left behind shows.
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.Path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  test::TempFolder folder_;
  TEncoderDlgOutputOptions output_;
  TCompressorFilePars compressorPars_;
  TCompressor compressor_;
  TDecompressorOptions decompressorOptions_;
  TDecompressorFilePars decompressorPars_;
  TDecompressor decompressor_{decompressorOptions_};
  std::vector<std::string> lines_, failures_;
};

TEST_F(SafeOutputsTest, AnExceptionFailsItsFileAndTheBatchGoesOn) {
  AddWave("a.wav", 200000);
  const auto second = AddWave("b.wav");
  bool thrown = false;
  compressor_.OnProgress = [&thrown](int32_t) {
    if (!thrown) {
      thrown = true;
      throw std::bad_alloc();
    }
  };
  EXPECT_FALSE(Compress({"a.wav", "b.wav"}));
  EXPECT_EQ(lines_, (std::vector<std::string>{"Error writing destination: Out of memory", ""}));
  EXPECT_EQ(compressor_.Failed(), 1);
  EXPECT_EQ(Entries(), (std::set<std::string>{"a.wav", "b.wav", "b.lym"}));

  thrown = false;
  decompressor_.OnProgress = compressor_.OnProgress;
  fs::rename(folder_ / "b.lym", folder_ / "c.lym");
  EXPECT_FALSE(Decompress({"c.lym", "c.lym"}));
  EXPECT_EQ(lines_, (std::vector<std::string>{"Error writing destination: Out of memory", "Ok"}));
  EXPECT_EQ(test::ReadFileBytes(folder_ / "c.wav"), second);
}

TEST_F(SafeOutputsTest, EachFileHasItsOwnReason) {
  AddWave("a.wav");
  ASSERT_TRUE(Compress({"a.wav"}));
  test::WriteFileBytes(folder_ / "a.wav", {1});
  EXPECT_FALSE(Decompress({"missing.lym", "a.lym"}));
  ASSERT_EQ(lines_.size(), 2u);
  EXPECT_NE(lines_[0].find("Error reading source: "), std::string::npos);
  EXPECT_EQ(lines_[1], "Already exists");
}

TEST_F(SafeOutputsTest, TheSourceIsNeverItsOwnDestination) {
  const auto wave = AddWave("a.wav");
  output_.Overwrite = true;
  compressorPars_.OutputName = "a.wav";
  EXPECT_FALSE(Compress({"./a.wav"}));
  EXPECT_EQ(lines_, std::vector<std::string>{
                        "Error writing destination: Destination is the source file"});
  EXPECT_EQ(test::ReadFileBytes(folder_ / "a.wav"), wave);

  compressorPars_.OutputName.clear();
  ASSERT_TRUE(Compress({"a.wav"}));
  decompressorOptions_.Overwrite = true;
  TDecompressor decompressor(decompressorOptions_);
  decompressorPars_.OutputName = "a.lym";
  decompressor.OnFileResult = decompressor_.OnFileResult;
  lines_.clear();
  EXPECT_FALSE(decompressor.Run(decompressorPars_, {"a.lym"}));
  EXPECT_EQ(lines_, std::vector<std::string>{
                        "Error writing destination: Destination is the source file"});
  EXPECT_EQ(Entries(), (std::set<std::string>{"a.wav", "a.lym"}));
}

TEST_F(SafeOutputsTest, TwoInputsOfOneRunNeverShareAnOutput) {
  fs::create_directory(folder_ / "x");
  const auto first = AddWave("a.wav");
  AddWave("x/a.wav", 500);
  output_.Overwrite = true;
  EXPECT_FALSE(Compress({"a.wav", "x/a.wav"}));
  EXPECT_EQ(lines_, (std::vector<std::string>{
                        "", "Already exists: Written from another input of this run"}));
  // A later run of its own may replace it, and runs can share one record.
  TRunOutputs run;
  compressorPars_.RunOutputs = &run;
  EXPECT_TRUE(Compress({"x/a.wav"}));
  EXPECT_FALSE(Compress({"a.wav"}));
  EXPECT_EQ(lines_.back(), "Already exists: Written from another input of this run");
  EXPECT_EQ(Entries(), (std::set<std::string>{"a.wav", "a.lym", "x"}));
}

TEST_F(SafeOutputsTest, ProtocolsThatCannotBeWrittenAreReportedApart) {
  AddWave("a.wav");
  fs::create_directory(folder_ / "Lym_Enco_Proto.txt");
  output_.ProtocolLevel = kProtocolResults;
  EXPECT_TRUE(Compress({"a.wav"}));
  EXPECT_EQ(failures_, std::vector<std::string>{"Error writing protocol file " +
                                                JoinPath(folder_.Path(), "Lym_Enco_Proto.txt")});
  EXPECT_TRUE(fs::is_directory(folder_ / "Lym_Enco_Proto.txt"));
  EXPECT_EQ(Entries(), (std::set<std::string>{"a.wav", "a.lym", "Lym_Enco_Proto.txt"}));
}

#ifndef _WIN32
TEST_F(SafeOutputsTest, SystemReasonsPermissionsAndPipes) {
  EXPECT_FALSE(Compress({"missing.wav"}));
  EXPECT_EQ(lines_, std::vector<std::string>{"Error reading source: No such file or directory"});

  // Outputs take their source's permission bits, less the umask.
  AddWave("a.wav");
  ASSERT_EQ(::chmod((folder_ / "a.wav").c_str(), 0660), 0);
  const mode_t umask = ::umask(026);
  EXPECT_TRUE(Compress({"a.wav"}));
  EXPECT_EQ(fs::status(folder_ / "a.lym").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ::umask(022);
  ASSERT_EQ(::chmod((folder_ / "a.lym").c_str(), 0666), 0);
  decompressorPars_.OutputName = "back.wav";
  EXPECT_TRUE(Decompress({"a.lym"}));
  ::umask(umask);
  decompressorPars_.OutputName.clear();
  EXPECT_EQ(fs::status(folder_ / "back.wav").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);

  // A pipe under the output's name is neither opened (which would wait for a reader) nor
  // replaced, overwriting or not.
  ASSERT_EQ(::mkfifo((folder_ / "p.lym").c_str(), 0600), 0);
  AddWave("p.wav");
  for (const bool overwrite : {false, true}) {
    output_.Overwrite = overwrite;
    EXPECT_FALSE(Compress({"p.wav"}));
    EXPECT_EQ(lines_, std::vector<std::string>{
                          "Error writing destination: Destination is not a regular file"});
  }
  EXPECT_EQ(fs::status(folder_ / "p.lym").type(), fs::file_type::fifo);
  EXPECT_EQ(Entries().count("a.wav"), 1u);
  for (const std::string& name : Entries()) EXPECT_EQ(name.find(".lym-"), std::string::npos);
}
#endif

}  // namespace
}  // namespace lym

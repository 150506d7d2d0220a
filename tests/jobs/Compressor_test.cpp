#include "lym/Compressor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "TestFiles.h"
#include "files/WaveFile.h"
#include "jobs/BatchCommon.h"
#include "jobs/TextData.h"

namespace lym {
namespace {
namespace fs = std::filesystem;

// True when field is a number exactly as printf's "%*.*f" writes it in field's width.
bool IsFixed(const std::string& field, int32_t decimals) {
  return FormatFixed(std::atof(field.c_str()), int32_t(field.size()), decimals) == field;
}

// Speeds and durations vary from run to run. Where a line shows one in its fixed format (at
// least 4 columns for a file's speed, 9 columns and 2 decimals in the summary), it becomes
// "####" or "#"; anything else stays, so that a wrong format fails the comparison.
std::string Masked(const std::string& line) {
  for (const std::string label : {"Duration:    ", "Speed:       "}) {
    if (line.rfind(label, 0) == 0 && IsFixed(line.substr(label.size(), 9), 2)) {
      return label + "#" + line.substr(label.size() + 9);
    }
  }
  const size_t percent = line.find("% ");
  const size_t star = line.find("* ", percent);
  if (percent == std::string::npos || star == std::string::npos || star - percent < 6 ||
      !IsFixed(line.substr(percent + 2, star - percent - 2), 0)) {
    return line;
  }
  return line.substr(0, percent + 2) + "####" + line.substr(star);
}

// The lines of a protocol file, which must all end in CR LF.
std::vector<std::string> MaskedFileLines(const std::string& path) {
  const std::vector<uint8_t> bytes = test::ReadFileBytes(path);
  std::string text(bytes.begin(), bytes.end());
  std::vector<std::string> lines;
  for (size_t end; (end = text.find("\r\n")) != std::string::npos; text.erase(0, end + 2)) {
    lines.push_back(Masked(text.substr(0, end)));
  }
  EXPECT_EQ(text, "") << "text after the last line end of " << path;
  return lines;
}

// A labelled protocol line: two spaces, the label in 35 columns, the value in 10.
std::string Item(const std::string& label, const std::string& value) {
  return "  " + PadRight(label, 35) + PadLeft(value, 10);
}

class CompressorTest : public ::testing::Test {
 protected:
  CompressorTest() {
    fs::create_directory(source_);
    fs::create_directory(destination_);
    pars_.SourceFolder = source_;
    pars_.DestinationFolder = destination_;
    compressor_.OnLogLine = [this](const std::string& text) { seen_.log.push_back(Masked(text)); };
    compressor_.OnFileStart = [this](const std::string& name) { seen_.starts.push_back(name); };
    compressor_.OnProgress = [this](int32_t percent) {
      seen_.progress.push_back(percent);
      if (onProgress_) onProgress_();
    };
    compressor_.OnFileResult = [this](const TCompFileReport& report, const std::string& text) {
      seen_.reports.push_back(report);
      seen_.texts.push_back(Masked(text));
    };
    compressor_.OnCancelQuery = [this] {
      ++cancelQueries_;
      return cancel_;
    };
  }

  std::vector<uint8_t> AddWave(const std::string& name, const test::WaveSpec& spec = {}) {
    std::vector<uint8_t> bytes = test::MakeWaveFile(spec);
    test::WriteFileBytes(Source(name), bytes);
    return bytes;
  }

  bool RunBatch(const std::vector<std::string>& files) {
    seen_ = {};
    return compressor_.Run(settings_, output_, files, pars_, options_);
  }

  std::string Source(const std::string& name) const { return source_ + "/" + name; }
  std::string Destination(const std::string& name) const { return destination_ + "/" + name; }

  std::set<std::string> DestinationEntries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(destination_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // Compressed size / source size in percent.
  double Ratio(const std::string& lymName, const std::vector<uint8_t>& source) const {
    return double(fs::file_size(Destination(lymName))) / double(source.size()) * 100;
  }

  void ExpectRoundTrip(const std::string& lymName, const std::vector<uint8_t>& source) {
    const std::string decoded = folder_ / "decoded.wav";
    ASSERT_EQ(test::DecodeToWaveFile(Destination(lymName), decoded), 0);
    EXPECT_EQ(test::ReadFileBytes(decoded), source) << lymName;
  }

  test::TempFolder folder_;
  std::string source_ = folder_ / "in";
  std::string destination_ = folder_ / "out";
  TEncoderSettings settings_ = DefaultEncoderSettings();
  TEncoderDlgOutputOptions output_;
  TCompressOptions options_;
  TCompressorFilePars pars_;
  TCompressor compressor_;

  // What the events of the last run told; log lines and result texts masked.
  struct {
    std::vector<std::string> log, starts, texts;
    std::vector<int32_t> progress;
    std::vector<TCompFileReport> reports;
  } seen_;
  std::function<void()> onProgress_;
  bool cancel_ = false;
  int32_t cancelQueries_ = 0;
};

TEST(CompressorResultText, EveryCodeHasItsText) {
  EXPECT_EQ(TCompressor::ResultText(kCompressOk), "");
  EXPECT_EQ(TCompressor::ResultText(2), "Meta data too big");
  EXPECT_EQ(TCompressor::ResultText(3), "Audio format not supported");
  EXPECT_EQ(TCompressor::ResultText(4), "Wave file not supported");
  EXPECT_EQ(TCompressor::ResultText(5), "Error reading source");
  EXPECT_EQ(TCompressor::ResultText(6), "Error writing destination");
  EXPECT_EQ(TCompressor::ResultText(7), "Verify failed!");
  EXPECT_EQ(TCompressor::ResultText(8), "Already exists");
  EXPECT_EQ(TCompressor::ResultText(9), "Canceled");
  for (int32_t other : {0, 10, 255, -1}) EXPECT_EQ(TCompressor::ResultText(other), "Unknown error");
}

TEST_F(CompressorTest, CompressedFilesDecodeByteIdentically) {
  const auto stereo = AddWave("abc.wav", {.listBytes = 300, .trailerBytes = 77});
  const auto mono24 = AddWave("x.y.wav", {.bits = 24, .channels = 1, .rate = 96000, .seed = 5});
  const auto mono8 = AddWave("m8", {.bits = 8, .channels = 1, .rate = 8000, .samples = 5001});
  settings_.Verify = true;

  EXPECT_TRUE(RunBatch({"abc.wav", "x.y.wav", "m8"}));
  EXPECT_EQ(DestinationEntries(), (std::set<std::string>{"abc.lym", "x.y.lym", "m8.lym"}));
  ExpectRoundTrip("abc.lym", stereo);
  ExpectRoundTrip("x.y.lym", mono24);
  ExpectRoundTrip("m8.lym", mono8);

  EXPECT_EQ(seen_.starts[1], ShortDisplayName("x.y.wav"));
  EXPECT_EQ(seen_.texts,
            (std::vector<std::string>{FormatFixed(Ratio("abc.lym", stereo), 6, 2) + "% ####* ",
                                      FormatFixed(Ratio("x.y.lym", mono24), 6, 2) + "% ####* ",
                                      FormatFixed(Ratio("m8.lym", mono8), 6, 2) + "% ####* "}));
  const TCompFileReport& first = seen_.reports.at(0);
  EXPECT_EQ(first.Code, kCompressOk);
  EXPECT_EQ(first.SourceBytes, int64_t(stereo.size()));
  EXPECT_EQ(first.CompressedBytes, int64_t(fs::file_size(Destination("abc.lym"))));
  EXPECT_DOUBLE_EQ(first.AudioMs, 10000.0 / 44100 * 1000);
  EXPECT_EQ(seen_.reports.at(2).Index, 2);
  EXPECT_EQ(seen_.progress.back(), 100);

  const double totalLym =
      double(fs::file_size(Destination("abc.lym")) + fs::file_size(Destination("x.y.lym")) +
             fs::file_size(Destination("m8.lym")));
  const double totalWave = double(stereo.size() + mono24.size() + mono8.size());
  EXPECT_EQ(seen_.log,
            (std::vector<std::string>{
                "", "Compression: " + FormatFixed(totalLym / totalWave * 100, 9, 2) + " %",
                "Duration:    # sec", "Speed:       # * real time"}));
  EXPECT_EQ(compressor_.FilesOk(), 3);
}

TEST_F(CompressorTest, ProtocolHoldsResultsAndSummaryAndCanBeAppended) {
  const auto wave = AddWave("a.wav");
  test::WriteFileBytes(Source("bad.wav"), {'n', 'o', 't', ' ', 'w', 'a', 'v', 'e'});
  output_.ProtocolLevel = kProtocolResults;
  EXPECT_FALSE(RunBatch({"a.wav", "bad.wav"}));

  const double ratio = Ratio("a.lym", wave);
  const std::vector<std::string> firstRun = {
      "=== Results ===" + std::string(45, '='),
      std::string(37, ' '),
      ShortDisplayName("a.wav") + FormatFixed(ratio, 6, 2) + "% ####* ",
      ShortDisplayName("bad.wav") + "Wave file not supported",
      "",
      "Compression: " + FormatFixed(ratio, 9, 2) + " %",
      "Duration:    # sec",
      "Speed:       # * real time",
      "",
      "1 files failed."};
  const std::string protocolFile = Destination("Lym_Enco_Proto.txt");
  EXPECT_EQ(MaskedFileLines(protocolFile), firstRun);

  // Replaced without append; with it the new run follows two empty lines.
  EXPECT_FALSE(RunBatch({"a.wav", "bad.wav"}));
  const std::vector<std::string> secondRun = {
      firstRun[0],      firstRun[1], ShortDisplayName("a.wav") + "Already exists",
      firstRun[3],      "",          "1 files already existed.",
      "1 files failed."};
  EXPECT_EQ(MaskedFileLines(protocolFile), secondRun);
  output_.AppendProtocol = true;
  EXPECT_FALSE(RunBatch({"a.wav", "bad.wav"}));
  std::vector<std::string> appended = secondRun;
  appended.insert(appended.end(), {"", ""});
  appended.insert(appended.end(), secondRun.begin(), secondRun.end());
  EXPECT_EQ(MaskedFileLines(protocolFile), appended);
}

TEST_F(CompressorTest, DiagnosticsProtocolShowsTheSettings) {
  AddWave("a.wav", {.samples = 3000});
  settings_ = {.Predictors = 32,
               .OptimizeQuantization = false,
               .Resolution = 2,
               .Validate = true,
               .CheckBoth = false,
               .MidSide = false,
               .OptimizeChoice = true,
               .PreFilter = true,
               .Sensitivity = 1,
               .Verify = true};
  options_.UseSse = true;
  output_.ProtocolLevel = kProtocolDiagnostics;
  RunBatch({"a.wav"});

  EXPECT_EQ(Item("Predictors:", "32"), "  Predictors:                                32");
  const std::vector<std::string> head = {"=== Diagnostics ===" + std::string(41, '='),
                                         "",
                                         "Linear Predictor",
                                         Item("Predictors:", "32"),
                                         Item("Optimize quantization:", "Nein"),
                                         Item("Apply window:", "Ja"),
                                         "",
                                         "Frames",
                                         "",
                                         "Channel decorrelation",
                                         Item("Prediction:", "Ja"),
                                         Item("Check both:", "Nein"),
                                         Item("Difference:", "Ja"),
                                         Item("Mid-Side:", "Nein"),
                                         "",
                                         "Frame partition calculator",
                                         Item("Resolution:", "256"),
                                         Item("Validate:", "Ja"),
                                         "",
                                         "Bit coder",
                                         Item("Optimize Choice:", "Ja"),
                                         "",
                                         "PreFilter",
                                         Item("Enable:", "Ja"),
                                         Item("Sensitivity:", "1") + " (0 - 2)",
                                         "",
                                         "Diagnostics",
                                         Item("Verify:", "Ja"),
                                         Item("No output:", "Nein"),
                                         Item("Use MMX:", "Ja"),
                                         Item("Use SSE:", "Ja"),
                                         "",
                                         "",
                                         "=== Results ===" + std::string(45, '='),
                                         std::string(37, ' ')};
  const std::vector<std::string> lines = MaskedFileLines(Destination("Lym_Enco_Proto.txt"));
  ASSERT_GT(lines.size(), head.size());
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + long(head.size())), head);
  EXPECT_EQ(lines[head.size()], ShortDisplayName("a.wav") + seen_.texts.at(0));
}

TEST_F(CompressorTest, NoOutputModeMeasuresWithoutTouchingAnyFile) {
  const auto wave = AddWave("a.wav", {.listBytes = 20, .trailerBytes = 10});
  const std::string reference = folder_ / "reference.lym";
  ASSERT_EQ(test::EncodeWaveFile(Source("a.wav"), reference, settings_), 0);
  test::WriteFileBytes(Destination("a.lym"), {1, 2, 3});
  options_.NoOutput = true;

  EXPECT_TRUE(RunBatch({"a.wav"}));  // the existing destination is not even looked at
  EXPECT_EQ(seen_.reports.at(0).CompressedBytes, int64_t(fs::file_size(reference)));
  EXPECT_EQ(
      seen_.texts.at(0),
      FormatFixed(double(fs::file_size(reference)) / double(wave.size()) * 100, 6, 2) + "% ####* ");
  EXPECT_EQ(DestinationEntries(), std::set<std::string>{"a.lym"});
  EXPECT_EQ(test::ReadFileBytes(Destination("a.lym")), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(CompressorTest, ExistingDestinationIsKeptOrReplaced) {
  const auto wave = AddWave("a.wav");
  test::WriteFileBytes(Destination("a.lym"), {9, 8, 7});
  EXPECT_FALSE(RunBatch({"a.wav"}));
  EXPECT_EQ(seen_.texts, std::vector<std::string>{"Already exists"});
  EXPECT_EQ(test::ReadFileBytes(Destination("a.lym")), (std::vector<uint8_t>{9, 8, 7}));
  EXPECT_EQ(compressor_.AlreadyExisting(), 1);
  EXPECT_EQ(seen_.log, (std::vector<std::string>{"", "1 files already existed."}));

  output_.Overwrite = true;
  EXPECT_TRUE(RunBatch({"a.wav"}));
  ExpectRoundTrip("a.lym", wave);
  EXPECT_EQ(DestinationEntries(), std::set<std::string>{"a.lym"});
}

TEST_F(CompressorTest, FailingJobWithOverwriteKeepsTheOldFile) {
#ifdef _WIN32
  // The job opens its source sharing only reading, so Windows lets nobody shorten it meanwhile.
  GTEST_SKIP() << "the source cannot be shortened while the job reads it";
#endif
  AddWave("long.wav", {.channels = 1, .samples = 200000});
  test::WriteFileBytes(Source("bad.wav"), {0, 1, 2});
  test::WriteFileBytes(Destination("long.lym"), {1, 1});
  test::WriteFileBytes(Destination("bad.lym"), {2, 2});
  output_.Overwrite = true;
  // The source loses its samples while it is being compressed, after the output was begun.
  onProgress_ = [this] { fs::resize_file(Source("long.wav"), 100); };

  EXPECT_FALSE(RunBatch({"long.wav", "bad.wav"}));
  EXPECT_EQ(seen_.texts,
            (std::vector<std::string>{"Error reading source", "Wave file not supported"}));
  EXPECT_EQ(test::ReadFileBytes(Destination("long.lym")), (std::vector<uint8_t>{1, 1}));
  EXPECT_EQ(test::ReadFileBytes(Destination("bad.lym")), (std::vector<uint8_t>{2, 2}));
  EXPECT_EQ(DestinationEntries(), (std::set<std::string>{"long.lym", "bad.lym"}));
  EXPECT_EQ(seen_.log, (std::vector<std::string>{"", "2 files failed."}));
}

TEST_F(CompressorTest, OutputThatCannotReplaceTheDestinationIsAWriteError) {
  AddWave("a.wav");
  fs::create_directory(Destination("a.lym"));  // not a file, so it does not "already exist"
  EXPECT_FALSE(RunBatch({"a.wav"}));
  EXPECT_EQ(seen_.texts, std::vector<std::string>{"Error writing destination"});
  EXPECT_EQ(DestinationEntries(), std::set<std::string>{"a.lym"});
  EXPECT_TRUE(fs::is_directory(Destination("a.lym")));
}

TEST_F(CompressorTest, CancelEndsTheBatchWithoutCountingTheFile) {
  AddWave("short.wav", {.samples = 2000});
  AddWave("long.wav", {.bits = 8, .channels = 1, .samples = 100000});
  output_.ProtocolLevel = kProtocolResults;
  cancel_ = true;

  // Files shorter than one progress interval are never asked about.
  EXPECT_FALSE(RunBatch({"short.wav", "long.wav", "short.wav"}));
  EXPECT_EQ(cancelQueries_, 1);
  EXPECT_EQ(compressor_.FilesDone(), 1);
  EXPECT_EQ(seen_.texts.back(), "Canceled");
  EXPECT_EQ(seen_.reports.back().Index, 1);
  EXPECT_EQ(DestinationEntries(), (std::set<std::string>{"short.lym", "Lym_Enco_Proto.txt"}));
  const std::vector<std::string> protocol = MaskedFileLines(Destination("Lym_Enco_Proto.txt"));
  ASSERT_GE(protocol.size(), 4u);
  EXPECT_EQ(protocol[2].substr(0, 36), ShortDisplayName("short.wav"));
  EXPECT_EQ(protocol[3], "");  // the summary follows: no line for the canceled file

  // Canceled at the first query: no file done, so neither summary nor protocol.
  fs::remove(Destination("Lym_Enco_Proto.txt"));
  EXPECT_FALSE(RunBatch({"long.wav", "short.wav"}));
  EXPECT_EQ(compressor_.FilesDone(), 0);
  EXPECT_TRUE(seen_.log.empty());
  EXPECT_EQ(DestinationEntries(), std::set<std::string>{"short.lym"});
}

TEST_F(CompressorTest, SingleEntryTakesTheOutputName) {
  const auto wave = AddWave("abc.wav");
  pars_.OutputName = "chosen.name";
  EXPECT_TRUE(RunBatch({"abc.wav"}));
  EXPECT_EQ(DestinationEntries(), std::set<std::string>{"chosen.name"});
  ExpectRoundTrip("chosen.name", wave);

  AddWave("def.wav", {.samples = 500});  // more entries: each gets its own name
  EXPECT_TRUE(RunBatch({"abc.wav", "def.wav"}));
  EXPECT_EQ(DestinationEntries(), (std::set<std::string>{"chosen.name", "abc.lym", "def.lym"}));
}

TEST_F(CompressorTest, UnusableSourcesAndDestinationsFail) {
  test::WriteFileBytes(Source("text.wav"), std::vector<uint8_t>(200, 'x'));
  AddWave("empty.wav", {.samples = 0, .listBytes = 10});
  AddWave("slow.wav", {.rate = 4000});  // a WAVE file, but below the encoder's rates
  std::vector<uint8_t> floats = test::MakeWaveFile({});
  floats[20] = 3;  // format tag: floating-point samples
  test::WriteFileBytes(Source("float.wav"), floats);
  EXPECT_FALSE(RunBatch({"text.wav", "missing.wav", "empty.wav", "slow.wav", "float.wav"}));
  EXPECT_EQ(seen_.texts,
            (std::vector<std::string>{"Wave file not supported", "Error reading source",
                                      "Wave file not supported", "Audio format not supported",
                                      "Audio format not supported"}));
  EXPECT_EQ(compressor_.Failed(), 5);
  EXPECT_TRUE(DestinationEntries().empty());
  EXPECT_EQ(seen_.log, (std::vector<std::string>{"", "5 files failed."}));

  // A missing destination folder: neither the output nor the protocol can be written, whether
  // the output is begun with the WAVE metadata or with the first samples.
  AddWave("a.wav");
  pars_.DestinationFolder = folder_ / "no/such/folder";
  output_.ProtocolLevel = kProtocolResults;
  for (bool saveMeta : {true, false}) {
    output_.SaveWaveMeta = saveMeta;
    EXPECT_FALSE(RunBatch({"a.wav"}));
    EXPECT_EQ(seen_.texts, std::vector<std::string>{"Error writing destination"});
    EXPECT_EQ(seen_.log.back(), "Error writing protocol file " +
                                    JoinPath(pars_.DestinationFolder, "Lym_Enco_Proto.txt"));
  }
}

TEST_F(CompressorTest, WaveMetadataUpToOneMebibyteIsStored) {
  // Header 52 + LIST bytes, trailer 8 + chunk bytes, plus the data's pad byte for odd sizes.
  const test::WaveSpec atLimit{
      .bits = 8, .channels = 1, .samples = 6000, .listBytes = 524288, .trailerBytes = 524228};
  test::WaveSpec overLimit = atLimit;
  overLimit.samples = 6001;
  const auto fits = AddWave("fits.wav", atLimit);
  const auto big = AddWave("big.wav", overLimit);
  ASSERT_EQ(fits.size() - 6000, 1048576u);
  ASSERT_EQ(big.size() - 6001, 1048577u);

  EXPECT_TRUE(RunBatch({"fits.wav", "big.wav"}));
  ExpectRoundTrip("fits.lym", fits);
  EXPECT_EQ(seen_.reports.at(1).Code, kCompressMetaTooBig);
  EXPECT_EQ(seen_.texts.at(1),
            FormatFixed(Ratio("big.lym", big), 6, 2) + "% ####* Meta data too big");
  EXPECT_EQ(compressor_.Warnings(), 1);
  EXPECT_EQ(seen_.log.back(), "1 files generated warnings.");

  // Stored without its metadata, the file decodes to a generated header and the same samples.
  const std::string decoded = folder_ / "big-decoded.wav";
  ASSERT_EQ(test::DecodeToWaveFile(Destination("big.lym"), decoded), 0);
  const std::vector<uint8_t> bytes = test::ReadFileBytes(decoded);
  ASSERT_EQ(bytes.size(), size_t(kWaveHeaderBytes) + 6001);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + kWaveHeaderBytes, bytes.end()),
            test::MakePcmBytes(overLimit));
}

}  // namespace
}  // namespace lym

#include "lym/Compressor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "TestFiles.h"
#include "container/lymStreamEncoder.h"
#include "files/WaveFile.h"
#include "foundation/ByteOrder.h"
#include "jobs/BatchCommon.h"
#include "jobs/TextData.h"
#include "lym/Decompressor.h"

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

  // What the decompression batch made of a compressed file in the destination folder.
  struct TDecompressed {
    bool allWell = false;  // what Run returned, and so the program's exit status
    uint8_t code = 0;
    std::string text;
    std::vector<uint8_t> wave;
  };
  TDecompressed DecompressBack(const std::string& lymName) {
    const std::string back = folder_ / "back";
    fs::create_directories(back);
    TDecompressorOptions options;
    options.Overwrite = true;
    TDecompressor decompressor(options);
    TDecompressed result;
    decompressor.OnFileResult = [&](const TDecompFileReport& report, const std::string& text) {
      result.code = report.Code;
      result.text = text;
    };
    TDecompressorFilePars pars;
    pars.SourceFolder = destination_;
    pars.DestinationFolder = back;
    pars.OutputName = "back.wav";
    result.allWell = decompressor.Run(pars, {lymName});
    result.wave = test::ReadFileBytes(back + "/back.wav");
    return result;
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

// spec's file with an extensible format chunk: PCM with the given valid bits and channel mask.
std::vector<uint8_t> ExtensibleWave(const test::WaveSpec& spec, uint16_t validBits, uint32_t mask) {
  std::vector<uint8_t> file = test::MakeWaveFile(spec);
  constexpr uint8_t kPcmGuid[16] = {1,    0, 0, 0,    0, 0,    0x10, 0,
                                    0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  std::vector<uint8_t> extension(24);
  StoreLE(extension.data(), 22, 2);
  StoreLE(extension.data() + 2, validBits, 2);
  StoreLE32(extension.data() + 4, mask);
  std::copy(std::begin(kPcmGuid), std::end(kPcmGuid), extension.begin() + 8);
  file.insert(file.begin() + 36, extension.begin(), extension.end());
  StoreLE32(file.data() + 4, LoadLE32(file.data() + 4) + 24);
  StoreLE32(file.data() + 16, 40);
  StoreLE(file.data() + 20, 0xFFFE, 2);
  return file;
}

// What tools write when their output cannot be rewound, or their own idea of a WAVE file: each
// is compressed with a warning on its line, still counts as compressed, and comes back exactly.
TEST_F(CompressorTest, FilesOfCommonToolsCompressWithAWarningAndComeBackExactly) {
  // As sox writes to a pipe: sizes it could not fill in, and a last frame it did not finish.
  std::vector<uint8_t> pipe = test::MakeWaveFile({.samples = 3000});
  StoreLE32(pipe.data() + 4, 0x7FFFF024);
  StoreLE32(pipe.data() + 40, 0x7FFFF000);
  pipe.insert(pipe.end(), {1, 2, 3});
  test::WriteFileBytes(Source("pipe.wav"), pipe);
  std::vector<uint8_t> unknown = test::MakeWaveFile({.bits = 24, .channels = 1, .samples = 2500});
  StoreLE32(unknown.data() + 40, 0xFFFFFFFF);
  test::WriteFileBytes(Source("unknown.wav"), unknown);
  const auto left20 =
      ExtensibleWave({.bits = 24, .channels = 1, .samples = 2000, .seed = 4}, 20, 1);
  test::WriteFileBytes(Source("left20.wav"), left20);
  const auto plain = AddWave("plain.wav", {.samples = 1000});
  // Too much metadata to store, and a warning of its own.
  std::vector<uint8_t> big =
      test::MakeWaveFile({.samples = 1000, .listBytes = 600000, .trailerBytes = 600000});
  StoreLE32(big.data() + 4, 0);
  test::WriteFileBytes(Source("big.wav"), big);

  EXPECT_TRUE(RunBatch({"pipe.wav", "unknown.wav", "left20.wav", "plain.wav", "big.wav"}));
  const std::vector<std::string> warnings = {
      "RIFF size ignored; Data size past end", "Data size unknown",
      "Valid bits below sample size; Mono channel mask ignored", "",
      "Meta data too big; RIFF size ignored"};
  const std::vector<std::vector<uint8_t>> sources = {pipe, unknown, left20, plain, big};
  const std::vector<std::string> names = {"pipe.lym", "unknown.lym", "left20.lym", "plain.lym",
                                          "big.lym"};
  ASSERT_EQ(seen_.texts.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(seen_.texts[i],
              FormatFixed(Ratio(names[i], sources[i]), 6, 2) + "% ####* " + warnings[i]);
    EXPECT_EQ(seen_.reports[i].Warnings, i == 4 ? "RIFF size ignored" : warnings[i]);
  }
  EXPECT_EQ(compressor_.FilesOk(), 5);
  EXPECT_EQ(compressor_.Warnings(), 4);
  EXPECT_EQ(seen_.log.back(), "4 files generated warnings.");

  for (size_t i = 0; i < 4; ++i) {
    const TDecompressed back = DecompressBack(names[i]);
    EXPECT_TRUE(back.allWell) << names[i];
    EXPECT_EQ(back.code, kDecompOk) << names[i];
    EXPECT_EQ(back.wave, sources[i]) << names[i];
  }
}

// A stream whose stored WAVE header and trailer another program chose, through the encoder.
void EncodeWithStoredHeader(const test::WaveSpec& spec, const std::vector<uint8_t>& meta,
                            int32_t headerBytes, const std::string& lymPath) {
  const std::vector<uint8_t> pcm = test::MakePcmBytes(spec);
  const TadcAudioFormat format{0, spec.rate, spec.bits, spec.channels,
                               spec.bits / 8 * spec.channels};
  const TadcEncoderOptions options;
  TSeekableStreamEncoder encoder(&format, &options, lymPath.c_str(), spec.samples);
  encoder.SetParameters(DefaultEncoderSettings());
  const TadcWaveMetaInfo info{headerBytes, int32_t(meta.size()) - headerBytes};
  EXPECT_EQ(encoder.WriteWaveMetaData(&info, meta.data()), kEncodeOk);
  EXPECT_EQ(encoder.EncodeSamples(pcm.data(), int32_t(spec.samples)), kEncodeOk);
  EXPECT_EQ(encoder.Close(false), kEncodeOk);
}

// A stored header is restored only when the file it makes reads back as the stream: otherwise
// the metadata counts as damaged, the output gets a header of its own and no trailer, and the
// file does not end well.
TEST_F(CompressorTest, StoredHeadersThatDoNotDescribeTheStreamAreNotRestored) {
  const test::WaveSpec spec{.samples = 3000};
  const std::vector<uint8_t> pcm = test::MakePcmBytes(spec);
  auto headerOf = [](const test::WaveSpec& other) {
    const std::vector<uint8_t> file = test::MakeWaveFile(other);
    return std::vector<uint8_t>(file.begin(), file.begin() + kWaveHeaderBytes);
  };
  const std::vector<uint8_t> trailer = {'i', 'd', '3', ' ', 2, 0, 0, 0, 7, 7};
  std::vector<uint8_t> own = headerOf(spec);
  own.insert(own.end(), trailer.begin(), trailer.end());
  EncodeWithStoredHeader(spec, own, kWaveHeaderBytes, Destination("own.lym"));
  const TDecompressed restored = DecompressBack("own.lym");
  EXPECT_EQ(restored.code, kDecompOk);
  EXPECT_EQ(restored.wave.size(), kWaveHeaderBytes + pcm.size() + trailer.size());

  const std::vector<std::vector<uint8_t>> strangers = {
      headerOf({.channels = 1, .samples = 6000}),  // the same data size in mono
      headerOf({.rate = 48000, .samples = 3000}),
      headerOf({.samples = 2999}),
      std::vector<uint8_t>(kWaveHeaderBytes, 'x'),
  };
  uint8_t generated[kWaveHeaderBytes];
  ASSERT_TRUE(BuildWaveHeader({0, 44100, 16, 2, 4}, int64_t(pcm.size()), generated));
  std::vector<uint8_t> expected = pcm;
  expected.insert(expected.begin(), std::begin(generated), std::end(generated));
  for (size_t i = 0; i < strangers.size(); ++i) {
    std::vector<uint8_t> meta = strangers[i];
    meta.insert(meta.end(), trailer.begin(), trailer.end());
    EncodeWithStoredHeader(spec, meta, kWaveHeaderBytes, Destination("stranger.lym"));
    const TDecompressed back = DecompressBack("stranger.lym");
    EXPECT_FALSE(back.allWell) << i;
    EXPECT_EQ(back.code, kDecompMetaDamaged) << i;
    EXPECT_TRUE(back.text.ends_with("* Meta data damaged")) << back.text;
    EXPECT_EQ(back.wave, expected) << i;
  }
}

}  // namespace
}  // namespace lym

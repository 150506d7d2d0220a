#include "lym/Decompressor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "TestFiles.h"
#include "files/WaveFile.h"
#include "jobs/BatchCommon.h"
#include "jobs/DecompErrorLog.h"
#include "jobs/FileDecompressor.h"
#include "jobs/TextData.h"

namespace lym {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;
using test::WaveSpec;

// What a run told its front end.
struct RunRecord {
  bool result = false;
  std::vector<std::string> starts;
  std::vector<std::string> logLines;
  std::vector<std::string> resultTexts;
  std::vector<TDecompFileReport> reports;
  std::vector<int32_t> progress;
  TDecompCounters counters;
};

// A source and a destination folder with .lym files made from generated WAVE files.
class DecompressorTest : public ::testing::Test {
 protected:
  DecompressorTest() {
    fs::create_directory(Source());
    fs::create_directory(Destination());
  }

  std::string Source() const { return folder_ / "src"; }
  std::string Destination() const { return folder_ / "dst"; }
  std::string SourceFile(const std::string& name) const { return Source() + "/" + name; }
  std::string DestinationFile(const std::string& name) const { return Destination() + "/" + name; }

  // Writes the WAVE file and its .lym file; returns the WAVE file's bytes.
  std::vector<uint8_t> MakeLym(const std::string& name, const WaveSpec& spec,
                               bool storeMeta = true) {
    const std::string wave = folder_ / (FileNamePart(name) + ".orig.wav");
    const std::vector<uint8_t> bytes = test::MakeWaveFile(spec);
    test::WriteFileBytes(wave, bytes);
    EXPECT_EQ(test::EncodeWaveFile(wave, SourceFile(name), DefaultEncoderSettings(), storeMeta), 0);
    return bytes;
  }

  RunRecord Run(const TDecompressorOptions& options, const std::vector<std::string>& files,
                const std::string& outputName = "", const std::function<bool()>& cancel = {}) {
    RunRecord record;
    TDecompressor decompressor(options);
    decompressor.OnFileStart = [&](const std::string& name) { record.starts.push_back(name); };
    decompressor.OnLogLine = [&](const std::string& line) { record.logLines.push_back(line); };
    decompressor.OnProgress = [&](int32_t percent) { record.progress.push_back(percent); };
    decompressor.OnFileResult = [&](const TDecompFileReport& report, const std::string& text) {
      record.reports.push_back(report);
      record.resultTexts.push_back(text);
    };
    decompressor.OnCancelQuery = cancel;
    TDecompressorFilePars pars;
    pars.SourceFolder = Source();
    pars.DestinationFolder = Destination();
    pars.OutputName = outputName;
    record.result = decompressor.Run(pars, files);
    record.counters = decompressor.Counters();
    return record;
  }

  std::vector<std::string> DestinationListing() const {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(Destination()))
      names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Lines of a saved protocol; every line must end in CR LF.
  std::vector<std::string> ProtocolLines(const std::string& fileName) const {
    const std::vector<uint8_t> bytes = test::ReadFileBytes(DestinationFile(fileName));
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
      lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "unterminated last line";
    return lines;
  }

  TempFolder folder_;
};

// A stereo 16-bit tone of 1.5 seconds: several frames, fewer samples than one progress step.
WaveSpec ShortTone() {
  WaveSpec spec;
  spec.samples = 66150;
  return spec;
}

// Overwrites bytes in the middle of the frame data, which destroys one frame.
void DamageFrames(const std::string& path) {
  std::vector<uint8_t> bytes = test::ReadFileBytes(path);
  const size_t at = bytes.size() * 6 / 10;
  for (size_t i = at; i < at + 16; ++i) bytes[i] ^= 0x5A;
  test::WriteFileBytes(path, bytes);
}

// Flips a byte inside the stored WAVE header, whose checksum then fails.
void DamageStoredHeader(const std::string& path) {
  std::vector<uint8_t> lym = test::ReadFileBytes(path);
  const auto riff = std::search(lym.begin(), lym.end(), std::begin("RIFF"), std::end("RIFF") - 1);
  ASSERT_NE(riff, lym.end());
  riff[50] ^= 0xFF;
  test::WriteFileBytes(path, lym);
}

// expected may hold one figure: "<speed>", a report's real-time factor (width 4, no decimals), or
// "<num>", a summary figure (width 9, 2 decimals). Times vary, so only their format is compared.
bool MatchesLine(const std::string& actual, const std::string& expected) {
  const bool speed = expected.find("<speed>") != std::string::npos;
  const size_t at = expected.find(speed ? "<speed>" : "<num>");
  if (at == std::string::npos) return actual == expected;
  const std::string suffix = expected.substr(at + (speed ? 7 : 5));
  if (actual.size() <= at + suffix.size() || actual.compare(0, at, expected, 0, at) != 0 ||
      !actual.ends_with(suffix)) {
    return false;
  }
  const std::string figure = actual.substr(at, actual.size() - at - suffix.size());
  return figure == FormatFixed(std::atof(figure.c_str()), speed ? 4 : 9, speed ? 0 : 2);
}

void ExpectLines(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
  ASSERT_EQ(actual.size(), expected.size()) << ::testing::PrintToString(actual);
  for (size_t i = 0; i < actual.size(); ++i)
    EXPECT_TRUE(MatchesLine(actual[i], expected[i])) << actual[i] << " vs " << expected[i];
}

std::string Name(const std::string& name) { return ShortDisplayName(name); }

const std::string kHint = "  Try disabling \"Restore wave file meta data\" (-wm0).";

TDecompressorOptions WithProtocol() {
  TDecompressorOptions options;
  options.WriteProtocol = true;
  return options;
}

TEST(DecompressorResultText, EveryCodeAndOnlyTheLowSevenBits) {
  const std::vector<std::string> texts = {
      "Unknown error",      "Ok",          "Wave meta data missing", "Meta data damaged",
      "Audio data damaged", "Undecodable", "Error reading source",   "Error writing destination",
      "Incompatible version", "Already exists", "Canceled",         "Unknown error"};
  for (uint8_t code = 0; code < texts.size(); ++code) {
    EXPECT_EQ(TDecompressor::ResultText(code), texts[code]);
    EXPECT_EQ(TDecompressor::ResultText(uint8_t(code | 0x80)), texts[code]);
  }
  EXPECT_EQ(TDecompressor::ResultText(127), "Unknown error");
}

TEST(DecompErrorLog, DamageLinesInOrderAndTheSkippedBlocksTable) {
  TFileDecompResult result;
  result.Code = kDecompAudioDamaged;
  result.Damage.DamageFlags = 1 | 2 | 4 | 8 | 16;
  result.Damage.HeaderSamples = 123456789;  // wider than its column, shown whole
  result.Damage.WrittenSamples = 123450000;
  result.Damage.MutedSamples = 4410;
  result.Damage.DamagedBlocks = 2;
  result.ErrorList.Add({8820, 4410});
  result.ErrorList.Add({123440000, 2379});
  TTextData lines;
  TFileDecompErrorLogCreator(lines).AddEntry("sub/x.lym", result);
  const std::vector<std::string> expected = {
      "--- sub/x.lym ---", "", "Result: Audio data damaged", "",
      "File-ID:         damaged", "StreamInfo:      damaged", "First frame:     damaged",
      "Last frame:      damaged", "Meta data:       damaged",
      "Header  samples: 123456789", "Written samples: 123450000", "Muted   samples:     4410",
      "Cut     samples:     6789", "Damaged blocks:         2", "",
      "Skipped data blocks", "", "No       Sample pos  Count",
      "       1        8820        4410", "       2   123440000        2379", "", ""};
  EXPECT_EQ(lines.Lines(), expected);
}

// The original's PCM without the given range of sample frames, under a generated header.
std::vector<uint8_t> CutWave(const WaveSpec& spec, int64_t from, int64_t count) {
  std::vector<uint8_t> pcm = test::MakePcmBytes(spec);
  const int64_t block = spec.bits / 8 * spec.channels;
  pcm.erase(pcm.begin() + from * block, pcm.begin() + (from + count) * block);
  const TadcAudioFormat format{0, spec.rate, spec.bits, spec.channels, int32_t(block)};
  uint8_t header[kWaveHeaderBytes];
  EXPECT_TRUE(BuildWaveHeader(format, int64_t(pcm.size()), header));
  pcm.insert(pcm.begin(), std::begin(header), std::end(header));
  return pcm;
}

// ShortTone() loses its frame 7 of 5512 samples to DamageFrames.
constexpr int64_t kGapStart = 38584;
constexpr int64_t kGapSamples = 5512;

std::vector<std::string> DamagedToneEntry(const std::string& entry, int64_t written,
                                          int64_t muted) {
  return {"--- " + entry + " ---", "", "Result: Audio data damaged", "",
          "Header  samples:    66150",
          "Written samples: " + IntRight(written, 8),
          "Muted   samples: " + IntRight(muted, 8),
          "Cut     samples: " + IntRight(66150 - written, 8),
          "Damaged blocks:         1", "", "Skipped data blocks", "", "No       Sample pos  Count",
          "       1       38584        5512", "", ""};
}

TEST_F(DecompressorTest, IntactFilesComeBackByteIdentical) {
  WaveSpec mono8;
  mono8.bits = 8;
  mono8.channels = 1;
  mono8.rate = 8000;
  mono8.samples = 30001;
  mono8.listBytes = 37;
  mono8.trailerBytes = 20;
  WaveSpec stereo24 = ShortTone();
  stereo24.bits = 24;
  stereo24.oddBytes = 5;
  WaveSpec longer;  // more than one progress step
  longer.samples = 200000;
  const std::vector<uint8_t> a = MakeLym("mono8.lym", mono8);
  const std::vector<uint8_t> b = MakeLym("stereo24.lym", stereo24);
  const std::vector<uint8_t> c = MakeLym("long.lym", longer);
  int32_t queries = 0;
  const RunRecord r = Run(WithProtocol(), {"mono8.lym", "stereo24.lym", "long.lym"}, "", [&] {
    ++queries;
    return false;
  });

  EXPECT_TRUE(r.result);
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("mono8.wav")), a);
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("stereo24.wav")), b);
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("long.wav")), c);
  EXPECT_EQ(DestinationListing(), (std::vector<std::string>{"Lym_Deco_Proto.txt", "long.wav",
                                                            "mono8.wav", "stereo24.wav"}));
  EXPECT_EQ(r.starts,
            (std::vector<std::string>{Name("mono8.lym"), Name("stereo24.lym"), Name("long.lym")}));
  ExpectLines(r.resultTexts, {"<speed>* Ok", "<speed>* Ok", "<speed>* Ok"});
  ASSERT_EQ(r.reports.size(), 3u);
  EXPECT_EQ(r.reports[2].Index, 2);
  EXPECT_TRUE(r.reports[2].OutputKept);
  EXPECT_NEAR(r.reports[0].AudioMs, 30001 / 8.0, 1e-6);
  // Only the long file reaches a progress step, after 33 frames of 5512 samples.
  EXPECT_EQ(queries, 1);
  EXPECT_EQ(r.progress, (std::vector<int32_t>{100, 100, 91, 100}));
  EXPECT_EQ(r.counters.FilesOk, 3);
  ExpectLines(r.logLines, {"", "Duration:   <num> sec", "Speed:      <num> * real time"});
  ExpectLines(ProtocolLines(kDecompProtocolFileName),
              {Name("mono8.lym") + "<speed>* Ok", Name("stereo24.lym") + "<speed>* Ok",
               Name("long.lym") + "<speed>* Ok", "", "Duration:   <num> sec",
               "Speed:      <num> * real time"});
}

TEST_F(DecompressorTest, StreamWithoutStoredMetaGetsAStandardHeader) {
  WaveSpec spec = ShortTone();
  spec.listBytes = 30;
  spec.trailerBytes = 12;
  MakeLym("a.lym", spec, false);
  const std::vector<uint8_t> standard = CutWave(spec, 0, 0);

  const RunRecord restoring = Run(TDecompressorOptions{}, {"a.lym"});
  EXPECT_TRUE(restoring.result);
  EXPECT_EQ(restoring.counters.FilesOk, 1);
  ExpectLines(restoring.resultTexts, {"<speed>* Wave meta data missing"});
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("a.wav")), standard);

  TDecompressorOptions plain;
  plain.Overwrite = true;
  plain.File.RestoreWaveMeta = false;
  const RunRecord notRestoring = Run(plain, {"a.lym"});
  ExpectLines(notRestoring.resultTexts, {"<speed>* Ok"});
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("a.wav")), standard);
}

TEST_F(DecompressorTest, DamagedAudioIsMutedAndKeptWithAnErrorProtocol) {
  const std::vector<uint8_t> original = MakeLym("d.lym", ShortTone());
  DamageFrames(SourceFile("d.lym"));
  const RunRecord r = Run(WithProtocol(), {"d.lym"});

  EXPECT_FALSE(r.result);
  ExpectLines(r.resultTexts, {"<speed>* Audio data damaged"});
  EXPECT_EQ(r.counters.DamagedDecoded, 1);
  // The restored header still fits: the lost frame became silence of the same length.
  const std::vector<uint8_t> output = test::ReadFileBytes(DestinationFile("d.wav"));
  ASSERT_EQ(output.size(), original.size());
  const size_t gapFrom = size_t(kWaveHeaderBytes + kGapStart * 4);
  const size_t gapTo = gapFrom + size_t(kGapSamples * 4);
  for (size_t i = 0; i < output.size(); ++i) {
    ASSERT_EQ(output[i], i >= gapFrom && i < gapTo ? 0 : original[i]) << "byte " << i;
  }
  ExpectLines(ProtocolLines(kDecompProtocolFileName),
              {Name("d.lym") + "<speed>* Audio data damaged", "", "Duration:   <num> sec",
               "Speed:      <num> * real time", "", "1 damaged files have been decoded."});
  EXPECT_EQ(ProtocolLines(kDecompErrorProtocolFileName),
            DamagedToneEntry("d.lym", 66150, kGapSamples));
}

TEST_F(DecompressorTest, CutAudioNeedsAGeneratedHeader) {
  const WaveSpec spec = ShortTone();
  for (const char* name : {"stored.lym", "restored.lym", "plain.lym"}) {
    MakeLym(name, spec, name[0] != 'p');
    DamageFrames(SourceFile(name));
  }
  TDecompressorOptions options;
  options.File.MuteDamaged = false;
  // A restored header would no longer match the audio.
  const RunRecord restored = Run(options, {"restored.lym"});
  ExpectLines(restored.resultTexts, {"Undecodable"});
  EXPECT_EQ(restored.logLines, (std::vector<std::string>{"", "1 files undecodable.", kHint}));
  EXPECT_TRUE(DestinationListing().empty());

  // Having no header to restore, or not restoring it.
  const RunRecord plain = Run(options, {"plain.lym"});
  options.File.RestoreWaveMeta = false;
  const RunRecord stored = Run(options, {"stored.lym"});
  ExpectLines(plain.resultTexts, {"<speed>* Audio data damaged"});
  ExpectLines(stored.resultTexts, {"<speed>* Audio data damaged"});
  const std::vector<uint8_t> cut = CutWave(spec, kGapStart, kGapSamples);
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("plain.wav")), cut);
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("stored.wav")), cut);
  EXPECT_EQ(ProtocolLines(kDecompErrorProtocolFileName),
            DamagedToneEntry("stored.lym", 66150 - kGapSamples, 0));
}

TEST_F(DecompressorTest, DamagedFilesAreDeletedWhenNotKept) {
  MakeLym("d.lym", ShortTone());
  DamageFrames(SourceFile("d.lym"));
  MakeLym("t.lym", ShortTone());
  std::vector<uint8_t> truncated = test::ReadFileBytes(SourceFile("t.lym"));
  truncated.resize(truncated.size() * 7 / 10);
  test::WriteFileBytes(SourceFile("t.lym"), truncated);
  TDecompressorOptions options = WithProtocol();
  options.File.KeepDamaged = false;
  options.File.RestoreWaveMeta = false;
  const RunRecord r = Run(options, {"d.lym", "t.lym"});

  EXPECT_EQ(r.resultTexts, (std::vector<std::string>{"Audio data damaged", "Audio data damaged"}));
  EXPECT_EQ(DestinationListing(), std::vector<std::string>{"Lym_Deco_Proto.txt"});
  EXPECT_EQ(
      ProtocolLines(kDecompProtocolFileName),
      (std::vector<std::string>{Name("d.lym") + "Audio data damaged",
                                Name("t.lym") + "Audio data damaged", "", "2 files undecodable."}));
}

TEST_F(DecompressorTest, DamagedWaveMetaFallsBackToAStandardHeader) {
  WaveSpec spec = ShortTone();
  spec.listBytes = 30;
  MakeLym("m.lym", spec);
  DamageStoredHeader(SourceFile("m.lym"));
  const RunRecord r = Run(TDecompressorOptions{}, {"m.lym"});

  ExpectLines(r.resultTexts, {"<speed>* Meta data damaged"});
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("m.wav")), CutWave(spec, 0, 0));
  EXPECT_EQ(r.counters.DamagedDecoded, 1);
  const std::vector<std::string> errors = ProtocolLines(kDecompErrorProtocolFileName);
  ASSERT_GE(errors.size(), 3u);
  EXPECT_EQ(errors[2], "Result: Meta data damaged");
}

TEST_F(DecompressorTest, TheMetadataHintOnlyWhereLeavingItOutWouldKeepTheFile) {
  MakeLym("cut.lym", ShortTone());
  DamageFrames(SourceFile("cut.lym"));
  WaveSpec spec = ShortTone();
  spec.listBytes = 30;
  MakeLym("meta.lym", spec);
  DamageStoredHeader(SourceFile("meta.lym"));
  TDecompressorOptions options;
  options.File.MuteDamaged = false;
  options.File.KeepDamaged = false;
  // Without a restored header the cut file is damaged all the same, and not kept either.
  const RunRecord cut = Run(options, {"cut.lym"});
  ExpectLines(cut.resultTexts, {"Undecodable"});
  EXPECT_EQ(cut.logLines, (std::vector<std::string>{"", "1 files undecodable."}));

  // Only its damaged stored header keeps this file from decoding intact.
  const RunRecord both = Run(options, {"meta.lym", "cut.lym"});
  ExpectLines(both.resultTexts, {"Meta data damaged", "Undecodable"});
  EXPECT_EQ(both.counters.Undecodable, 2);
  EXPECT_EQ(both.counters.UndecodableForWaveMeta, 1);
  EXPECT_EQ(both.logLines, (std::vector<std::string>{"", "2 files undecodable.", kHint}));
  options.File.RestoreWaveMeta = false;
  ExpectLines(Run(options, {"meta.lym"}).resultTexts, {"<speed>* Ok"});
}

TEST_F(DecompressorTest, ExistingDestinationIsSkippedWithoutOverwrite) {
  MakeLym("a.lym", ShortTone());
  test::WriteFileBytes(DestinationFile("a.wav"), {1, 2, 3});
  const RunRecord r = Run(WithProtocol(), {"a.lym"});

  EXPECT_FALSE(r.result);
  EXPECT_EQ(r.resultTexts, std::vector<std::string>{"Already exists"});
  EXPECT_TRUE(r.progress.empty());
  EXPECT_EQ(r.counters.FilesDone, 1);
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("a.wav")), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(
      ProtocolLines(kDecompProtocolFileName),
      (std::vector<std::string>{Name("a.lym") + "Already exists", "", "1 files already existed."}));
}

TEST_F(DecompressorTest, OverwriteReplacesADestinationOnlyWithAKeptOutput) {
  const std::vector<uint8_t> original = MakeLym("a.lym", ShortTone());
  test::WriteFileBytes(SourceFile("b.lym"), test::MakeWaveFile(ShortTone()));  // not a stream
  MakeLym("c.lym", ShortTone());
  DamageFrames(SourceFile("c.lym"));
  const std::vector<uint8_t> old = {1, 2, 3};
  for (const char* name : {"a.wav", "b.wav", "c.wav"})
    test::WriteFileBytes(DestinationFile(name), old);
  TDecompressorOptions options;
  options.Overwrite = true;
  options.File.KeepDamaged = false;
  const RunRecord r = Run(options, {"a.lym", "b.lym", "c.lym"});

  ExpectLines(r.resultTexts, {"<speed>* Ok", "Undecodable", "Audio data damaged"});
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("a.wav")), original);
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("b.wav")), old);
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("c.wav")), old);
  EXPECT_EQ(DestinationListing(), (std::vector<std::string>{"a.wav", "b.wav", "c.wav"}));
}

TEST_F(DecompressorTest, OutputThatCannotTakeItsPlaceIsAWriteError) {
  MakeLym("a.lym", ShortTone());
  fs::create_directory(DestinationFile("a.wav"));
  TDecompressorOptions options;
  options.Overwrite = true;
  const RunRecord r = Run(options, {"a.lym"});

  EXPECT_EQ(r.resultTexts, std::vector<std::string>{"Error writing destination"});
  EXPECT_FALSE(r.reports[0].OutputKept);
  EXPECT_EQ(DestinationListing(), std::vector<std::string>{"a.wav"});
  EXPECT_EQ(r.logLines, (std::vector<std::string>{"", "1 files with read/write errors."}));
}

TEST_F(DecompressorTest, TestModeDecodesEverythingAndWritesNoOutput) {
  MakeLym("a.lym", ShortTone());
  MakeLym("d.lym", ShortTone());
  DamageFrames(SourceFile("d.lym"));
  test::WriteFileBytes(DestinationFile("a.wav"), {1, 2, 3});  // not even looked at
  TDecompressorOptions options;
  options.File.WriteOutput = false;
  options.File.MuteDamaged = false;
  options.File.RestoreWaveMeta = false;
  const RunRecord r = Run(options, {"a.lym", "d.lym"});

  ExpectLines(r.resultTexts, {"<speed>* Ok", "<speed>* Audio data damaged"});
  EXPECT_EQ(r.counters.FilesOk, 1);
  EXPECT_EQ(r.counters.DamagedDecoded, 1);
  EXPECT_EQ(test::ReadFileBytes(DestinationFile("a.wav")), (std::vector<uint8_t>{1, 2, 3}));
  // The error protocol is the test's report.
  EXPECT_EQ(DestinationListing(), (std::vector<std::string>{"Lym_Deco_Error.txt", "a.wav"}));
  EXPECT_EQ(ProtocolLines(kDecompErrorProtocolFileName),
            DamagedToneEntry("d.lym", 66150 - kGapSamples, 0));
}

TEST_F(DecompressorTest, CancelAtTheFirstQueryEndsTheRun) {
  WaveSpec longer;
  longer.samples = 200000;
  MakeLym("a.lym", longer);
  MakeLym("b.lym", longer);
  int32_t queries = 0;
  const RunRecord r = Run(WithProtocol(), {"a.lym", "b.lym"}, "", [&] {
    ++queries;
    return true;
  });

  EXPECT_FALSE(r.result);
  EXPECT_EQ(queries, 1);
  EXPECT_EQ(r.starts, std::vector<std::string>{Name("a.lym")});
  EXPECT_EQ(r.resultTexts, std::vector<std::string>{"Canceled"});
  EXPECT_EQ(r.reports[0].Code, kDecompCanceled);
  EXPECT_EQ(r.progress, std::vector<int32_t>{91});
  EXPECT_EQ(r.counters.FilesDone, 0);
  EXPECT_TRUE(r.logLines.empty());
  EXPECT_TRUE(DestinationListing().empty());  // no output, no summary, no protocol
}

TEST_F(DecompressorTest, DestinationNames) {
  const std::string name35 = "0123456789abcdefghijklmnopqrstu.lym";
  const std::string name36 = "0123456789abcdefghijklmnopqrstuv.lym";
  ASSERT_EQ(name35.size(), 35u);
  ASSERT_EQ(name36.size(), 36u);
  fs::create_directory(SourceFile("sub"));
  for (const std::string& name :
       {std::string("abc.lym"), std::string("a.b.lym"), name35, name36, std::string("sub/c.lym")}) {
    MakeLym(name, ShortTone());
  }
  // The output name serves a single entry only.
  const RunRecord r =
      Run(WithProtocol(), {"abc.lym", "a.b.lym", name35, name36, "sub/c.lym"}, "chosen.out");

  EXPECT_EQ(DestinationListing(),
            (std::vector<std::string>{"0123456789abcdefghijklmnopqrstu.wav",
                                      "0123456789abcdefghijklmnopqrstuv.wav", "Lym_Deco_Proto.txt",
                                      "a.b.wav", "abc.wav", "c.wav"}));
  EXPECT_EQ(r.starts[2], name35 + " ");
  EXPECT_EQ(r.starts[3], "0123456789...efghijklmnopqrstuv.lym ");
  const std::vector<std::string> protocol = ProtocolLines(kDecompProtocolFileName);
  ASSERT_GE(protocol.size(), 5u);
  ExpectLines({protocol[2], protocol[3]},
              {name35 + " <speed>* Ok", "0123456789...efghijklmnopqrstuv.lym <speed>* Ok"});

  EXPECT_TRUE(Run(TDecompressorOptions{}, {"abc.lym"}, "chosen.out").result);
  EXPECT_TRUE(fs::exists(DestinationFile("chosen.out")));
}

TEST_F(DecompressorTest, EmptyListRunsNothing) {
  const RunRecord r = Run(WithProtocol(), {});
  EXPECT_TRUE(r.result);
  EXPECT_TRUE(r.starts.empty() && r.logLines.empty() && DestinationListing().empty());
}

TEST_F(DecompressorTest, UnreadableSourcesAndUnwritableDestinations) {
  test::WriteFileBytes(SourceFile("w.lym"), test::MakeWaveFile(ShortTone()));
  // Paths longer than the decoder's own file names (256 characters) are read all the same.
  const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/x.lym";
  fs::create_directories(fs::path(SourceFile(deep)).parent_path());
  MakeLym("x.lym", ShortTone());
  fs::copy_file(SourceFile("x.lym"), SourceFile(deep));
  const RunRecord r = Run(WithProtocol(), {"missing.lym", "w.lym", deep});
  ASSERT_EQ(r.resultTexts.size(), 3u);
  EXPECT_EQ(r.resultTexts[0], "Error reading source");
  EXPECT_EQ(r.resultTexts[1], "Undecodable");
  EXPECT_NE(r.resultTexts[2].find("Ok"), std::string::npos);
  EXPECT_EQ(DestinationListing(), (std::vector<std::string>{"Lym_Deco_Proto.txt", "x.wav"}));
  // Leaving out metadata would not make a WAVE file decodable: no hint.
  ASSERT_GE(r.logLines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(r.logLines.end() - 3, r.logLines.end()),
            (std::vector<std::string>{"", "1 files undecodable.",
                                      "1 files with read/write errors."}));

  fs::remove_all(Destination());
  const RunRecord unwritable = Run(WithProtocol(), {"x.lym"});
  EXPECT_EQ(unwritable.resultTexts, std::vector<std::string>{"Error writing destination"});
  EXPECT_EQ(unwritable.logLines,
            (std::vector<std::string>{"", "1 files with read/write errors.",
                                      "Error saving log data to File: " +
                                          JoinPath(Destination(), kDecompProtocolFileName)}));
}

TEST_F(DecompressorTest, ProtocolAppendsWhileTheErrorProtocolIsReplaced) {
  MakeLym("d.lym", ShortTone());
  DamageFrames(SourceFile("d.lym"));
  TDecompressorOptions options = WithProtocol();
  options.Overwrite = true;
  options.AppendProtocol = true;
  const std::vector<std::string> once = {
      Name("d.lym") + "<speed>* Audio data damaged", "", "Duration:   <num> sec",
      "Speed:      <num> * real time", "", "1 damaged files have been decoded."};
  Run(options, {"d.lym"});
  Run(options, {"d.lym"});

  std::vector<std::string> twice = once;
  twice.insert(twice.end(), {"", ""});
  twice.insert(twice.end(), once.begin(), once.end());
  ExpectLines(ProtocolLines(kDecompProtocolFileName), twice);
  EXPECT_EQ(ProtocolLines(kDecompErrorProtocolFileName),
            DamagedToneEntry("d.lym", 66150, kGapSamples));
  options.AppendProtocol = false;
  Run(options, {"d.lym"});
  ExpectLines(ProtocolLines(kDecompProtocolFileName), once);
}

}  // namespace
}  // namespace lym

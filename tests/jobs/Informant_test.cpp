#include "lym/Informant.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "codec/BitStream.h"
#include "container/Crc24.h"
#include "container/lymStream.h"
#include "container/APEv2Tag.h"
#include "foundation/ByteOrder.h"
#include "jobs/BatchCommon.h"
#include "jobs/FileInformant.h"

namespace lym {
namespace {

using Lines = std::vector<std::string>;

// ---- Making and patching .lym files -------------------------------------------------------------

// 44100 Hz, 16 bits, stereo; long enough for a seek table (8 frames of 5512 samples per point).
test::WaveSpec NormalWave() {
  test::WaveSpec spec;
  spec.samples = 50000;
  spec.listBytes = 30;
  spec.trailerBytes = 10;
  return spec;
}

std::string MakeLym(const test::TempFolder& folder, const std::string& name,
                    const test::WaveSpec& spec = NormalWave(), bool storeMeta = true,
                    const TEncoderSettings& settings = DefaultEncoderSettings()) {
  const std::string wave = folder / (name + ".wav");
  test::WriteFileBytes(wave, test::MakeWaveFile(spec));
  const std::string lym = folder / name;
  EXPECT_EQ(test::EncodeWaveFile(wave, lym, settings, storeMeta), 0);
  return lym;
}

// Offset of the payload of the first metadata object of type, or of the first frame for type 0.
size_t ObjectPayload(const std::vector<uint8_t>& bytes, int wanted) {
  size_t at = 4;
  for (;;) {
    int type = 0;
    int32_t size = 0;
    UnpackObjectHeader(LoadLE32(&bytes.at(at)), type, size);
    at += 4;
    if (type == wanted || type == kObjectEnd) return at;
    at += size_t(size);
  }
}

void SetEncoderInfo(const std::string& path, int32_t version, int preset, int evaluation) {
  std::vector<uint8_t> bytes = test::ReadFileBytes(path);
  uint8_t* payload = &bytes[ObjectPayload(bytes, kObjectEncoderInfo)];
  StoreLE(payload, uint32_t(version), 3);
  payload[3] = uint8_t(preset | evaluation << 4);
  StoreCrc24(payload + 4, Crc24(payload, 4));
  test::WriteFileBytes(path, bytes);
}

void SetBitsPerSample(const std::string& path, int32_t bits) {
  std::vector<uint8_t> bytes = test::ReadFileBytes(path);
  uint8_t* payload = &bytes[ObjectPayload(bytes, kObjectStreamInfo)];
  TBitInStream reader;
  reader.InitReader(payload, kStreamInfoPayloadBytes);
  TadcStreamInfo info;
  ASSERT_TRUE(ReadStreamInfoObject(reader, info));
  info.Format.BitsPerSample = bits;
  uint8_t written[16] = {};
  TBitOutStream writer;
  writer.InitWriter(written, sizeof written);
  ASSERT_TRUE(WriteStreamInfoObject(writer, info));
  ASSERT_EQ(writer.Finish(), kStreamInfoPayloadBytes);
  std::copy(written, written + kStreamInfoPayloadBytes, payload);
  test::WriteFileBytes(path, bytes);
}

void Append(const std::string& path, const std::string& tail) {
  std::vector<uint8_t> bytes = test::ReadFileBytes(path);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  test::WriteFileBytes(path, bytes);
}

// ---- Expected texts -----------------------------------------------------------------------------

std::string Printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Detail(const std::string& label, const std::string& value) {
  return "  " + label + std::string(25 - label.size(), ' ') + value;
}

Lines InformLines(uint8_t mode, const std::string& path, uint8_t* code = nullptr) {
  TDiagProtocol protocol;
  TFileInformant informant(mode);
  const uint8_t result = informant.Inform(path, protocol);
  if (code != nullptr) *code = result;
  return protocol.Lines();
}

// The line of the detailed block that begins with label.
std::string DetailLine(const Lines& lines, const std::string& label) {
  for (const std::string& line : lines) {
    if (line.rfind("  " + label, 0) == 0) return line;
  }
  return "(no line " + label + ")";
}

struct RunResult {
  bool ok = false;
  Lines lines;
  std::vector<TInformFileReport> reports;
};

RunResult RunBatch(TInformant& informant, const std::string& folder, const Lines& files) {
  RunResult result;
  informant.OnLogLine = [&](const std::string& text) { result.lines.push_back(text); };
  informant.OnFileResult = [&](const TInformFileReport& report, const std::string& text) {
    EXPECT_EQ(text, "");
    result.reports.push_back(report);
  };
  result.ok = informant.Run({folder, "", 0}, files);
  return result;
}

// ---- One file -----------------------------------------------------------------------------------

TEST(FileInformant, DetailedBlockOfAnIntactFile) {
  test::TempFolder folder;
  const std::string path = MakeLym(folder, "tones.lym");
  const std::vector<uint8_t> bytes = test::ReadFileBytes(path);
  const double fileBytes = double(bytes.size());
  const double headerBytes = double(ObjectPayload(bytes, kObjectEnd));
  const test::WaveSpec spec = NormalWave();
  const double waveMeta = double(test::MakeWaveFile(spec).size()) - double(spec.samples) * 4;
  const uint32_t seekWord = LoadLE32(&bytes[ObjectPayload(bytes, kObjectSeekTable)]);
  ASSERT_EQ((seekWord >> 21) + 1, 8u);  // seek points every 8 frames of 5512 samples: 999.8 ms

  uint8_t code = 99;
  const Lines lines = InformLines(kInformDetailed, path, &code);
  EXPECT_EQ(code, kInformOk);
  const Lines expected = {
      "=== tones.lym " + std::string(49, '='),
      "",
      Detail("File size:", Printed("%10.2f MB", fileBytes / 1048576)),
      Detail("Header size:", Printed("%10.2f KB", headerBytes / 1024)),
      Detail("Compression:",
             Printed("%10.2f %%", fileBytes / (double(spec.samples) * 4 + waveMeta) * 100)),
      Detail("Samples per channel:", "     50000"),
      Detail("File duration:", "      1.00 sec"),  // 50000 / 44100 s, rounded to seconds
      Detail("Frame duration:", "       125 ms"),
      Detail("Seek point interval:", "      1000 ms"),
      Detail("Audio format:", "PCM, 44100 Hz, 16 Bits, 2 Channels"),
      Detail("Encoder:", "V 1.0.1, Normal + Standard"),
      Detail("Wave file meta data:", "Header 82, Footer 18 Bytes"),
      Detail("APEv2-Tag:", "No"),
      Detail("Status:", "Ok")};
  EXPECT_EQ(lines, expected);
}

TEST(FileInformant, WithoutWaveMetadataTheRatioCountsAPlainHeader) {
  test::TempFolder folder;
  test::WaveSpec spec = NormalWave();
  spec.samples = 3000;  // too short for a seek point
  const std::string path = MakeLym(folder, "bare.lym", spec, false);
  const double fileBytes = double(test::ReadFileBytes(path).size());
  const Lines lines = InformLines(kInformDetailed, path);
  EXPECT_EQ(DetailLine(lines, "Compression:"),
            Detail("Compression:", Printed("%10.2f %%", fileBytes / (3000.0 * 4 + 44) * 100)));
  EXPECT_EQ(DetailLine(lines, "Wave file meta data:"),
            Detail("Wave file meta data:", "Not available"));
  EXPECT_EQ(DetailLine(lines, "Seek point interval:"),
            Detail("Seek point interval:", "Not available"));
  EXPECT_EQ(lines.back(), Detail("Status:", "Ok"));
  EXPECT_EQ(InformLines(kInformWaveMeta, path),
            Lines{ShortDisplayName("bare.lym") + "Not available"});
}

TEST(FileInformant, EncoderAndWaveMetaLines) {
  test::TempFolder folder;
  const std::string path = MakeLym(folder, "x.lym", NormalWave(), true, PresetSettings(2, 1));
  const std::string name = "x.lym" + std::string(30, ' ') + " ";
  EXPECT_EQ(InformLines(kInformWaveMeta, path), Lines{name + "Header 82, Footer 18 Bytes"});
  EXPECT_EQ(InformLines(kInformEncoder, path), Lines{name + "V 1.0.1, Normal + Extra"});
  // Up to version 1.0.0 the evaluation level was not stored.
  SetEncoderInfo(path, 0x010000, 4, 1);
  EXPECT_EQ(InformLines(kInformEncoder, path), Lines{name + "V 1.0.0, Extra + Unknown"});
  SetEncoderInfo(path, 0x020305, 9, 3);
  EXPECT_EQ(InformLines(kInformEncoder, path), Lines{name + "V 2.3.5, Unknown + Unknown"});
}

TEST(FileInformant, TitleLineKeeps55CharactersAndShortensLongerNames) {
  const std::string name55 = std::string(51, 'a') + ".lym";
  const std::string name56 = "0123456789" + std::string(38, 'b') + "tail.lym";
  const Lines lines55 = InformLines(kInformDetailed, "/no/such/dir/" + name55);
  EXPECT_EQ(lines55.front(), "=== " + name55 + " ===");
  const Lines lines56 = InformLines(kInformDetailed, "/no/such/dir/" + name56);
  EXPECT_EQ(lines56.front(), "=== 0123456789..." + name56.substr(14) + " ===");
  EXPECT_EQ(lines56.front().size(), 63u);
  // Names beyond ASCII: the rule ends in the same column.
  const std::string utf8Name = "Gr\u00fc\u00dfe.lym";  // 9 characters
  EXPECT_EQ(InformLines(kInformDetailed, "/no/such/dir/" + utf8Name).front(),
            "=== " + utf8Name + " " + std::string(49, '='));
}

TEST(FileInformant, MissingFileInEveryMode) {
  const std::string path = "/no/such/dir/gone.lym";
  uint8_t code = 0;
  // The label width of the detailed block was never set: "Status:" is padded to 35.
  EXPECT_EQ(InformLines(kInformDetailed, path, &code),
            (Lines{"=== gone.lym " + std::string(50, '='), "",
                   "  Status:" + std::string(28, ' ') + "Error reading source"}));
  EXPECT_EQ(code, kInformReadError);
  for (uint8_t mode : {kInformEncoder, kInformWaveMeta}) {
    EXPECT_EQ(InformLines(mode, path),
              Lines{ShortDisplayName("gone.lym") + "Error reading source"});
  }
}

TEST(FileInformant, DamagedIdentifierAndMetadata) {
  test::TempFolder folder;
  const std::string damaged = MakeLym(folder, "damaged.lym");
  std::vector<uint8_t> bytes = test::ReadFileBytes(damaged);
  bytes[0] = 'W';
  test::WriteFileBytes(damaged, bytes);
  uint8_t code = 0;
  const Lines lines = InformLines(kInformDetailed, damaged, &code);
  EXPECT_EQ(code, kInformMetaDamaged);
  EXPECT_EQ(DetailLine(lines, "Encoder:"), Detail("Encoder:", "V 1.0.1, Normal + Standard"));
  EXPECT_EQ(lines.back(), Detail("Status:", "Meta data damaged"));

  // The stream information's object size: the header size cannot be told, the queries fail.
  bytes[5] ^= 0x40;
  test::WriteFileBytes(damaged, bytes);
  const Lines meta = InformLines(kInformDetailed, damaged, &code);
  EXPECT_EQ(code, kInformMetaDamaged);
  EXPECT_EQ(DetailLine(meta, "Header size:"), Detail("Header size:", "Unknown"));
  EXPECT_EQ(DetailLine(meta, "Encoder:"), Detail("Encoder:", "Not available"));
  EXPECT_EQ(DetailLine(meta, "Samples per channel:"), Detail("Samples per channel:", "     50000"));
}

TEST(FileInformant, ApeTagStateAndSize) {
  test::TempFolder folder;
  const std::string path = MakeLym(folder, "tagged.lym");
  const std::string tag = test::MakeApeTag({{"Title", "Song"}, {"Artist", "Band"}});
  Append(path, tag);
  EXPECT_EQ(DetailLine(InformLines(kInformDetailed, path), "APEv2-Tag:"),
            Detail("APEv2-Tag:",
                   "Yes / 2 Items / " + Printed("%.2f", double(tag.size()) / 1024) + " KB"));
  Append(path, test::MakeApeTag({}));  // announces no item: damaged
  uint8_t code = 99;
  EXPECT_EQ(DetailLine(InformLines(kInformDetailed, path, &code), "APEv2-Tag:"),
            Detail("APEv2-Tag:", "Invalid"));
  EXPECT_EQ(code, kInformOk);
}

// ---- The figures behind the report --------------------------------------------------------------

TInformFileFacts InformFacts(const std::string& path) {
  TDiagProtocol protocol;
  TFileInformant informant(kInformDetailed);
  informant.Inform(path, protocol);
  return informant.Facts();
}

// A tag whose first item is binary, its second text with two values.
std::string TagWithBinaryAndText() {
  std::string tag = test::MakeApeTag({{"Cover", std::string("\x89PNG\0", 5)},
                                      {"Artist", std::string("A\0B", 3)}});
  tag[32 + 4] = char(kAPEv2ItemBinary << 1);  // the first item's flags, behind the 32-byte header
  return tag;
}

TEST(FileInformant, FactsHoldTheFiguresOfTheDetailedBlock) {
  test::TempFolder folder;
  const std::string path = MakeLym(folder, "tones.lym");
  Append(path, TagWithBinaryAndText());
  const auto fileBytes = int64_t(test::ReadFileBytes(path).size());
  const TInformFileFacts facts = InformFacts(path);

  EXPECT_EQ(facts.FileBytes, fileBytes);
  EXPECT_EQ(facts.SampleRate, 44100);
  EXPECT_EQ(facts.Channels, 2);
  EXPECT_EQ(facts.BitsPerSample, 16);
  EXPECT_EQ(facts.Samples, 50000);
  EXPECT_DOUBLE_EQ(facts.DurationSeconds.value_or(0), 50000.0 / 44100);  // the report shows 1.00
  // Header 82 and trailer 18 bytes stored beside 50000 frames of 4 bytes.
  EXPECT_DOUBLE_EQ(facts.CompressionRatio.value_or(0), double(fileBytes) / (200000 + 82 + 18));
  EXPECT_EQ(facts.FrameSamples, 5512);
  EXPECT_EQ(facts.SeekPoints, 1);  // frames 0..9, a point every 8 frames
  EXPECT_EQ(facts.EncoderVersion, "1.0.1");
  EXPECT_EQ(facts.PresetName, "Normal");
  EXPECT_EQ(facts.Preset, 2);
  EXPECT_EQ(facts.EvaluationName, "Standard");
  EXPECT_EQ(facts.Evaluation, 0);
  EXPECT_EQ(facts.WaveHeaderBytes, 82);
  EXPECT_EQ(facts.WaveTrailerBytes, 18);
  EXPECT_EQ(facts.TagState, kInformTagPresent);
  ASSERT_EQ(facts.TagItems.size(), 2u);
  EXPECT_EQ(facts.TagItems[0].Key, "Cover");
  EXPECT_EQ(facts.TagItems[0].Type, kInformItemBinary);
  EXPECT_EQ(facts.TagItems[0].Value, std::string("\x89PNG\0", 5));
  EXPECT_EQ(facts.TagItems[1].Key, "Artist");
  EXPECT_EQ(facts.TagItems[1].Type, kInformItemText);
  EXPECT_EQ(facts.TagItems[1].Value, std::string("A\0B", 3));
  EXPECT_TRUE(facts.Damage.empty());
}

TEST(FileInformant, FactsOfEncodersAsTheReportNamesThem) {
  test::TempFolder folder;
  const std::string path = MakeLym(folder, "x.lym");
  SetEncoderInfo(path, 0x010000, 4, 1);  // a version that did not store the evaluation level
  TInformFileFacts facts = InformFacts(path);
  EXPECT_EQ(facts.EncoderVersion, "1.0.0");
  EXPECT_EQ(facts.PresetName, "Extra");
  EXPECT_EQ(facts.Preset, 4);
  EXPECT_EQ(facts.EvaluationName, "Unknown");
  EXPECT_EQ(facts.Evaluation, std::nullopt);
  SetEncoderInfo(path, 0x020305, 9, 3);  // numbers outside the tables are still told
  facts = InformFacts(path);
  EXPECT_EQ(facts.EncoderVersion, "2.3.5");
  EXPECT_EQ(facts.PresetName, "Unknown");
  EXPECT_EQ(facts.Preset, 9);
  EXPECT_EQ(facts.EvaluationName, "Unknown");
  EXPECT_EQ(facts.Evaluation, 3);
}

TEST(FileInformant, FactsOfFailingFilesEndWhereTheReportEnds) {
  test::TempFolder folder;
  const TInformFileFacts missing = InformFacts(folder / "gone.lym");
  EXPECT_EQ(missing.FileBytes, std::nullopt);
  EXPECT_EQ(missing.TagState, std::nullopt);

  test::WriteFileBytes(folder / "text.lym", {'t', 'e', 'x', 't'});
  const TInformFileFacts text = InformFacts(folder / "text.lym");
  EXPECT_EQ(text.FileBytes, 4);
  EXPECT_EQ(text.Samples, std::nullopt);
  EXPECT_EQ(text.TagState, std::nullopt);

  const std::string damaged = MakeLym(folder, "damaged.lym");
  std::vector<uint8_t> bytes = test::ReadFileBytes(damaged);
  bytes[0] = 'W';
  test::WriteFileBytes(damaged, bytes);
  EXPECT_EQ(InformFacts(damaged).Damage, std::vector<std::string>{"identifier"});
  bytes[5] ^= 0x40;  // the stream information's object size: the metadata cannot be followed
  test::WriteFileBytes(damaged, bytes);
  const TInformFileFacts meta = InformFacts(damaged);
  EXPECT_EQ(meta.Damage, (std::vector<std::string>{"identifier", "stream_info", "metadata"}));
  EXPECT_EQ(meta.Samples, 50000);
  EXPECT_EQ(meta.EncoderVersion, std::nullopt);
  EXPECT_EQ(meta.SeekPoints, std::nullopt);
  EXPECT_EQ(meta.TagState, kInformTagNone);
}

// ---- Batches ------------------------------------------------------------------------------------

TEST(Informant, CountsEveryOutcomeAndSavesTheProtocol) {
  test::TempFolder folder;
  MakeLym(folder, "good.lym");
  const std::string damaged = MakeLym(folder, "damaged.lym");
  std::vector<uint8_t> bytes = test::ReadFileBytes(damaged);
  bytes[1] = 'x';
  test::WriteFileBytes(damaged, bytes);
  SetBitsPerSample(MakeLym(folder, "odd.lym"), 12);

  TInformant informant(kInformEncoder, true);
  const RunResult run = RunBatch(
      informant, folder.Path(), {"good.lym", "damaged.lym", "good.lym.wav", "gone.lym", "odd.lym"});
  EXPECT_FALSE(run.ok);
  const std::string encoder = "V 1.0.1, Normal + Standard";
  const Lines expected = {ShortDisplayName("good.lym") + encoder,
                          ShortDisplayName("damaged.lym") + encoder,
                          ShortDisplayName("good.lym.wav") + "Undecodable",
                          ShortDisplayName("gone.lym") + "Error reading source",
                          ShortDisplayName("odd.lym") + "Incompatible version",
                          "",
                          "1 files incompatible.",
                          "1 files damaged.",
                          "1 files undecodable.",
                          "1 files with read/write errors."};
  EXPECT_EQ(run.lines, expected);
  std::vector<int> codes;
  for (const TInformFileReport& report : run.reports) {
    EXPECT_EQ(report.Index, int32_t(codes.size()));
    codes.push_back(report.Code);
  }
  EXPECT_EQ(codes, (std::vector<int>{0, 2, 3, 4, 5}));
  EXPECT_EQ(run.reports[0].Facts.EncoderVersion, "1.0.1");  // the encoder line's figures
  EXPECT_EQ(run.reports[3].Facts.FileBytes, std::nullopt);
  EXPECT_EQ(informant.FilesDone(), 5);
  EXPECT_EQ(informant.FilesOk(), 1);
  std::string saved;
  for (const std::string& line : expected) saved += line + "\r\n";
  const std::vector<uint8_t> file = test::ReadFileBytes(folder / "Lym_Info_Proto.txt");
  EXPECT_EQ(std::string(file.begin(), file.end()), saved);
}

TEST(Informant, DetailedBlocksAreSeparatedAndFailedSavesAreLogged) {
  test::TempFolder folder;
  const std::string missingFolder = folder / "missing";
  TInformant informant(kInformDetailed, true);
  const RunResult run = RunBatch(informant, missingFolder, {"a.lym", "b.lym"});
  const std::string status = "  Status:" + std::string(28, ' ') + "Error reading source";
  const Lines expected = {
      "=== a.lym " + std::string(53, '='),
      "",
      status,
      "",
      "",
      "=== b.lym " + std::string(53, '='),
      "",
      status,
      "",
      "2 files with read/write errors.",
      "Error saving log data to File: " + JoinPath(missingFolder, "Lym_Info_Proto.txt")};
  EXPECT_EQ(run.lines, expected);
  EXPECT_FALSE(run.ok);
}

TEST(Informant, CancelStopsBeforeTheNextFile) {
  test::TempFolder folder;
  MakeLym(folder, "good.lym");
  TInformant informant(kInformEncoder, true);
  int queries = 0;
  informant.OnCancelQuery = [&] { return ++queries == 2; };
  const RunResult run = RunBatch(informant, folder.Path(), {"good.lym", "good.lym", "good.lym"});
  EXPECT_FALSE(run.ok);
  EXPECT_EQ(queries, 2);
  ASSERT_EQ(run.reports.size(), 2u);
  EXPECT_EQ(run.reports[1].Index, 1);
  EXPECT_EQ(run.reports[1].Code, kInformCanceled);
  EXPECT_EQ(informant.FilesDone(), 1);
  EXPECT_EQ(run.lines.size(), 1u);  // no summary for a cancel
  EXPECT_EQ(TInformant::ResultText(7), std::string("Unknown error"));
}

TEST(Informant, EmptyListSucceedsAndKeepsTheOldProtocol) {
  test::TempFolder folder;
  test::WriteFileBytes(folder / "Lym_Info_Proto.txt", {'o', 'l', 'd'});
  TInformant informant(kInformDetailed, true);
  const RunResult run = RunBatch(informant, folder.Path(), {});
  EXPECT_TRUE(run.ok);
  EXPECT_TRUE(run.lines.empty());
  EXPECT_TRUE(run.reports.empty());
  EXPECT_EQ(test::ReadFileBytes(folder / "Lym_Info_Proto.txt").size(), 3u);
}

}  // namespace
}  // namespace lym

// File information: reports on compressed files without decoding their audio (size, ratio, length,
// format, the encoder that made them, stored WAVE metadata, seek points, APEv2 tag) and says
// whether the stream's structure is intact. A TInformant runs a list of files, sends every report
// line to OnLogLine, counts the outcomes and can save the protocol file "Lym_Info_Proto.txt".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lym/BatchEvents.h"

namespace lym {

// Report modes.
inline constexpr uint8_t kInformDetailed = 0;  // a block of labelled lines per file
inline constexpr uint8_t kInformEncoder = 1;   // one line per file with the encoder
inline constexpr uint8_t kInformWaveMeta = 2;  // one line per file with the stored WAVE metadata

// Result codes of one file; a file's code only rises while it is examined. Below
// kInformUndecodable the file is readable.
inline constexpr uint8_t kInformOk = 0;
// Never given: a damaged stream identifier is reported as damaged metadata.
inline constexpr uint8_t kInformStreamIdDamaged = 1;
inline constexpr uint8_t kInformMetaDamaged = 2;
inline constexpr uint8_t kInformUndecodable = 3;
inline constexpr uint8_t kInformReadError = 4;
inline constexpr uint8_t kInformIncompatible = 5;
inline constexpr uint8_t kInformCanceled = 6;

inline constexpr const char* kInformResultTexts[] = {
    "Ok",          "Stream id damaged",    "Meta data damaged",
    "Undecodable", "Error reading source", "Incompatible version",
    "Canceled"};
inline constexpr const char* kInformUnknownResultText = "Unknown error";

inline constexpr const char* kInformProtocolFileName = "Lym_Info_Proto.txt";

// States of a file's APEv2 tag; only a present tag has items.
inline constexpr uint8_t kInformTagPresent = 0;
inline constexpr uint8_t kInformTagNone = 1;
inline constexpr uint8_t kInformTagIncompatible = 2;  // a tag version this program cannot read
inline constexpr uint8_t kInformTagDamaged = 3;
inline constexpr uint8_t kInformTagUnreadable = 4;  // reading it met a read error

// Types of a tag item, as APEv2 stores them.
inline constexpr uint8_t kInformItemText = 0;
inline constexpr uint8_t kInformItemBinary = 1;
inline constexpr uint8_t kInformItemExternal = 2;
inline constexpr uint8_t kInformItemReserved = 3;
// Their names, by type, as reports for people and scripts show them.
inline constexpr const char* kInformItemTypeNames[] = {"text", "binary", "external", "reserved"};

struct TInformTagItem {
  std::string Key;
  uint8_t Type = kInformItemText;
  // The value's bytes as stored: UTF-8 text for a text item, several values separated by zero
  // bytes.
  std::string Value;
};

// The figures that the detailed report shows, as values for front ends that present them their
// own way; the encoder and WAVE metadata modes fill only what their line shows. A figure stays
// unset where the report shows none, "Unknown" or "Not available", and
// every figure after the point where the report of a failing file ends.
struct TInformFileFacts {
  std::optional<int64_t> FileBytes;
  std::optional<int32_t> SampleRate;
  std::optional<int32_t> Channels;
  std::optional<int32_t> BitsPerSample;
  std::optional<int64_t> Samples;  // per channel
  // Exact; the report rounds it to whole seconds.
  std::optional<double> DurationSeconds;
  // The file's size divided by the size of the WAVE file it decodes to (the stored header and
  // trailer, or a plain 44-byte header); the report shows it in percent.
  std::optional<double> CompressionRatio;
  std::optional<int32_t> FrameSamples;  // samples per channel in a frame
  std::optional<int32_t> SeekPoints;    // frame 0 not counted
  std::optional<std::string> EncoderVersion;  // "1.0.1"
  // The names as the report shows them, "Unknown" included; the numbers when the file stores them.
  std::optional<std::string> PresetName;
  std::optional<int32_t> Preset;
  std::optional<std::string> EvaluationName;
  std::optional<int32_t> Evaluation;
  std::optional<int32_t> WaveHeaderBytes;  // the stored WAVE metadata
  std::optional<int32_t> WaveTrailerBytes;
  std::optional<uint8_t> TagState;
  std::vector<TInformTagItem> TagItems;
  // What the stream reader found damaged: "identifier", "stream_info", "metadata", "first_frame"
  // (the first frame found was not frame 0).
  std::vector<std::string> Damage;
};

struct TInformFileReport {
  int32_t Index = 0;  // position of the file in the list
  uint8_t Code = kInformOk;
  TInformFileFacts Facts;  // empty for a canceled file
};

struct TInformantFilePars {
  std::string Folder;  // the list's names are relative to it; the protocol file is saved there
  // Kept so that front ends can fill the record as for the other batches; not read.
  std::string Reserved;
  int32_t ReservedValue = 0;
  // For a one-file list: the file is read from standard input, its name only shown.
  bool StandardInput = false;
};

class TFileInformant;
class TTextData;

// OnFileStart and OnProgress are not raised: a file's report is quick and arrives whole through
// OnLogLine. OnFileResult comes with an empty text, also for a canceled file.
class TInformant : public TBatchEvents<TInformFileReport> {
 public:
  // A mode other than the three above reports in detail.
  TInformant(uint8_t mode, bool writeProtocol);
  ~TInformant();
  TInformant(const TInformant&) = delete;
  TInformant& operator=(const TInformant&) = delete;

  // Reports on every file of the list until the end or a cancel. True when every file was Ok.
  // Never throws for a problem of a file; each ends as its code.
  bool Run(const TInformantFilePars& parameters, const std::vector<std::string>& files);

  static const char* ResultText(int32_t code);

  // The counters of the last run.
  int32_t FilesDone() const { return filesDone_; }
  int32_t FilesOk() const { return filesOk_; }
  int32_t FilesDamaged() const { return filesDamaged_; }          // codes 1 and 2
  int32_t FilesUndecodable() const { return filesUndecodable_; }  // code 3 and unknown codes
  int32_t FilesWithReadErrors() const { return filesWithReadErrors_; }
  int32_t FilesIncompatible() const { return filesIncompatible_; }

 private:
  uint8_t InformFile(const std::string& entry);
  void Count(uint8_t code);
  void WriteSummary();
  void SaveProtocol();
  void LogLine(const std::string& text);

  std::unique_ptr<TFileInformant> fileInformant_;
  std::unique_ptr<TTextData> protocol_;
  bool writeProtocol_;
  TInformantFilePars parameters_;
  TInformFileReport report_;
  int32_t filesDone_ = 0;
  int32_t filesOk_ = 0;
  int32_t filesDamaged_ = 0;
  int32_t filesUndecodable_ = 0;
  int32_t filesWithReadErrors_ = 0;
  int32_t filesIncompatible_ = 0;
};

}  // namespace lym

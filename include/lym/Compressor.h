// The compression batch: turns a list of WAVE files from one folder into .lym files in another,
// or, in no-output mode, only measures how well and how fast they would compress. It reports each
// file through the batch events, counts the outcomes, ends with a summary and can save the
// protocol file "Lym_Enco_Proto.txt" in the destination folder.
//
// A batch never raises for a file's problem: each file ends with one of the result codes below.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lym/BatchEvents.h"
#include "lym/EncoderSettings.h"

namespace lym {

// Result codes of one file. A file's code only rises; below kCompressFailedFrom it succeeded.
inline constexpr uint8_t kCompressOk = 1;
inline constexpr uint8_t kCompressMetaTooBig = 2;  // compressed, but without its WAVE metadata
inline constexpr uint8_t kCompressAudioFormat = 3;
inline constexpr uint8_t kCompressWaveFile = 4;
inline constexpr uint8_t kCompressReadError = 5;
inline constexpr uint8_t kCompressWriteError = 6;
inline constexpr uint8_t kCompressVerifyFailed = 7;
inline constexpr uint8_t kCompressExists = 8;
inline constexpr uint8_t kCompressCanceled = 9;
inline constexpr uint8_t kCompressFailedFrom = 3;


// Values of TEncoderDlgOutputOptions::ProtocolLevel.
inline constexpr uint8_t kProtocolOff = 0;
inline constexpr uint8_t kProtocolResults = 1;
inline constexpr uint8_t kProtocolDiagnostics = 2;  // results and the settings used

// An item of the tag that compression gives the new files: text (UTF-8) or binary.
inline constexpr uint32_t kTagItemText = 0;
inline constexpr uint32_t kTagItemBinary = 1;
struct TTagItem {
  uint32_t Type = kTagItemText;
  std::string Key;
  std::string Value;
};
// Why items cannot make an APEv2 tag (a key, a value, too many or too large); empty when they can.
std::string TagItemsFault(const std::vector<TTagItem>& items);

struct TEncoderDlgOutputOptions {
  // Kept for the option window, which chooses the destination folder with them; the batch
  // takes its folders from TCompressorFilePars.
  int32_t DestinationChoice = 0;  // 0 the source folder, 1 UserFolder
  std::string Unused;
  std::string UserFolder;

  bool Overwrite = false;    // replace existing .lym files
  bool SaveWaveMeta = true;  // store the WAVE header and trailer, for byte-identical restores
  uint8_t ProtocolLevel = kProtocolOff;
  bool AppendProtocol = false;  // add to an existing protocol file instead of replacing it
  // Give each output its source's modification time.
  bool KeepTime = false;
  // Remove each source whose output is in place, verified (this turns TEncoderSettings::Verify
  // on), made without a warning and with the WAVE header and trailer stored; a source that cannot
  // be removed is reported as a failure line.
  bool DeleteInput = false;
  // The APEv2 tag every new file gets behind its last frame; none when empty.
  std::vector<TTagItem> TagItems;
};

struct TCompressOptions {
  bool NoOutput = false;  // measure only: no file is checked, created or deleted
  bool UseMmx = true;     // let the encoder use the vector kernels
  bool UseSse = false;    // shown in the diagnostics only
};

struct TCompressorFilePars {
  std::string SourceFolder;
  std::string DestinationFolder;
  std::string Unused;
  // The destination name of a one-file list; empty: the source name with extension ".lym".
  std::string OutputName;
  int32_t UnusedNumber = 0;
  // Shared by the batches of one run; none: the batch keeps its own.
  TRunOutputs* RunOutputs = nullptr;
  // For a one-file list: the file is read from standard input, its name only shown (it is never
  // deleted); the output goes to standard output once it is complete (no destination is checked).
  bool StandardInput = false;
  bool StandardOutput = false;
};

struct TCompFileReport {
  int32_t Index = 0;  // position in the file list
  uint8_t Code = 0;
  int64_t SourceBytes = 0;
  int64_t CompressedBytes = 0;
  double AudioMs = 0;  // playing time of the file
  double TimeMs = 0;   // time the file took
  // Why the file failed, in the system's words where it gave them; may be empty.
  std::string Reason;
  // What a compressed file's source needed to be accepted, as shown on its line ("; " between
  // warnings); empty for a well-formed file. The file still comes back byte for byte.
  std::string Warnings;
};

class TFileCompressor;
class TStandardInputSpool;

class TCompressor : public TBatchEvents<TCompFileReport> {
 public:
  TCompressor();
  ~TCompressor();
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;

  // The fixed text of a code: empty for kCompressOk (its report shows ratio and speed only),
  // "Unknown error" for codes outside the table.
  static std::string ResultText(int32_t code);

  // Compresses files (names relative to the source folder) one after the other until the list is
  // done or OnCancelQuery answers true. True when every file was compressed (codes 1 and 2).
  bool Run(const TEncoderSettings& settings, const TEncoderDlgOutputOptions& outputOptions,
           const std::vector<std::string>& files, const TCompressorFilePars& pars,
           const TCompressOptions& options);

  // Counters of the last run, for the window's display.
  int32_t FilesDone() const { return filesDone_; }
  int32_t FilesOk() const { return filesOk_; }
  int32_t AlreadyExisting() const { return alreadyExisting_; }
  int32_t Warnings() const { return warnings_; }
  int32_t Failed() const { return failed_; }

 private:
  void ResetTotals();
  std::string DestinationName(const std::string& entry) const;
  // Compresses one file; an exception inside the job fails the file, not the batch.
  uint8_t GuardedProcessFile(const std::string& entry, const std::string& destinationName);
  uint8_t ProcessFile(const std::string& entry, const std::string& destinationName);
  // Sets the report's code and reason when no output may go to destination.
  bool RefuseOutput(const std::string& source, const std::string& destination);
  void EncodeWithProgress(int64_t sampleCount);
  // Whether the file just done lets its source go: compressed, verified, without a warning.
  bool MayDeleteSource() const;
  void DeleteSourceOf(const std::string& entry);
  void Count(uint8_t code);
  void ReportFile(const std::string& entry);
  void LogLine(const std::string& text);
  // A log line that also reaches OnFailureLine.
  void FailureLine(const std::string& text);
  void WriteSummary();
  void SaveProtocol();

  TEncoderSettings settings_;
  TEncoderDlgOutputOptions outputOptions_;
  TCompressOptions options_;
  TCompressorFilePars pars_;
  std::vector<std::string> files_;
  std::vector<std::string> results_;  // the protocol's result lines
  std::unique_ptr<TFileCompressor> fileCompressor_;
  std::unique_ptr<TStandardInputSpool> spool_;  // of the current file
  TRunOutputs ownOutputs_;
  TRunOutputs* outputs_ = &ownOutputs_;
  int32_t displayWidth_ = kDisplayNameWidth;
  TCompFileReport report_;

  int64_t totalSourceBytes_ = 0;
  int64_t totalCompressedBytes_ = 0;
  double totalAudioMs_ = 0;
  double elapsedMs_ = 0;
  int32_t filesDone_ = 0;
  int32_t filesOk_ = 0;
  int32_t alreadyExisting_ = 0;
  int32_t warnings_ = 0;
  int32_t failed_ = 0;
};

}  // namespace lym

// The decompression batch: turns a list of .lym files back into WAVE files, or only tests them,
// and reports every file with a result code, a summary and optional protocol files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lym/BatchEvents.h"

namespace lym {

class TFileDecompressor;
class TStandardInputSpool;
class TTextData;

// Result codes of one file, ordered by severity: a file's code only ever rises. Codes up to
// kDecompAudioDamaged count as success, the others as failure.
inline constexpr uint8_t kDecompOk = 1;
inline constexpr uint8_t kDecompWaveMetaMissing = 2;  // decoded with a standard WAVE header
inline constexpr uint8_t kDecompMetaDamaged = 3;
inline constexpr uint8_t kDecompAudioDamaged = 4;
inline constexpr uint8_t kDecompUndecodable = 5;
inline constexpr uint8_t kDecompReadError = 6;
inline constexpr uint8_t kDecompWriteError = 7;
inline constexpr uint8_t kDecompIncompatible = 8;
inline constexpr uint8_t kDecompAlreadyExists = 9;
inline constexpr uint8_t kDecompCanceled = 10;

inline constexpr bool DecompFailed(uint8_t code) {
  return code >= kDecompUndecodable && code <= kDecompCanceled;
}

// The protocol files, saved in the destination folder.
inline constexpr const char* kDecompProtocolFileName = "Lym_Deco_Proto.txt";
inline constexpr const char* kDecompErrorProtocolFileName = "Lym_Deco_Error.txt";

struct TFileDecompOptions {
  uint32_t ProcessorOptions = 0;  // handed to the stream decoder unchanged
  bool WriteOutput = true;        // false: test mode, nothing is written
  bool KeepDamaged = true;        // keep the output of a damaged file
  bool MuteDamaged = true;        // replace lost audio by silence; false cuts it out
  bool RestoreWaveMeta = true;    // write the stored WAVE header and trailer
  bool KeepTime = false;          // give the output its source's modification time
};

struct TDecompressorOptions {
  bool Overwrite = false;  // replace existing destination files
  bool WriteErrorProtocol = true;
  bool WriteProtocol = false;
  bool AppendProtocol = false;  // append to an existing protocol file
  // Remove each source whose output is in place, restored with its stored WAVE header and trailer,
  // and that decoded with code kDecompOk (every check sum matched); a source that cannot be
  // removed is reported as a failure line.
  bool DeleteInput = false;
  TFileDecompOptions File;
};

struct TDecompressorFilePars {
  std::string SourceFolder;
  std::string DestinationFolder;
  std::string Reserved;  // not read; kept so that callers can fill the record in its known order
  // Used as the destination name when the list holds exactly one file and this is not empty.
  std::string OutputName;
  int32_t ReservedNumber = 0;  // not read
  // Shared by the batches of one run; none: the batch keeps its own.
  TRunOutputs* RunOutputs = nullptr;
  // For a one-file list: the file is read from standard input, its name only shown (it is never
  // deleted); the output goes to standard output as it is decoded (no destination is checked,
  // and what went out cannot be taken back, damaged or not). A restored WAVE header goes out first
  // as usual; a generated one states the stream's length, which cutting lost audio breaks.
  bool StandardInput = false;
  bool StandardOutput = false;
};

struct TDecompFileReport {
  int32_t Index = 0;  // position in the file list
  uint8_t Code = 0;
  bool OutputKept = false;  // in test mode: the file would have been kept
  double AudioMs = 0;
  double TimeMs = 0;
  // Why the file failed, in the system's words where it gave them; may be empty.
  std::string Reason;
};

// Outcome counters of the last Run.
struct TDecompCounters {
  int32_t FilesDone = 0;
  int32_t FilesOk = 0;  // codes 1 and 2
  int32_t AlreadyExisting = 0;
  int32_t DamagedDecoded = 0;  // damaged, output kept
  int32_t Undecodable = 0;     // damaged or undecodable, no output kept
  // Of those, the files whose output decoding without the stored WAVE metadata would have kept.
  int32_t UndecodableForWaveMeta = 0;
  int32_t ReadWriteErrors = 0;
};

// Runs in the caller's thread and reaches the caller only through the events; the only way to
// stop a running batch is OnCancelQuery, which is asked after every 176400 decoded samples.
class TDecompressor : public TBatchEvents<TDecompFileReport> {
 public:
  explicit TDecompressor(const TDecompressorOptions& options);
  ~TDecompressor();
  TDecompressor(const TDecompressor&) = delete;
  TDecompressor& operator=(const TDecompressor&) = delete;

  // files are relative to the source folder. True when every file ended with code 1 or 2.
  bool Run(const TDecompressorFilePars& pars, const std::vector<std::string>& files);

  const TDecompCounters& Counters() const { return counters_; }
  // The message of a result code; only its low 7 bits count.
  static std::string ResultText(uint8_t code);

 private:
  std::string DestinationNameFor(const std::string& entry, size_t fileCount) const;
  // Decompresses one file; an exception inside the job fails the file, not the batch.
  void GuardedProcessFile(const std::string& entry, const std::string& destinationName);
  void ProcessFile(const std::string& entry, const std::string& destinationName);
  // Whether the job's output is a file (not standard output, not a test).
  bool WritesFile() const;
  // Sets the report's code and reason when no output may go to the destination.
  bool RefuseOutput(const std::string& source);
  // True when the run was canceled.
  bool DecodeWithProgress();
  void KeepOrDiscardOutput();
  // Whether the file just done lets its source go: its output is in place and nothing was damaged.
  bool MayDeleteSource() const;
  void DeleteSourceOf(const std::string& entry);
  void CountFile(const std::string& entry);
  void ReportFile(const std::string& entry);
  void LogLine(const std::string& text);
  // A log line that also reaches OnFailureLine.
  void FailureLine(const std::string& text);
  void CounterLine(int32_t count, const char* text);
  void WriteSummary();
  void SaveProtocols();
  void SaveProtocol(const std::string& fileName, bool append, const TTextData& lines);

  TDecompressorOptions options_;
  TDecompressorFilePars pars_;
  std::unique_ptr<TFileDecompressor> fileDecompressor_;
  std::unique_ptr<TStandardInputSpool> spool_;  // of the current file
  std::unique_ptr<TTextData> protocol_;
  std::unique_ptr<TTextData> errorProtocol_;
  TDecompFileReport report_;
  std::string destination_;  // of the current file
  TRunOutputs ownOutputs_;
  TRunOutputs* outputs_ = &ownOutputs_;
  TDecompCounters counters_;
  double audioTotalMs_ = 0;
  double elapsedMs_ = 0;
};

}  // namespace lym

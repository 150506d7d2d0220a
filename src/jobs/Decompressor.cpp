#include "lym/Decompressor.h"

#include <algorithm>
#include <cmath>

#include "jobs/BatchCommon.h"
#include "jobs/DecompErrorLog.h"
#include "jobs/FileDecompressor.h"
#include "jobs/StandardStreams.h"
#include "jobs/TextData.h"
#include "jobs/Timing.h"

namespace lym {
namespace {

// Progress and the cancel query are looked at after every this many samples.
constexpr int64_t kProgressInterval = 176400;

constexpr const char* kResultTexts[] = {
    "Ok",
    "Wave meta data missing",
    "Meta data damaged",
    "Audio data damaged",
    "Undecodable",
    "Error reading source",
    "Error writing destination",
    "Incompatible version",
    "Already exists",
    "Canceled",
};

// Whether a file that ended with code keeps its output.
bool KeepsOutput(uint8_t code, bool keepDamaged) {
  return !DecompFailed(code) && (code <= kDecompWaveMetaMissing || keepDamaged);
}

}  // namespace

std::string TDecompressor::ResultText(uint8_t code) {
  const uint8_t index = code & 0x7F;
  if (index < kDecompOk || index > kDecompCanceled) return "Unknown error";
  return kResultTexts[index - kDecompOk];
}

TDecompressor::TDecompressor(const TDecompressorOptions& options)
    : options_(options),
      protocol_(std::make_unique<TTextData>()),
      errorProtocol_(std::make_unique<TTextData>()) {}

TDecompressor::~TDecompressor() = default;

bool TDecompressor::Run(const TDecompressorFilePars& pars, const std::vector<std::string>& files) {
  pars_ = pars;
  ownOutputs_ = TRunOutputs{};
  outputs_ = pars_.RunOutputs != nullptr ? pars_.RunOutputs : &ownOutputs_;
  protocol_->Clear();
  errorProtocol_->Clear();
  const double start = ClockMs();
  counters_ = TDecompCounters{};
  audioTotalMs_ = 0;
  report_ = TDecompFileReport{};
  while (size_t(counters_.FilesDone) < files.size() && report_.Code != kDecompCanceled) {
    const std::string& entry = files[size_t(counters_.FilesDone)];
    report_ = TDecompFileReport{};
    report_.Index = counters_.FilesDone;
    GuardedProcessFile(entry, DestinationNameFor(entry, files.size()));
    CountFile(entry);
    ReportFile(entry);
    if (MayDeleteSource()) DeleteSourceOf(entry);
  }
  elapsedMs_ = ClockMs() - start;
  if (counters_.FilesDone > 0) {
    WriteSummary();
    SaveProtocols();
  }
  return files.size() == size_t(counters_.FilesOk);
}

std::string TDecompressor::DestinationNameFor(const std::string& entry, size_t fileCount) const {
  if (fileCount == 1 && !pars_.OutputName.empty()) return pars_.OutputName;
  return WithoutExtension(FileNamePart(entry)) + ".wav";
}

void TDecompressor::GuardedProcessFile(const std::string& entry,
                                       const std::string& destinationName) {
  try {
    ProcessFile(entry, destinationName);
    spool_.reset();
    return;
  } catch (...) {
    report_.Reason = ExceptionReason(std::current_exception());
  }
  // The job's state is unknown: its decompressor goes, and with it the temporary output, then the
  // spool it may still read.
  fileDecompressor_.reset();
  spool_.reset();
  report_.Code = kDecompWriteError;
  report_.OutputKept = false;
}

void TDecompressor::ProcessFile(const std::string& entry, const std::string& destinationName) {
  if (OnFileStart) OnFileStart(ShortDisplayName(entry));
  const double started = ClockMs();
  destination_ = JoinPath(pars_.DestinationFolder, destinationName);
  const std::string named = NamedSource(pars_.SourceFolder, entry, pars_.StandardInput);
  if (WritesFile() && RefuseOutput(named)) return;
  const std::string source =
      JobSource(pars_.SourceFolder, entry, pars_.StandardInput, spool_, report_.Reason);
  if (source.empty()) {
    report_.Code = kDecompReadError;
    return;
  }
  if (!fileDecompressor_) fileDecompressor_ = std::make_unique<TFileDecompressor>(options_.File);
  // The output stays in a temporary file until it is kept, so that a failing job never destroys
  // a file that was there before.
  report_.Code = fileDecompressor_->Decompress(source, destination_, pars_.StandardOutput);
  report_.Reason = fileDecompressor_->Result().Reason;
  if (fileDecompressor_->Failed()) {
    fileDecompressor_->DiscardOutput();
    return;
  }
  report_.AudioMs = 1.0;
  report_.TimeMs = 1.0;
  const bool canceled = DecodeWithProgress();
  if (!canceled && fileDecompressor_->Succeeded()) {
    if (OnProgress) OnProgress(100);
    report_.AudioMs = fileDecompressor_->AudioDuration() * 1000.0;
  }
  report_.TimeMs = ClockMs() - started;
  const uint8_t code = fileDecompressor_->Finish(canceled);
  report_.Code = canceled ? kDecompCanceled : code;
  KeepOrDiscardOutput();
  report_.Reason = fileDecompressor_->Result().Reason;
}

bool TDecompressor::RefuseOutput(const std::string& source) {
  const uint8_t refusal = CheckOutput(source, destination_, options_.Overwrite, *outputs_,
                                      kDecompOutputCodes, report_.Reason);
  if (refusal != 0) report_.Code = refusal;
  return refusal != 0;
}

bool TDecompressor::DecodeWithProgress() {
  const int64_t total = fileDecompressor_->TotalSamples();
  int64_t threshold = std::min(kProgressInterval, total);
  int32_t lastPercent = 0;
  int64_t position = 0;
  while (fileDecompressor_->DecodeStep(position) == TDecompJobState::Running) {
    if (position < threshold) continue;
    const auto percent = int32_t(std::min<int64_t>(
        99, std::llround(double(position) / double(std::max<int64_t>(total, 1)) * 100.0)));
    if (percent != lastPercent && OnProgress) OnProgress(percent);
    lastPercent = percent;
    threshold += kProgressInterval;
    if (OnCancelQuery && OnCancelQuery()) return true;
  }
  return false;
}

void TDecompressor::KeepOrDiscardOutput() {
  const uint8_t code = report_.Code;
  const bool keep = KeepsOutput(code, options_.File.KeepDamaged);
  if (!keep || !options_.File.WriteOutput) {
    fileDecompressor_->DiscardOutput();
    report_.OutputKept = keep;
    return;
  }
  const bool kept = fileDecompressor_->KeepOutput(options_.Overwrite);
  report_.Code = fileDecompressor_->Result().Code;
  if (!kept) return;
  if (WritesFile()) outputs_->Add(destination_);
  report_.OutputKept = true;
}

// An output written without the stored WAVE header and trailer is not the original file, so its
// source stays.
bool TDecompressor::MayDeleteSource() const {
  return options_.DeleteInput && options_.File.WriteOutput && options_.File.RestoreWaveMeta &&
         !pars_.StandardInput && !pars_.StandardOutput && report_.OutputKept && report_.Code == kDecompOk;
}

bool TDecompressor::WritesFile() const {
  return options_.File.WriteOutput && !pars_.StandardOutput;
}

void TDecompressor::DeleteSourceOf(const std::string& entry) {
  std::string failure;
  if (!DeleteSource(JoinPath(pars_.SourceFolder, entry), failure)) FailureLine(failure);
}

void TDecompressor::CountFile(const std::string& entry) {
  const uint8_t code = report_.Code;
  switch (code) {
    case kDecompAlreadyExists: ++counters_.AlreadyExisting; break;
    case kDecompMetaDamaged:
    case kDecompAudioDamaged:
    case kDecompUndecodable:
    case kDecompIncompatible:
      if (report_.OutputKept) {
        TFileDecompErrorLogCreator(*errorProtocol_).AddEntry(entry, fileDecompressor_->Result());
        ++counters_.DamagedDecoded;
      } else {
        ++counters_.Undecodable;
        if (KeepsOutput(fileDecompressor_->CodeWithoutWaveMeta(), options_.File.KeepDamaged))
          ++counters_.UndecodableForWaveMeta;
      }
      break;
    case kDecompReadError:
    case kDecompWriteError: ++counters_.ReadWriteErrors; break;
    default: break;
  }
  if (report_.OutputKept) {
    audioTotalMs_ += report_.AudioMs;
    if (code <= kDecompWaveMetaMissing) ++counters_.FilesOk;
  }
  if (code != kDecompCanceled) ++counters_.FilesDone;
}

void TDecompressor::ReportFile(const std::string& entry) {
  std::string text = ResultText(report_.Code);
  // Outputs are kept only for codes 1 to 4.
  if (report_.OutputKept) text = FormatFixed(report_.AudioMs / report_.TimeMs, 4, 0) + "* " + text;
  if (OnFileResult) OnFileResult(report_, text);
  if (options_.WriteProtocol && report_.Code != kDecompCanceled)
    protocol_->Add(ShortDisplayName(entry) + text);
}

void TDecompressor::LogLine(const std::string& text) {
  if (OnLogLine) OnLogLine(text);
  if (options_.WriteProtocol) protocol_->Add(text);
}

void TDecompressor::CounterLine(int32_t count, const char* text) {
  if (count > 0) LogLine(std::to_string(count) + text);
}

void TDecompressor::WriteSummary() {
  const TDecompCounters& c = counters_;
  if (c.FilesOk + c.DamagedDecoded > 0) {
    LogLine("");
    LogLine("Duration:   " + FormatFixed(elapsedMs_ / 1000.0, 9, 2) + " sec");
    LogLine("Speed:      " + FormatFixed(audioTotalMs_ / elapsedMs_, 9, 2) + " * real time");
  }
  if (c.AlreadyExisting + c.DamagedDecoded + c.Undecodable + c.ReadWriteErrors > 0) LogLine("");
  CounterLine(c.AlreadyExisting, " files already existed.");
  CounterLine(c.DamagedDecoded, " damaged files have been decoded.");
  CounterLine(c.Undecodable, " files undecodable.");
  // Only where leaving the metadata out would have kept a file.
  if (c.UndecodableForWaveMeta > 0)
    LogLine("  Try disabling \"Restore wave file meta data\" (-wm0).");
  CounterLine(c.ReadWriteErrors, " files with read/write errors.");
}

void TDecompressor::SaveProtocols() {
  if (options_.WriteProtocol) {
    SaveProtocol(JoinPath(pars_.DestinationFolder, kDecompProtocolFileName),
                 options_.AppendProtocol, *protocol_);
  }
  if (counters_.DamagedDecoded > 0 && options_.WriteErrorProtocol) {
    SaveProtocol(JoinPath(pars_.DestinationFolder, kDecompErrorProtocolFileName), false,
                 *errorProtocol_);
  }
}

void TDecompressor::SaveProtocol(const std::string& fileName, bool append, const TTextData& lines) {
  if (SaveLogFile(fileName, append, lines)) return;
  FailureLine("Error saving log data to File: " + fileName);
}

void TDecompressor::FailureLine(const std::string& text) {
  LogLine(text);
  if (OnFailureLine) OnFailureLine(text);
}

}  // namespace lym

#include "lym/Compressor.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "jobs/BatchCommon.h"
#include "jobs/DiagProtocol.h"
#include "jobs/FileCompressor.h"
#include "jobs/StandardStreams.h"
#include "jobs/Timing.h"

namespace lym {
namespace {

constexpr const char* kProtocolFileName = "Lym_Enco_Proto.txt";
constexpr const char* kOutputExtension = ".lym";
// Progress and the cancel query are looked at once per this many sample frames.
constexpr int64_t kProgressInterval = 88200;
constexpr int32_t kLastPartialPercent = 99;
// Sub-frame grid units per second, by the settings' resolution index.
constexpr int32_t kResolutionUnits[] = {64, 128, 256, 512};

// a / b, or 0 when there is nothing to divide by.
double Quotient(double a, double b) { return b > 0 ? a / b : 0; }

int32_t ResolutionUnits(uint8_t index) {
  return size_t(index) < std::size(kResolutionUnits) ? kResolutionUnits[index] : 0;
}

std::string ReportText(const TCompFileReport& report) {
  if (report.Code != kCompressOk && report.Code != kCompressMetaTooBig) {
    return TCompressor::ResultText(report.Code);
  }
  const double ratio = Quotient(double(report.CompressedBytes), double(report.SourceBytes)) * 100;
  const double speed = Quotient(report.AudioMs, report.TimeMs);
  std::string warnings = TCompressor::ResultText(report.Code);
  if (!warnings.empty() && !report.Warnings.empty()) warnings += "; ";
  warnings += report.Warnings;
  return FormatFixed(ratio, 6, 2) + "% " + FormatFixed(speed, 4, 0) + "* " + warnings;
}

void WriteSettingsDump(TDiagProtocol& protocol, const TEncoderSettings& settings,
                       const TCompressOptions& options) {
  protocol.Heading("Linear Predictor", true);
  protocol.LabelInt("Predictors:", settings.Predictors);
  protocol.LabelBool("Optimize quantization:", settings.OptimizeQuantization);
  protocol.LabelBool("Apply window:", settings.ApplyWindow);
  protocol.Heading("Frames", true);
  protocol.Heading("Channel decorrelation", true);
  protocol.LabelBool("Prediction:", settings.Prediction);
  protocol.LabelBool("Check both:", settings.CheckBoth);
  protocol.LabelBool("Difference:", settings.Difference);
  protocol.LabelBool("Mid-Side:", settings.MidSide);
  protocol.Heading("Frame partition calculator", true);
  protocol.LabelInt("Resolution:", ResolutionUnits(settings.Resolution));
  protocol.LabelBool("Validate:", settings.Validate);
  protocol.Heading("Bit coder", true);
  protocol.LabelBool("Optimize Choice:", settings.OptimizeChoice);
  protocol.Heading("PreFilter", true);
  protocol.LabelBool("Enable:", settings.PreFilter);
  protocol.LabelInt("Sensitivity:", settings.Sensitivity, "(0 - 2)");
  protocol.Heading("Diagnostics", true);
  protocol.LabelBool("Verify:", settings.Verify);
  protocol.LabelBool("No output:", options.NoOutput);
  protocol.LabelBool("Use MMX:", options.UseMmx);
  protocol.LabelBool("Use SSE:", options.UseSse);
}

}  // namespace

std::string TCompressor::ResultText(int32_t code) {
  switch (code) {
    case kCompressOk: return "";
    case kCompressMetaTooBig: return "Meta data too big";
    case kCompressAudioFormat: return "Audio format not supported";
    case kCompressWaveFile: return "Wave file not supported";
    case kCompressReadError: return "Error reading source";
    case kCompressWriteError: return "Error writing destination";
    case kCompressVerifyFailed: return "Verify failed!";
    case kCompressExists: return "Already exists";
    case kCompressCanceled: return "Canceled";
    default: return "Unknown error";
  }
}

TCompressor::TCompressor() = default;
TCompressor::~TCompressor() = default;

bool TCompressor::Run(const TEncoderSettings& settings,
                      const TEncoderDlgOutputOptions& outputOptions,
                      const std::vector<std::string>& files, const TCompressorFilePars& pars,
                      const TCompressOptions& options) {
  settings_ = settings;
  // Only a source whose output decoded again to the same samples may go.
  settings_.Verify = settings.Verify || outputOptions.DeleteInput;
  outputOptions_ = outputOptions;
  files_ = files;
  pars_ = pars;
  options_ = options;
  results_.clear();
  ownOutputs_ = TRunOutputs{};
  outputs_ = pars_.RunOutputs != nullptr ? pars_.RunOutputs : &ownOutputs_;
  displayWidth_ = kDisplayNameWidth;
  ResetTotals();
  const double start = ClockMs();

  uint8_t code = 0;
  while (size_t(filesDone_) < files_.size() && code != kCompressCanceled) {
    const std::string& entry = files_[size_t(filesDone_)];
    report_ = TCompFileReport{};
    report_.Index = filesDone_;
    code = GuardedProcessFile(entry, DestinationName(entry));
    Count(code);
    ReportFile(entry);
    if (MayDeleteSource()) DeleteSourceOf(entry);
  }

  elapsedMs_ = ClockMs() - start;
  if (filesDone_ > 0) {
    WriteSummary();
    if (outputOptions_.ProtocolLevel > kProtocolOff) SaveProtocol();
  }
  fileCompressor_.reset();
  return files_.size() == size_t(filesOk_);
}

void TCompressor::ResetTotals() {
  totalSourceBytes_ = totalCompressedBytes_ = 0;
  totalAudioMs_ = elapsedMs_ = 0;
  filesDone_ = filesOk_ = alreadyExisting_ = warnings_ = failed_ = 0;
}

std::string TCompressor::DestinationName(const std::string& entry) const {
  if (files_.size() == 1 && !pars_.OutputName.empty()) return pars_.OutputName;
  return WithoutExtension(FileNamePart(entry)) + kOutputExtension;
}

uint8_t TCompressor::GuardedProcessFile(const std::string& entry,
                                        const std::string& destinationName) {
  try {
    const uint8_t code = ProcessFile(entry, destinationName);
    spool_.reset();
    return code;
  } catch (...) {
    report_.Reason = ExceptionReason(std::current_exception());
  }
  // The job's state is unknown: its compressor goes, and with it the temporary output, then the
  // spool it may still read.
  fileCompressor_.reset();
  spool_.reset();
  report_.Code = kCompressWriteError;
  return report_.Code;
}

uint8_t TCompressor::ProcessFile(const std::string& entry, const std::string& destinationName) {
  if (OnFileStart) OnFileStart(ShortDisplayName(entry, displayWidth_));
  const double start = ClockMs();
  report_.Code = kCompressOk;
  const bool toStandardOutput = pars_.StandardOutput && !options_.NoOutput;
  const std::string destination = toStandardOutput
                                      ? ScratchDestination()
                                      : JoinPath(pars_.DestinationFolder, destinationName);
  const bool checkOutput = !options_.NoOutput && !toStandardOutput;
  const std::string named = NamedSource(pars_.SourceFolder, entry, pars_.StandardInput);
  if (checkOutput && RefuseOutput(named, destination)) return report_.Code;
  const std::string source =
      JobSource(pars_.SourceFolder, entry, pars_.StandardInput, spool_, report_.Reason);
  if (source.empty()) return report_.Code = kCompressReadError;
  if (!fileCompressor_) {
    fileCompressor_ = std::make_unique<TFileCompressor>(settings_, outputOptions_, options_);
  }
  TFileCompressor& compressor = *fileCompressor_;
  report_.Code = compressor.Compress(source, destination, toStandardOutput);
  report_.Reason = compressor.Reason();
  if (!compressor.Succeeded()) return report_.Code;

  report_.SourceBytes = compressor.SourceBytes();
  EncodeWithProgress(compressor.SampleCount());
  const bool canceled = report_.Code == kCompressCanceled;
  compressor.Finish(canceled);
  if (canceled) return report_.Code;
  report_.Code = compressor.Code();
  report_.Reason = compressor.Reason();
  if (!compressor.Succeeded()) return report_.Code;

  if (checkOutput) outputs_->Add(destination);
  // A pipe's writer cannot fill in the sizes; from standard input that is no news.
  const uint32_t acceptances = compressor.SourceAcceptances();
  report_.Warnings = WaveAcceptanceText(
      pars_.StandardInput
          ? AcceptancesBeyondPipeWriter(acceptances, compressor.SourceDeclaredDataSize())
          : acceptances);
  if (OnProgress) OnProgress(100);
  report_.AudioMs = compressor.Duration() * 1000;
  report_.CompressedBytes = compressor.CompressedBytes();
  report_.TimeMs = ClockMs() - start;
  return report_.Code;
}

bool TCompressor::RefuseOutput(const std::string& source, const std::string& destination) {
  const uint8_t refusal = CheckOutput(source, destination, outputOptions_.Overwrite, *outputs_,
                                      kCompressOutputCodes, report_.Reason);
  if (refusal != 0) report_.Code = refusal;
  return refusal != 0;
}

// Runs the job to its end, reporting progress and asking for a cancel every kProgressInterval
// sample frames; a cancel sets the report's code.
void TCompressor::EncodeWithProgress(int64_t sampleCount) {
  TFileCompressor& compressor = *fileCompressor_;
  int64_t threshold = std::min(kProgressInterval, sampleCount);
  int32_t lastPercent = 0;
  int64_t position = 0;
  while (report_.Code != kCompressCanceled && compressor.EncodeStep(position) == kCompJobRunning) {
    if (position < threshold) continue;
    const int32_t percent = std::min(
        kLastPartialPercent, int32_t(std::lround(double(position) / double(sampleCount) * 100)));
    if (percent != lastPercent && OnProgress) OnProgress(percent);
    lastPercent = percent;
    threshold += kProgressInterval;
    if (OnCancelQuery && OnCancelQuery()) report_.Code = kCompressCanceled;
  }
}

// Without its stored WAVE header and trailer the output could not give the source back byte for
// byte, so that source stays too.
bool TCompressor::MayDeleteSource() const {
  return outputOptions_.DeleteInput && outputOptions_.SaveWaveMeta && !options_.NoOutput &&
         !pars_.StandardInput && !pars_.StandardOutput && report_.Code == kCompressOk && report_.Warnings.empty();
}

void TCompressor::DeleteSourceOf(const std::string& entry) {
  std::string failure;
  if (!DeleteSource(JoinPath(pars_.SourceFolder, entry), failure)) FailureLine(failure);
}

void TCompressor::Count(uint8_t code) {
  if (code == kCompressExists) ++alreadyExisting_;
  if (code == kCompressOk || code == kCompressMetaTooBig) {
    totalSourceBytes_ += report_.SourceBytes;
    totalCompressedBytes_ += report_.CompressedBytes;
    totalAudioMs_ += report_.AudioMs;
    ++filesOk_;
  }
  if (code == kCompressMetaTooBig || !report_.Warnings.empty()) ++warnings_;
  if (code >= kCompressFailedFrom && code <= kCompressVerifyFailed) ++failed_;
  if (code != kCompressCanceled) ++filesDone_;
}

void TCompressor::ReportFile(const std::string& entry) {
  const std::string text = ReportText(report_);
  if (OnFileResult) OnFileResult(report_, text);
  if (outputOptions_.ProtocolLevel > kProtocolOff && report_.Code != kCompressCanceled) {
    results_.push_back(ShortDisplayName(entry, displayWidth_) + text);
  }
}

void TCompressor::LogLine(const std::string& text) {
  if (OnLogLine) OnLogLine(text);
  if (outputOptions_.ProtocolLevel > kProtocolOff) results_.push_back(text);
}

void TCompressor::WriteSummary() {
  if (filesOk_ > 0) {
    const double ratio = Quotient(double(totalCompressedBytes_), double(totalSourceBytes_)) * 100;
    LogLine("");
    LogLine("Compression: " + FormatFixed(ratio, 9, 2) + " %");
    LogLine("Duration:    " + FormatFixed(elapsedMs_ / 1000, 9, 2) + " sec");
    LogLine("Speed:       " + FormatFixed(Quotient(totalAudioMs_, elapsedMs_), 9, 2) +
            " * real time");
  }
  if (alreadyExisting_ + warnings_ + failed_ > 0) LogLine("");
  if (alreadyExisting_ > 0) LogLine(std::to_string(alreadyExisting_) + " files already existed.");
  if (warnings_ > 0) LogLine(std::to_string(warnings_) + " files generated warnings.");
  if (failed_ > 0) LogLine(std::to_string(failed_) + " files failed.");
}

void TCompressor::SaveProtocol() {
  const std::string fileName = JoinPath(pars_.DestinationFolder, kProtocolFileName);
  TDiagProtocol protocol;
  // An old protocol that cannot be read is replaced rather than stopping the save.
  if (outputOptions_.AppendProtocol && FileExists(fileName)) protocol.LoadFromFile(fileName);
  if (outputOptions_.ProtocolLevel == kProtocolDiagnostics) {
    protocol.Section("Diagnostics");
    WriteSettingsDump(protocol, settings_, options_);
  }
  protocol.Section("Results");
  protocol.LabelText("", "");
  for (const std::string& line : results_) protocol.Line(line);
  if (protocol.SaveToFile(fileName)) return;
  FailureLine("Error writing protocol file " + fileName);
}

void TCompressor::FailureLine(const std::string& text) {
  LogLine(text);
  if (OnFailureLine) OnFailureLine(text);
}

}  // namespace lym

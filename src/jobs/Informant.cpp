#include "lym/Informant.h"

#include <iterator>
#include <utility>

#include "jobs/BatchCommon.h"
#include "jobs/DiagProtocol.h"
#include "jobs/FileInformant.h"
#include "jobs/StandardStreams.h"

namespace lym {

TInformant::TInformant(uint8_t mode, bool writeProtocol)
    : fileInformant_(std::make_unique<TFileInformant>(mode)),
      protocol_(std::make_unique<TTextData>()),
      writeProtocol_(writeProtocol) {}

TInformant::~TInformant() = default;

const char* TInformant::ResultText(int32_t code) {
  constexpr auto kKnownCodes = int32_t(std::size(kInformResultTexts));
  return code >= 0 && code < kKnownCodes ? kInformResultTexts[code] : kInformUnknownResultText;
}

bool TInformant::Run(const TInformantFilePars& parameters, const std::vector<std::string>& files) {
  parameters_ = parameters;
  protocol_->Clear();
  filesDone_ = filesOk_ = filesDamaged_ = filesUndecodable_ = filesWithReadErrors_ =
      filesIncompatible_ = 0;
  report_ = TInformFileReport{};
  const auto fileCount = int32_t(files.size());
  while (filesDone_ < fileCount && report_.Code != kInformCanceled) {
    if (fileInformant_->Mode() == kInformDetailed && filesDone_ > 0) {
      LogLine("");
      LogLine("");
    }
    const bool canceled = OnCancelQuery && OnCancelQuery();
    report_ = TInformFileReport{filesDone_, kInformCanceled, {}};
    if (!canceled) {
      report_.Code = InformFile(files[size_t(filesDone_)]);
      report_.Facts = fileInformant_->Facts();
    }
    Count(report_.Code);
    if (OnFileResult) OnFileResult(report_, std::string());
  }
  WriteSummary();
  // A run that reported on no file keeps the protocol of the run before.
  if (writeProtocol_ && filesDone_ > 0) SaveProtocol();
  return filesOk_ == fileCount;
}

uint8_t TInformant::InformFile(const std::string& entry) {
  TDiagProtocol protocol;
  std::unique_ptr<TStandardInputSpool> spool;
  std::string reason;
  const std::string path =
      JobSource(parameters_.Folder, entry, parameters_.StandardInput, spool, reason);
  // Standard input that could not be read leaves no path, which fails as a read error.
  const uint8_t code = fileInformant_->Inform(path, protocol, FileNamePart(entry));
  for (const std::string& line : protocol.Lines()) LogLine(line);
  return code;
}

void TInformant::Count(uint8_t code) {
  switch (code) {
    case kInformCanceled: return;  // not done
    case kInformOk: ++filesOk_; break;
    case kInformStreamIdDamaged:
    case kInformMetaDamaged: ++filesDamaged_; break;
    case kInformReadError: ++filesWithReadErrors_; break;
    case kInformIncompatible: ++filesIncompatible_; break;
    default: ++filesUndecodable_; break;
  }
  ++filesDone_;
}

void TInformant::WriteSummary() {
  const std::pair<int32_t, const char*> counters[] = {
      {filesIncompatible_, " files incompatible."},
      {filesDamaged_, " files damaged."},
      {filesUndecodable_, " files undecodable."},
      {filesWithReadErrors_, " files with read/write errors."}};
  if (filesIncompatible_ + filesDamaged_ + filesUndecodable_ + filesWithReadErrors_ == 0) return;
  LogLine("");
  for (const auto& [count, text] : counters) {
    if (count > 0) LogLine(std::to_string(count) + text);
  }
}

void TInformant::SaveProtocol() {
  const std::string fileName = JoinPath(parameters_.Folder, kInformProtocolFileName);
  if (SaveLogFile(fileName, false, *protocol_)) return;
  const std::string text = "Error saving log data to File: " + fileName;
  LogLine(text);
  if (OnFailureLine) OnFailureLine(text);
}

void TInformant::LogLine(const std::string& text) {
  if (OnLogLine) OnLogLine(text);
  if (writeProtocol_) protocol_->Add(text);
}

}  // namespace lym

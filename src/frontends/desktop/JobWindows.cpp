#include "JobWindows.h"

#include "DesktopTexts.h"
#include "lym/Compressor.h"
#include "lym/Decompressor.h"
#include "lym/Informant.h"

namespace lym {
namespace {

// A tag's items under a file's detailed report: text items with their values (several separated by
// "; "), the others by kind and size.
std::vector<std::string> TagItemLines(const std::vector<TInformTagItem>& items) {
  if (items.empty()) return {};
  std::vector<std::string> lines{"  APEv2 items:"};
  for (const TInformTagItem& item : items) {
    std::string value = item.Value;
    if (item.Type == kInformItemText) {
      for (size_t zero = value.find('\0'); zero != std::string::npos; zero = value.find('\0'))
        value.replace(zero, 1, "; ");
    } else {
      value = std::string(kInformItemTypeNames[item.Type & 3]) + ", " +
              std::to_string(item.Value.size()) + " bytes";
    }
    lines.push_back("    " + item.Key + " = " + value);
  }
  return lines;
}

}  // namespace

TJobWindow::TJobWindow(TJobView& view, std::string& sharedFolder, const TJobTexts& texts,
                       std::initializer_list<TJobControl> startButtons)
    : view_(view), sharedFolder_(sharedFolder), texts_(texts), startButtons_(startButtons) {}

void TJobWindow::Open() {
  view_.SetCaption(texts_.Caption);
  view_.SetText(TJobControl::stAction, texts::kActionIdle);
  view_.SetText(TJobControl::stPath, "");
  ResetCounters();
  EnableButtons(true);
}

void TJobWindow::OnAddFilesClicked() {
  const std::string filter = std::string(texts_.FileFilter) + "|" + texts::kAllFilesFilter;
  const std::string initialFolder = sourceFolder_.empty() ? sharedFolder_ : sourceFolder_;
  AddFiles(view_.ChooseFiles({texts::kAddFilesTitle, filter, initialFolder}));
}

void TJobWindow::AddFiles(const std::vector<std::string>& paths) {
  if (running_ || paths.empty()) return;
  sourceFolder_ = FolderOf(paths.front());
  files_.clear();
  view_.ClearLines();
  for (const std::string& path : paths) {
    files_.push_back(NameOf(path));
    view_.AppendLine(files_.back());
  }
  view_.SetText(TJobControl::stPath, sourceFolder_);
  ResetCounters();
  EnableButtons(true);
}

void TJobWindow::OnStopClicked() {
  if (running_) stopRequested_ = true;
}

bool TJobWindow::OnCloseQuery(bool done) {
  if (running_) return false;
  if (done && !sourceFolder_.empty()) sharedFolder_ = sourceFolder_;
  return true;
}

void TJobWindow::ResetCounters() {
  ShowFilesProgress(0);
  ShowCounter(TJobControl::stErrorFileNum, 0);
  ShowCounter(TJobControl::stWarningFileNum, 0);
  view_.SetText(TJobControl::stFrameProgress, "");
}

void TJobWindow::ShowCounter(TJobControl control, int32_t value) {
  view_.SetText(control, std::to_string(value));
  view_.SetAlert(control, value > 0);
}

void TJobWindow::ShowFilesProgress(int32_t done) {
  view_.SetText(TJobControl::stFileProgress,
                std::to_string(done) + " / " + std::to_string(files_.size()));
}

void TJobWindow::EnableButtons(bool idle) {
  for (TJobControl button : {TJobControl::butAddFiles, TJobControl::butOptions,
                             TJobControl::butDone}) {
    view_.SetEnabled(button, idle);
  }
  for (TJobControl button : startButtons_) view_.SetEnabled(button, idle && !files_.empty());
  view_.SetEnabled(TJobControl::butStop, !idle);
}

void TJobWindow::BeginRun(const char* action) {
  view_.ClearLines();
  ResetCounters();
  view_.SetText(TJobControl::stAction, action);
  EnableButtons(false);
  running_ = true;
  stopRequested_ = false;
}

void TJobWindow::EndRun() {
  running_ = false;
  EnableButtons(true);
  view_.SetText(TJobControl::stAction, texts::kActionIdle);
}

template <class TRun>
void TJobWindow::RunBatch(const char* action, TRun&& run) {
  if (running_ || files_.empty()) return;
  BeginRun(action);
  // The window must come back to idle even when the batch throws (out of memory, say): the
  // exception then reaches the message loop, which reports it.
  struct TEndRun {
    TJobWindow& window;
    ~TEndRun() { window.EndRun(); }
  } endRun{*this};
  run();
}

void TJobWindow::AddLine(const std::string& text) {
  view_.AppendLine(text);
  view_.ProcessPendingMessages();
}

void TJobWindow::ShowProgress(int32_t percent) {
  view_.SetText(TJobControl::stFrameProgress, std::to_string(percent) + " %");
  view_.ProcessPendingMessages();
}

void TJobWindow::ShowResultText(int32_t index, const std::string& text) {
  // The line that OnFileStart began; file information sends no text.
  if (!text.empty()) view_.AppendToLastLine(text);
  ShowFilesProgress(index + 1);
}

bool TJobWindow::OnCancelQuery() {
  bool cancel = false;
  if (stopRequested_) {
    cancel = view_.AskYesNo(texts_.StopQuestion);
    stopRequested_ = false;
  }
  view_.ProcessPendingMessages();
  return cancel;
}

template <class TBatch, class TShowCounters>
void TJobWindow::WireEvents(TBatch& batch, TShowCounters showCounters) {
  batch.OnLogLine = [this](const std::string& text) { AddLine(text); };
  batch.OnFileStart = [this](const std::string& name) { AddLine(name); };
  batch.OnProgress = [this](int32_t percent) { ShowProgress(percent); };
  batch.OnFileResult = [this, showCounters](const auto& report, const std::string& text) {
    ShowResultText(report.Index, text);
    showCounters(report.Code);
    view_.ProcessPendingMessages();
  };
  batch.OnCancelQuery = [this] { return OnCancelQuery(); };
}

TCompressWindow::TCompressWindow(TJobView& view, std::string& sharedFolder,
                                 const TCompressionSettings& settings)
    : TJobWindow(view, sharedFolder,
                 {texts::kCompressCaption, texts::kStopCompressing, texts::kWaveFilter},
                 {TJobControl::butCompress, TJobControl::butTest}),
      settings_(settings) {}

void TCompressWindow::Run(bool noOutput) {
  RunBatch(noOutput ? texts::kActionTesting : texts::kActionCompressing, [&] {
    TCompressor batch;
    WireEvents(batch, [&](uint8_t code) {
      if (code == kCompressOk || code == kCompressCanceled) return;
      ShowCounter(TJobControl::stWarningFileNum, batch.AlreadyExisting() + batch.Warnings());
      ShowCounter(TJobControl::stErrorFileNum, batch.Failed());
    });
    TCompressOptions options = settings_.Options;
    options.NoOutput = noOutput;
    const TEncoderDlgOutputOptions& output = settings_.Output;
    const TCompressorFilePars pars{
        SourceFolder(),
        DestinationFolder(uint8_t(output.DestinationChoice), output.UserFolder, SourceFolder()),
        "", "", 0};
    batch.Run(settings_.Encoder, output, Files(), pars, options);
  });
}

TDecompressWindow::TDecompressWindow(TJobView& view, std::string& sharedFolder,
                                     const TDlgDecoderOpt& settings, uint32_t processorOptions)
    : TJobWindow(view, sharedFolder,
                 {texts::kDecompressCaption, texts::kStopDecompressing, texts::kLymFilter},
                 {TJobControl::butDecompress, TJobControl::butTest}),
      settings_(settings),
      processorOptions_(processorOptions) {}

void TDecompressWindow::Run(bool writeOutput) {
  RunBatch(writeOutput ? texts::kActionDecompressing : texts::kActionTesting, [&] {
    TDecompressor batch(MakeDecompressorOptions(settings_, processorOptions_, writeOutput));
    WireEvents(batch, [&](uint8_t code) {
      if (code == kDecompOk || code == kDecompCanceled) return;
      const TDecompCounters& counters = batch.Counters();
      if (code == kDecompAlreadyExists) {
        ShowCounter(TJobControl::stWarningFileNum, counters.AlreadyExisting);
      } else {
        ShowCounter(TJobControl::stErrorFileNum, counters.DamagedDecoded + counters.Undecodable +
                                                     counters.ReadWriteErrors);
      }
    });
    const TDecompressorFilePars pars{
        SourceFolder(),
        DestinationFolder(settings_.DestinationChoice, settings_.UserFolder, SourceFolder()), "",
        "", 0};
    batch.Run(pars, Files());
  });
}

TFileInfoWindow::TFileInfoWindow(TJobView& view, std::string& sharedFolder,
                                 const TDlgFileInfoOpt& settings)
    : TJobWindow(view, sharedFolder,
                 {texts::kFileInfoCaption, texts::kStopProcessing, texts::kLymFilter},
                 {TJobControl::butStart}),
      settings_(settings) {}

void TFileInfoWindow::OnStartClicked() {
  RunBatch(texts::kActionReading, [&] {
    TInformant batch(settings_.ReportMode, settings_.SaveProtocol);
    WireEvents(batch, [&](uint8_t code) {
      if (code == kInformOk || code == kInformCanceled) return;
      ShowCounter(TJobControl::stErrorFileNum,
                  batch.FilesDamaged() + batch.FilesUndecodable() +
                      batch.FilesWithReadErrors() + batch.FilesIncompatible());
    });
    const auto showResult = batch.OnFileResult;
    batch.OnFileResult = [&, showResult](const TInformFileReport& report, const std::string& text) {
      for (const std::string& line : TagItemLines(report.Facts.TagItems)) AddLine(line);
      showResult(report, text);
    };
    batch.Run({SourceFolder(), "", 0}, Files());
  });
}

}  // namespace lym

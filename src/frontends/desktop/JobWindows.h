// The logic of the three job windows "Compress", "Decompress" and "File Information": a list of
// files from one folder, a batch run in this (the interface) thread with its log, counters and
// progress shown live, and the "&Stop" button with its confirmation. The batch's events reach the
// window through its handlers, each of which ends by letting the message loop run.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "DesktopSettings.h"
#include "JobView.h"
#include "lym/BatchEvents.h"

namespace lym {

class TJobWindow {
 public:
  TJobWindow(const TJobWindow&) = delete;
  TJobWindow& operator=(const TJobWindow&) = delete;

  // Shows the caption and the idle display.
  void Open();
  void OnAddFilesClicked();
  // The files chosen in the dialog (full paths, all from one folder); none changes nothing.
  void AddFiles(const std::vector<std::string>& paths);
  void OnStopClicked();
  // False while a batch runs. Otherwise the window may close; closed through "D&one" (its OK,
  // rather than the close box or Esc), the next job window starts in this one's folder.
  bool OnCloseQuery(bool done);

  bool Running() const { return running_; }
  const std::vector<std::string>& Files() const { return files_; }
  const std::string& SourceFolder() const { return sourceFolder_; }

 protected:
  struct TJobTexts {
    const char* Caption;
    const char* StopQuestion;
    const char* FileFilter;
  };
  TJobWindow(TJobView& view, std::string& sharedFolder, const TJobTexts& texts,
             std::initializer_list<TJobControl> startButtons);

  // Runs a batch: the display is reset, the buttons but "&Stop" are disabled while run() runs.
  template <class TRun>
  void RunBatch(const char* action, TRun&& run);

  // Wires every event of batch to the window; showCounters updates the counters after a file.
  template <class TBatch, class TShowCounters>
  void WireEvents(TBatch& batch, TShowCounters showCounters);

  void ShowCounter(TJobControl control, int32_t value);
  void AddLine(const std::string& text);

 private:
  void ResetCounters();
  void EnableButtons(bool idle);
  void BeginRun(const char* action);
  void EndRun();
  void ShowFilesProgress(int32_t done);
  void ShowProgress(int32_t percent);
  void ShowResultText(int32_t index, const std::string& text);
  bool OnCancelQuery();

  TJobView& view_;
  std::string& sharedFolder_;
  TJobTexts texts_;
  std::vector<TJobControl> startButtons_;
  std::vector<std::string> files_;
  std::string sourceFolder_;
  bool running_ = false;
  bool stopRequested_ = false;
};

// "Compress": compresses (or only measures, "&Test") with the compression settings.
class TCompressWindow : public TJobWindow {
 public:
  TCompressWindow(TJobView& view, std::string& sharedFolder,
                  const TCompressionSettings& settings);
  void OnCompressClicked() { Run(false); }
  void OnTestClicked() { Run(true); }

 private:
  void Run(bool noOutput);
  const TCompressionSettings& settings_;
};

// "Decompress": decompresses or tests with the decompression settings.
class TDecompressWindow : public TJobWindow {
 public:
  TDecompressWindow(TJobView& view, std::string& sharedFolder, const TDlgDecoderOpt& settings,
                    uint32_t processorOptions);
  void OnDecompressClicked() { Run(true); }
  void OnTestClicked() { Run(false); }

 private:
  void Run(bool writeOutput);
  const TDlgDecoderOpt& settings_;
  uint32_t processorOptions_;
};

// "File Information": reports on the files with the file information settings.
class TFileInfoWindow : public TJobWindow {
 public:
  TFileInfoWindow(TJobView& view, std::string& sharedFolder, const TDlgFileInfoOpt& settings);
  void OnStartClicked();

 private:
  const TDlgFileInfoOpt& settings_;
};

}  // namespace lym

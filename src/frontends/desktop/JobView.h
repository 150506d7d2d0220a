// The face of a job window as its logic sees it. The Win32 layer implements it on the dialog's
// controls; tests implement it with a recording fake.
#pragma once

#include <string>
#include <vector>

namespace lym {

// The job windows' controls that change while the window is open, by their component names.
enum class TJobControl {
  stFileProgress,    // "Files:" done / count
  stErrorFileNum,    // "Errors:"
  stWarningFileNum,  // "Warnings:"
  stAction,
  stPath,
  stFrameProgress,  // percent of the current file
  butAddFiles,
  butOptions,
  butStop,
  butDone,
  butCompress,
  butDecompress,
  butTest,
  butStart,
};

struct TFileDialogRequest {
  std::string Title;
  std::string Filter;  // "description|pattern" pairs joined by "|"
  std::string InitialFolder;
};

class TJobView {
 public:
  virtual ~TJobView() = default;

  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetText(TJobControl control, const std::string& text) = 0;
  virtual void SetEnabled(TJobControl control, bool enabled) = 0;
  // Counters above 0 are drawn in red, others in the normal window text colour.
  virtual void SetAlert(TJobControl control, bool alert) = 0;

  // The read-only text box.
  virtual void ClearLines() = 0;
  virtual void AppendLine(const std::string& text) = 0;
  virtual void AppendToLastLine(const std::string& text) = 0;

  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(const std::string& question) = 0;
  // The multiple-selection file dialog: full paths of the chosen files, none when canceled.
  virtual std::vector<std::string> ChooseFiles(const TFileDialogRequest& request) = 0;
  // Lets the message loop handle what is pending, so that the window stays responsive while a
  // batch runs in this thread and a click on "&Stop" reaches OnStopClicked.
  virtual void ProcessPendingMessages() = 0;
};

}  // namespace lym

#include "JobDialogs.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "DesktopTexts.h"
#include "FileDialog.h"
#include "JobDialogIds.h"
#include "JobWindows.h"
#include "OptionDialogs.h"

namespace lym::win32 {
namespace {

struct TControlBinding {
  TJobControl Control;
  int Id;
};

constexpr TControlBinding kControls[] = {
    {TJobControl::stFileProgress, IDC_JOB_FILE_PROGRESS},
    {TJobControl::stErrorFileNum, IDC_JOB_ERROR_FILE_NUM},
    {TJobControl::stWarningFileNum, IDC_JOB_WARNING_FILE_NUM},
    {TJobControl::stAction, IDC_JOB_ACTION},
    {TJobControl::stPath, IDC_JOB_PATH},
    {TJobControl::stFrameProgress, IDC_JOB_FRAME_PROGRESS},
    {TJobControl::butAddFiles, IDC_JOB_ADD_FILES},
    {TJobControl::butOptions, IDC_JOB_OPTIONS},
    {TJobControl::butStop, IDC_JOB_STOP},
    {TJobControl::butDone, IDC_JOB_DONE},
    {TJobControl::butCompress, IDC_JOB_COMPRESS},
    {TJobControl::butDecompress, IDC_JOB_DECOMPRESS},
    {TJobControl::butTest, IDC_JOB_TEST},
    {TJobControl::butStart, IDC_JOB_START},
};

int ControlId(TJobControl control) {
  const auto* binding = std::find_if(std::begin(kControls), std::end(kControls),
                                     [control](const auto& b) { return b.Control == control; });
  return binding->Id;
}

constexpr TControlText kFixedTexts[] = {
    {IDC_JOB_LABEL_FILES, texts::kLabelFiles},
    {IDC_JOB_LABEL_ERRORS, texts::kLabelErrors},
    {IDC_JOB_LABEL_WARNINGS, texts::kLabelWarnings},
    {IDC_JOB_LABEL_ACTION, texts::kLabelAction},
    {IDC_JOB_LABEL_PATH, texts::kLabelPath},
    {IDC_JOB_LABEL_FILE_PROGRESS, texts::kLabelFileProgress},
    {IDC_JOB_ADD_FILES, texts::kButAddFiles},
    {IDC_JOB_OPTIONS, texts::kButJobOptions},
    {IDC_JOB_STOP, texts::kButStop},
    {IDC_JOB_DONE, texts::kButDone},
    {IDC_JOB_COMPRESS, texts::kButCompress},
    {IDC_JOB_DECOMPRESS, texts::kButDecompress},
    {IDC_JOB_TEST, texts::kButTest},
    {IDC_JOB_START, texts::kButStart},
};

constexpr int kStartButtonIds[] = {IDC_JOB_COMPRESS, IDC_JOB_DECOMPRESS, IDC_JOB_TEST,
                                   IDC_JOB_START};

// What sets the three windows apart: their logic, their start buttons and their option window.
struct TJobBinding {
  std::unique_ptr<TJobWindow> Window;
  std::vector<std::pair<int, std::function<void()>>> StartActions;
  std::function<void(HWND)> ShowOptions;
  bool ShowsFileProgress = true;
};

// The file information window shows no progress within a file.
constexpr bool kNoFileProgress = false;

TJobBinding CompressBinding(TJobView& view, TMainWindow& main) {
  TCompressionSettings& settings = main.Settings().Compression;
  auto window = std::make_unique<TCompressWindow>(view, main.SharedFolder(), settings);
  TCompressWindow& logic = *window;
  return {std::move(window),
          {{IDC_JOB_COMPRESS, [&logic] { logic.OnCompressClicked(); }},
           {IDC_JOB_TEST, [&logic] { logic.OnTestClicked(); }}},
          [&settings](HWND owner) { ShowCompressionOptions(owner, settings); }};
}

TJobBinding DecompressBinding(TJobView& view, TMainWindow& main) {
  TDlgDecoderOpt& settings = main.Settings().Decoder;
  auto window = std::make_unique<TDecompressWindow>(view, main.SharedFolder(), settings,
                                                    main.DecompressProcessorOptions());
  TDecompressWindow& logic = *window;
  return {std::move(window),
          {{IDC_JOB_DECOMPRESS, [&logic] { logic.OnDecompressClicked(); }},
           {IDC_JOB_TEST, [&logic] { logic.OnTestClicked(); }}},
          [&settings](HWND owner) { ShowDecompressionOptions(owner, settings); }};
}

TJobBinding FileInfoBinding(TJobView& view, TMainWindow& main) {
  TDlgFileInfoOpt& settings = main.Settings().FileInfo;
  auto window = std::make_unique<TFileInfoWindow>(view, main.SharedFolder(), settings);
  TFileInfoWindow& logic = *window;
  return {std::move(window),
          {{IDC_JOB_START, [&logic] { logic.OnStartClicked(); }}},
          [&settings](HWND owner) { ShowFileInfoOptions(owner, settings); },
          kNoFileProgress};
}

TJobBinding MakeBinding(TJobKind kind, TJobView& view, TMainWindow& main) {
  switch (kind) {
    case TJobKind::Compress:
      return CompressBinding(view, main);
    case TJobKind::Decompress:
      return DecompressBinding(view, main);
    case TJobKind::FileInfo:
      break;
  }
  return FileInfoBinding(view, main);
}

// The log reads best in columns, so the text box gets a fixed-pitch font of the dialog's size.
class TLogFont {
 public:
  TLogFont(const TLogFont&) = delete;
  TLogFont& operator=(const TLogFont&) = delete;
  explicit TLogFont(HWND dialog) {
    LOGFONTA dialogFont{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof(dialogFont),
               &dialogFont);
    font_ = CreateFontA(dialogFont.lfHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        FIXED_PITCH | FF_MODERN, "Courier New");
  }
  ~TLogFont() {
    if (font_ != nullptr) DeleteObject(font_);
  }
  HFONT Handle() const { return font_; }

 private:
  HFONT font_ = nullptr;
};

// The read-only text box of the log. Every insertion into a visible edit control redraws its
// scroll bars and scrolls it, which under Wine costs milliseconds per line; a batch of a thousand
// files would spend most of its time there. So text gathers here and reaches the control in one
// piece when the refresh timer fires, or at once when the caller needs it shown.
class TLogBox {
 public:
  static constexpr UINT_PTR kRefreshTimer = 1;

  void Attach(HWND dialog, HWND edit) {
    dialog_ = dialog;
    edit_ = edit;
  }
  void Clear() {
    pending_.clear();
    empty_ = true;
    SetWindowTextW(edit_, L"");
  }
  void AppendLine(const std::string& text) {
    if (!empty_) pending_ += "\r\n";
    empty_ = false;
    Append(text);
  }
  void Append(const std::string& text) {
    pending_ += text;
    if (!timerSet_) timerSet_ = SetTimer(dialog_, kRefreshTimer, kRefreshMs, nullptr) != 0;
  }
  void Flush() {
    if (timerSet_) KillTimer(dialog_, kRefreshTimer);
    timerSet_ = false;
    if (pending_.empty()) return;
    // The caret to the end without asking for the length (the control clamps the position),
    // then insert there: no copy of the whole text, however long the log grows.
    SendMessageW(edit_, EM_SETSEL, INT_MAX, INT_MAX);
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Widen(pending_).c_str()));
    pending_.clear();
  }

 private:
  static constexpr UINT kRefreshMs = 100;

  HWND dialog_ = nullptr;
  HWND edit_ = nullptr;
  std::string pending_;
  bool empty_ = true;
  bool timerSet_ = false;
};

class TJobDialog final : public TModalDialog, public TJobView {
 public:
  TJobDialog(TJobKind kind, TMainWindow& main) : binding_(MakeBinding(kind, *this, main)) {}

  // TJobView
  void SetCaption(const std::string& caption) override { SetWindowCaption(Handle(), caption); }
  void SetText(TJobControl control, const std::string& text) override;
  void SetEnabled(TJobControl control, bool enabled) override;
  void SetAlert(TJobControl control, bool alert) override;
  void ClearLines() override { log_.Clear(); }
  void AppendLine(const std::string& text) override { log_.AppendLine(text); }
  void AppendToLastLine(const std::string& text) override { log_.Append(text); }
  bool AskYesNo(const std::string& question) override {
    return MessageBoxW(Handle(), Widen(question).c_str(), Widen(WindowText(Handle())).c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
  }
  std::vector<std::string> ChooseFiles(const TFileDialogRequest& request) override {
    return ChooseFilesToOpen(Handle(), request);
  }
  void ProcessPendingMessages() override;

 private:
  void OnInit() override;
  bool OnCommand(int id, int notification) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
  void ShowOwnControlsOnly();
  bool RunButton(int id);
  void RunBatch(int buttonId, const std::function<void()>& action);
  void AfterRun(int buttonId);
  void Focus(HWND control) { SendMessageW(Handle(), WM_NEXTDLGCTL, WPARAM(control), TRUE); }
  INT_PTR ColorStatic(HWND control, HDC context);

  TJobBinding binding_;
  std::unique_ptr<TLogFont> logFont_;
  TLogBox log_;
  std::set<int> alerts_;
  // A quit request that the batch took from the queue while it let the window work: it belongs to
  // the message loops further out, which get it when the run is over.
  std::optional<int> quitCode_;
};

void TJobDialog::OnInit() {
  SetControlTexts(Handle(), kFixedTexts);
  ShowOwnControlsOnly();
  const HWND log = Item(IDC_JOB_EDIT_FILES);
  log_.Attach(Handle(), log);
  SendMessageW(log, EM_SETLIMITTEXT, 0, 0);  // a long batch outgrows the default 32 KB
  logFont_ = std::make_unique<TLogFont>(Handle());
  SendMessageW(log, WM_SETFONT, reinterpret_cast<WPARAM>(logFont_->Handle()), FALSE);
  binding_.Window->Open();
}

void TJobDialog::ShowOwnControlsOnly() {
  for (int id : kStartButtonIds) {
    const bool own = std::any_of(binding_.StartActions.begin(), binding_.StartActions.end(),
                                 [id](const auto& action) { return action.first == id; });
    ShowItem(Handle(), id, own);
  }
  ShowItem(Handle(), IDC_JOB_LABEL_FILE_PROGRESS, binding_.ShowsFileProgress);
  ShowItem(Handle(), IDC_JOB_FRAME_PROGRESS, binding_.ShowsFileProgress);
}

bool TJobDialog::OnCommand(int id, int) {
  TJobWindow& window = *binding_.Window;
  // The close box, Esc and "D&one" alike; refused while the batch runs.
  if (id == IDCANCEL || id == IDC_JOB_DONE) {
    if (window.OnCloseQuery(id == IDC_JOB_DONE)) Close(id == IDC_JOB_DONE ? IDOK : IDCANCEL);
    return true;
  }
  // Enter (IDOK) has no button here, and a hidden or disabled button does nothing.
  const HWND button = Item(id);
  if (button == nullptr || !IsWindowEnabled(button) || !IsWindowVisible(button)) return true;
  switch (id) {
    case IDC_JOB_ADD_FILES:
      window.OnAddFilesClicked();
      return true;
    case IDC_JOB_OPTIONS:
      binding_.ShowOptions(Handle());
      return true;
    case IDC_JOB_STOP:
      window.OnStopClicked();
      return true;
    default:
      return RunButton(id);
  }
}

bool TJobDialog::RunButton(int id) {
  for (const auto& [buttonId, action] : binding_.StartActions) {
    if (buttonId == id) {
      RunBatch(id, action);
      return true;
    }
  }
  return false;
}

// The batch runs in here until it ends; meanwhile it lets the window work through
// ProcessPendingMessages.
void TJobDialog::RunBatch(int buttonId, const std::function<void()>& action) {
  // An exception out of the batch ends the run too.
  struct TRunEnd {
    TJobDialog& dialog;
    int buttonId;
    ~TRunEnd() { dialog.AfterRun(buttonId); }
  } runEnd{*this, buttonId};
  action();
}

void TJobDialog::AfterRun(int buttonId) {
  // The keyboard goes back to the button that started the run (greying "&Stop" moved it on).
  const HWND button = Item(buttonId);
  if (IsWindowEnabled(button)) Focus(button);
  if (quitCode_) PostQuitMessage(*quitCode_);
  quitCode_.reset();
}

void TJobDialog::SetEnabled(TJobControl control, bool enabled) {
  const HWND item = Item(ControlId(control));
  // A button that goes grey with the keyboard focus would leave the keyboard nowhere.
  if (!enabled && GetFocus() == item) SendMessageW(Handle(), WM_NEXTDLGCTL, 0, FALSE);
  EnableWindow(item, enabled ? TRUE : FALSE);
  // While a batch runs, "&Stop" is the one button that works.
  if (enabled && control == TJobControl::butStop) Focus(item);
}

void TJobDialog::SetAlert(TJobControl control, bool alert) {
  const int id = ControlId(control);
  const bool changed = alert ? alerts_.insert(id).second : alerts_.erase(id) > 0;
  if (changed) InvalidateRect(Item(id), nullptr, TRUE);
}

void TJobDialog::SetText(TJobControl control, const std::string& text) {
  // A new action or path marks a new state of the window (files added, a run begun or ended):
  // the log must agree with it from then on.
  if (control == TJobControl::stAction || control == TJobControl::stPath) log_.Flush();
  SetItemText(Handle(), ControlId(control), text);
}

void TJobDialog::ProcessPendingMessages() {
  MSG message;
  // Once the program is asked to quit, the window takes no more input.
  while (!quitCode_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quitCode_ = int(message.wParam);
    } else if (!IsDialogMessageW(Handle(), &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

bool TJobDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (message == WM_TIMER && wParam == TLogBox::kRefreshTimer) {
    log_.Flush();
    return true;
  }
  if (message != WM_CTLCOLORSTATIC) return false;
  result = ColorStatic(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam));
  return result != 0;
}

INT_PTR TJobDialog::ColorStatic(HWND control, HDC context) {
  // The read-only text box keeps the look of a text box rather than turning grey.
  if (control == Item(IDC_JOB_EDIT_FILES)) {
    SetBkColor(context, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
  }
  if (alerts_.count(GetDlgCtrlID(control)) == 0) return 0;
  SetTextColor(context, RGB(255, 0, 0));
  SetBkColor(context, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace

void ShowJobWindow(HWND owner, TJobKind kind, TMainWindow& mainWindow) {
  TJobDialog dialog(kind, mainWindow);
  dialog.ShowModal(owner, IDD_JOB);
}

}  // namespace lym::win32

// What the Win32 dialogs of the desktop program share: a modal dialog bound to an object, the
// guard that keeps exceptions from unwinding through the system's frames, and control helpers.
// The program keeps its texts in UTF-8. Texts that may hold file or folder names cross into and out
// of the system through the wide calls: the manifest's UTF-8 code page for the ANSI calls is
// honoured by recent systems only, and elsewhere names beyond the local code page would be lost.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace lym::win32 {

// UTF-8 <-> UTF-16 for the wide calls. A sequence that does not convert becomes U+FFFD.
std::wstring Widen(const std::string& text);
std::string Narrow(std::wstring_view text);

// Every handler a dialog runs goes through the guard; the main window installs one that shows an
// escaping exception to the user. When the guard answers false the program ends.
using THandlerGuard = std::function<bool(const std::function<void()>&)>;
void SetHandlerGuard(THandlerGuard guard);
void RunHandler(const std::function<void()>& handler);

// A modal dialog from a template of the resource script, bound to this object for its lifetime.
class TModalDialog {
 public:
  TModalDialog(const TModalDialog&) = delete;
  TModalDialog& operator=(const TModalDialog&) = delete;

  // Runs the dialog; its result is what Close was given (IDCANCEL when closed by the system).
  INT_PTR ShowModal(HWND owner, int templateId);

 protected:
  TModalDialog() = default;
  virtual ~TModalDialog() = default;

  virtual void OnInit() = 0;
  // A command from a control; false leaves it to the default (IDCANCEL closes the dialog).
  virtual bool OnCommand(int id, int notification) = 0;
  // Any other message; true when handled, with the message's answer in result as a window
  // procedure would return it (a brush for WM_CTLCOLOR*, 0 for most notifications). The dialog
  // procedure hands it on the way the system expects: as its return value for the few messages
  // that are answered so, through DWLP_MSGRESULT for all others (WM_NOTIFY among them).
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

  HWND Handle() const { return handle_; }
  HWND Item(int id) const { return GetDlgItem(handle_, id); }
  void Close(INT_PTR result) { EndDialog(handle_, result); }

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR DispatchOther(UINT message, WPARAM wParam, LPARAM lParam);

  HWND handle_ = nullptr;
};

// The resource script leaves captions empty: every text the user sees comes from DesktopTexts.h
// and is set when the dialog opens.
struct TControlText {
  int Id;
  const char* Text;
};
void SetControlTexts(HWND dialog, std::span<const TControlText> texts);

void SetItemText(HWND dialog, int id, const std::string& text);
void SetWindowCaption(HWND window, const std::string& caption);
std::string WindowText(HWND window);
void SetChecked(HWND dialog, int id, bool checked);
bool IsChecked(HWND dialog, int id);
void EnableItem(HWND dialog, int id, bool enabled);
void ShowItem(HWND dialog, int id, bool visible);
// A radio group of the consecutive ids firstId .. firstId + count - 1: index selects one.
void CheckRadio(HWND dialog, int firstId, int count, int index);

}  // namespace lym::win32

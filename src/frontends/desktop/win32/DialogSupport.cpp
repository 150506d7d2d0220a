#include "DialogSupport.h"

#include <utility>

namespace lym::win32 {
namespace {

THandlerGuard& HandlerGuard() {
  static THandlerGuard guard;
  return guard;
}

// The messages whose answer is the dialog procedure's return value rather than DWLP_MSGRESULT
// (WM_INITDIALOG, the other one, never reaches OnMessage).
bool AnswersByReturnValue(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), size);
  return wide;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), size, nullptr,
                      nullptr);
  return narrow;
}

void SetHandlerGuard(THandlerGuard guard) { HandlerGuard() = std::move(guard); }

void RunHandler(const std::function<void()>& handler) {
  const THandlerGuard& guard = HandlerGuard();
  bool survived = false;
  if (guard) {
    survived = guard(handler);
  } else {
    try {
      handler();
      survived = true;
    } catch (...) {
    }
  }
  // Unwinding modal loops and a batch in the middle of its run would only prolong the damage.
  if (!survived) ExitProcess(1);
}

// Made by the wide call, the dialog's edit controls keep their texts in UTF-16; those of a dialog
// made by the narrow call keep them in the local code page, whatever the wide calls hand them.
INT_PTR TModalDialog::ShowModal(HWND owner, int templateId) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner,
                         Procedure, reinterpret_cast<LPARAM>(this));
}

bool TModalDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK TModalDialog::Procedure(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<TModalDialog*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    dialog->handle_ = window;
  }
  auto* dialog = reinterpret_cast<TModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  // Messages before WM_INITDIALOG (WM_SETFONT) find no object yet.
  return dialog == nullptr ? FALSE : dialog->Dispatch(message, wParam, lParam);
}

INT_PTR TModalDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      RunHandler([&] { OnInit(); });
      return TRUE;  // the system sets the focus
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      bool handled = false;
      RunHandler([&] { handled = OnCommand(id, HIWORD(wParam)); });
      if (!handled && id == IDCANCEL) Close(IDCANCEL);
      return TRUE;
    }
    default:
      return DispatchOther(message, wParam, lParam);
  }
}

INT_PTR TModalDialog::DispatchOther(UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  INT_PTR answer = 0;
  RunHandler([&] { handled = OnMessage(message, wParam, lParam, answer); });
  if (!handled) return FALSE;
  if (AnswersByReturnValue(message)) return answer;
  // Set only now: messages that the handler sent to this dialog meanwhile have set theirs.
  SetWindowLongPtrW(handle_, DWLP_MSGRESULT, answer);
  return TRUE;
}

void SetControlTexts(HWND dialog, std::span<const TControlText> texts) {
  for (const TControlText& text : texts) SetItemText(dialog, text.Id, text.Text);
}

void SetItemText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextW(dialog, id, Widen(text).c_str());
}

void SetWindowCaption(HWND window, const std::string& caption) {
  SetWindowTextW(window, Widen(caption).c_str());
}

std::string WindowText(HWND window) {
  std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
  const int length = GetWindowTextW(window, text.data(), int(text.size()));
  text.resize(size_t(length > 0 ? length : 0));
  return Narrow(text);
}

void SetChecked(HWND dialog, int id, bool checked) {
  CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void EnableItem(HWND dialog, int id, bool enabled) {
  EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

void ShowItem(HWND dialog, int id, bool visible) {
  ShowWindow(GetDlgItem(dialog, id), visible ? SW_SHOW : SW_HIDE);
}

void CheckRadio(HWND dialog, int firstId, int count, int index) {
  CheckRadioButton(dialog, firstId, firstId + count - 1, firstId + index);
}

}  // namespace lym::win32

#include "DialogSupport.h"

#include <exception>
#include <vector>

namespace lym::win32 {
namespace {

THandlerGuard& HandlerGuard() {
  static THandlerGuard guard;
  return guard;
}

}  // namespace

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

INT_PTR TModalDialog::ShowModal(HWND owner, int templateId) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner,
                         Procedure, reinterpret_cast<LPARAM>(this));
}

bool TModalDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK TModalDialog::Procedure(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<TModalDialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    dialog->handle_ = window;
  }
  auto* dialog = reinterpret_cast<TModalDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  // Messages before WM_INITDIALOG (WM_SETFONT) find no object yet.
  return dialog == nullptr ? FALSE : dialog->Dispatch(message, wParam, lParam);
}

INT_PTR TModalDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR result = FALSE;
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
    default: {
      bool handled = false;
      RunHandler([&] { handled = OnMessage(message, wParam, lParam, result); });
      return handled ? result : FALSE;
    }
  }
}

void SetControlTexts(HWND dialog, std::span<const TControlText> texts) {
  for (const TControlText& text : texts) SetDlgItemTextA(dialog, text.Id, text.Text);
}

void SetItemText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextA(dialog, id, text.c_str());
}

std::string WindowText(HWND window) {
  std::vector<char> text(size_t(GetWindowTextLengthA(window)) + 1, '\0');
  const int length = GetWindowTextA(window, text.data(), int(text.size()));
  return std::string(text.data(), size_t(length > 0 ? length : 0));
}

std::string ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

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

int CheckedRadio(HWND dialog, int firstId, int count) {
  for (int index = 0; index < count; ++index) {
    if (IsChecked(dialog, firstId + index)) return index;
  }
  return -1;
}

}  // namespace lym::win32

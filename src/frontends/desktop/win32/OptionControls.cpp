#include "OptionControls.h"

#include "DesktopTexts.h"
#include "FolderDialog.h"
#include "OptionDialogIds.h"

namespace lym::win32 {
namespace {

constexpr TControlText kButtonTexts[] = {{IDOK, texts::kOk}, {IDCANCEL, texts::kCancel}};

constexpr TControlText kOutputTexts[] = {
    {IDC_OUT_GROUP_OUTPUT, texts::kGroupOutput},
    {IDC_OUT_GROUP_DESTINATION, texts::kDestination},
    {IDC_OUT_DEST_SOURCE, texts::kSameAsSource},
    {IDC_OUT_DEST_USER, texts::kUserSpecified},
    {IDC_OUT_BROWSE, texts::kBrowse},
    {IDC_OUT_GROUP_PROTOCOL, texts::kGroupProtocol},
    {IDC_OUT_GROUP_LEVEL, texts::kLevel},
    {IDC_OUT_LEVEL_OFF, texts::kLevelOff},
    {IDC_OUT_LEVEL_RESULT, texts::kLevelResult},
    {IDC_OUT_APPEND, texts::kAppend},
};

constexpr int kDestinationCount = 2;

}  // namespace

void TOptionDialog::OnInit() {
  SetWindowCaption(Handle(), caption_);
  SetControlTexts(Handle(), kButtonTexts);
  SetControlTexts(Handle(), texts_);
  Load();
}

bool TOptionDialog::OnCommand(int id, int notification) {
  if (id != IDOK) return OnControl(id, notification);
  Store();
  Close(IDOK);
  return true;
}

void FillList(HWND window, int id, std::span<const char* const> items, int index) {
  for (const char* item : items) {
    SendDlgItemMessageA(window, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
  SendDlgItemMessageA(window, id, CB_SETCURSEL, WPARAM(index), 0);
}

int ListIndex(HWND window, int id, int fallback) {
  const LRESULT index = SendDlgItemMessageA(window, id, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? fallback : int(index);
}

void EnableItems(HWND window, std::initializer_list<int> ids, bool enabled) {
  for (const int id : ids) EnableItem(window, id, enabled);
}

void TOutputGroups::Load(HWND window) const {
  SetControlTexts(window, kOutputTexts);
  CheckRadio(window, IDC_OUT_DEST_SOURCE, kDestinationCount, state_.DestinationChoice);
  SetItemText(window, IDC_OUT_FOLDER, state_.UserFolder);
  CheckRadio(window, IDC_OUT_LEVEL_OFF, levelCount_, state_.ProtocolLevel);
  SetChecked(window, IDC_OUT_APPEND, state_.AppendProtocol);
  ShowRules(window);
}

bool TOutputGroups::Clicked(HWND window, int id) {
  switch (id) {
    case IDC_OUT_DEST_SOURCE:
    case IDC_OUT_DEST_USER: state_.DestinationChoice = uint8_t(id - IDC_OUT_DEST_SOURCE); break;
    case IDC_OUT_LEVEL_OFF:
    case IDC_OUT_LEVEL_RESULT:
    case IDC_OUT_LEVEL_DIAGNOSTICS: state_.ProtocolLevel = uint8_t(id - IDC_OUT_LEVEL_OFF); break;
    case IDC_OUT_APPEND: state_.AppendProtocol = IsChecked(window, IDC_OUT_APPEND); break;
    case IDC_OUT_BROWSE: Browse(window); break;
    default: return false;
  }
  ShowRules(window);
  return true;
}

void TOutputGroups::ShowRules(HWND window) const {
  EnableItems(window, {IDC_OUT_FOLDER, IDC_OUT_BROWSE}, state_.FolderEnabled());
  EnableItem(window, IDC_OUT_APPEND, state_.AppendEnabled());
}

void TOutputGroups::Browse(HWND window) {
  const std::optional<std::string> folder =
      BrowseForFolder(GetAncestor(window, GA_ROOT), state_.UserFolder);
  if (!folder) return;
  state_.Browsed(*folder);
  SetItemText(window, IDC_OUT_FOLDER, state_.UserFolder);
}

}  // namespace lym::win32

// "Compression Options" with its pages "&Encoder" and "&Output", and the encoder details it opens.
#include "OptionDialogs.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <string>

#include "DesktopTexts.h"
#include "OptionControls.h"
#include "OptionDialogIds.h"
#include "OptionWindows.h"

namespace lym::win32 {
namespace {

class TEncoderDetailsDialog final : public TOptionDialog {
 public:
  explicit TEncoderDetailsDialog(TEncoderDetailsState& details)
      : TOptionDialog(texts::kDetailsCaption, kTexts), details_(details), state_(details) {}

 private:
  static constexpr TControlText kTexts[] = {
      {IDC_DET_PREDICTORS_LABEL, texts::kPredictors},
      {IDC_DET_OPTIMIZE_QUANTIZATION, texts::kOptimizeQuantization},
      {IDC_DET_APPLY_WINDOW, texts::kApplyWindow},
      {IDC_DET_FRAME_DURATION_LABEL, texts::kFrameDuration},
      {IDC_DET_GROUP_DECORRELATION, texts::kChannelDecorrelation},
      {IDC_DET_PREDICTION, texts::kPrediction},
      {IDC_DET_CHECK_BOTH, texts::kCheckBoth},
      {IDC_DET_DIFFERENCE, texts::kDifference},
      {IDC_DET_MID_SIDE, texts::kMidSide},
      {IDC_DET_GROUP_PARTITION, texts::kPartitionCalculator},
      {IDC_DET_RESOLUTION_LABEL, texts::kResolution},
      {IDC_DET_VALIDATE, texts::kValidate},
      {IDC_DET_GROUP_BIT_CODER, texts::kBitCoder},
      {IDC_DET_OPTIMIZE_CHOICE, texts::kOptimizeChoice},
      {IDC_DET_GROUP_PREFILTER, texts::kPrefilter},
      {IDC_DET_SENSITIVITY_LABEL, texts::kSensitivity},
  };

  void Load() override {
    FillList(Handle(), IDC_DET_PREDICTORS, texts::kPredictorItems, state_.PredictorsIndex);
    FillList(Handle(), IDC_DET_FRAME_DURATION, texts::kFrameDurationItems,
             state_.FrameDurationIndex);
    FillList(Handle(), IDC_DET_RESOLUTION, texts::kResolutionItems, state_.ResolutionIndex);
    FillList(Handle(), IDC_DET_SENSITIVITY, texts::kSensitivityItems, state_.SensitivityIndex);
    SetChecked(Handle(), IDC_DET_OPTIMIZE_QUANTIZATION, state_.OptimizeQuantization);
    SetChecked(Handle(), IDC_DET_APPLY_WINDOW, state_.ApplyWindow);
    SetChecked(Handle(), IDC_DET_VALIDATE, state_.Validate);
    SetChecked(Handle(), IDC_DET_OPTIMIZE_CHOICE, state_.OptimizeChoice);
    SetChecked(Handle(), IDC_DET_PREDICTION, state_.Prediction());
    SetChecked(Handle(), IDC_DET_DIFFERENCE, state_.Difference());
    ShowStereoRules();
  }

  void Store() override { details_ = state_; }

  bool OnControl(int id, int notification) override {
    if (notification == CBN_SELCHANGE) return ListChanged(id);
    if (notification == BN_CLICKED) return BoxClicked(id, IsChecked(Handle(), id));
    return false;
  }

  bool ListChanged(int id) {
    switch (id) {
      case IDC_DET_PREDICTORS: return ReadList(id, state_.PredictorsIndex);
      case IDC_DET_FRAME_DURATION: return ReadList(id, state_.FrameDurationIndex);
      case IDC_DET_RESOLUTION: return ReadList(id, state_.ResolutionIndex);
      case IDC_DET_SENSITIVITY: return ReadList(id, state_.SensitivityIndex);
      default: return false;
    }
  }

  bool ReadList(int id, int& index) const {
    index = ListIndex(Handle(), id, index);
    return true;
  }

  bool BoxClicked(int id, bool checked) {
    switch (id) {
      case IDC_DET_OPTIMIZE_QUANTIZATION: state_.OptimizeQuantization = checked; break;
      case IDC_DET_APPLY_WINDOW: state_.ApplyWindow = checked; break;
      case IDC_DET_VALIDATE: state_.Validate = checked; break;
      case IDC_DET_OPTIMIZE_CHOICE: state_.OptimizeChoice = checked; break;
      case IDC_DET_PREDICTION: state_.SetPrediction(checked); break;
      case IDC_DET_CHECK_BOTH: state_.SetCheckBoth(checked); break;
      case IDC_DET_DIFFERENCE: state_.SetDifference(checked); break;
      case IDC_DET_MID_SIDE: state_.SetMidSide(checked); break;
      default: return false;
    }
    ShowStereoRules();
    return true;
  }

  void ShowStereoRules() const {
    SetChecked(Handle(), IDC_DET_CHECK_BOTH, state_.CheckBoth());
    EnableItem(Handle(), IDC_DET_CHECK_BOTH, state_.CheckBothEnabled());
    SetChecked(Handle(), IDC_DET_MID_SIDE, state_.MidSide());
    EnableItem(Handle(), IDC_DET_MID_SIDE, state_.MidSideEnabled());
  }

  TEncoderDetailsState& details_;
  TEncoderDetailsState state_;
};

// The pages are child dialogs whose controls the compression options handle as their own. The
// options window's answer comes back from its DWLP_MSGRESULT and goes on through the page's.
INT_PTR CALLBACK PageProcedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COMMAND && message != WM_NOTIFY) return FALSE;
  SetWindowLongPtrW(page, DWLP_MSGRESULT, SendMessageW(GetParent(page), message, wParam, lParam));
  return TRUE;
}

// On either side the header insets a heading's text by a margin of three edges inside a frame one
// edge wide; the list view's own fitting to the heading leaves that out.
constexpr int kHeadingInsetEdges = 3 + 1;

// Wide enough for every cell and for the heading.
void FitGridColumn(HWND grid, int column) {
  SendMessageA(grid, LVM_SETCOLUMNWIDTH, WPARAM(column), LVSCW_AUTOSIZE);
  const LRESULT cells = SendMessageA(grid, LVM_GETCOLUMNWIDTH, WPARAM(column), 0);
  const std::string heading = PresetGridCell(0, column);
  const LRESULT headingText =
      SendMessageA(grid, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(heading.c_str()));
  const LRESULT headingWidth = headingText + 2 * kHeadingInsetEdges * GetSystemMetrics(SM_CXEDGE);
  SendMessageA(grid, LVM_SETCOLUMNWIDTH, WPARAM(column), std::max(cells, headingWidth));
}

// The preset grid: the list view's header is the heading row, item i the grid's row i + 1.
void FillPresetGrid(HWND grid) {
  SendMessageA(grid, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  for (int column = 0; column < kPresetGridColumns; ++column) {
    std::string heading = PresetGridCell(0, column);
    LVCOLUMNA header{};
    header.mask = LVCF_TEXT | LVCF_SUBITEM;
    header.pszText = heading.data();
    header.iSubItem = column;
    SendMessageA(grid, LVM_INSERTCOLUMNA, WPARAM(column), reinterpret_cast<LPARAM>(&header));
  }
  for (int row = 1; row < kPresetGridRows; ++row) {
    for (int column = 0; column < kPresetGridColumns; ++column) {
      std::string text = PresetGridCell(row, column);
      LVITEMA cell{};
      cell.mask = LVIF_TEXT;
      cell.iItem = row - 1;
      cell.iSubItem = column;
      cell.pszText = text.data();
      const UINT message = column == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA;
      SendMessageA(grid, message, WPARAM(row - 1), reinterpret_cast<LPARAM>(&cell));
    }
  }
  for (int column = 0; column < kPresetGridColumns; ++column) FitGridColumn(grid, column);
}

int SelectedGridRow(HWND grid) {
  return int(SendMessageA(grid, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)) + 1;
}

void SetGridItemState(HWND grid, int item, UINT state) {
  LVITEMA change{};
  change.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  change.state = state;
  SendMessageA(grid, LVM_SETITEMSTATE, WPARAM(item), reinterpret_cast<LPARAM>(&change));
}

class TCompressionOptionsDialog final : public TOptionDialog {
 public:
  explicit TCompressionOptionsDialog(TCompressionSettings& settings)
      : TOptionDialog(texts::kEncoderCaption, {}),
        settings_(settings),
        state_(settings),
        output_(state_.Output, kProtocolLevels) {}

 private:
  enum TPage { kEncoderPage, kOutputPage, kPageCount };
  static constexpr int kProtocolLevels = 3;  // Off, Result, Result and diagnostics
  static constexpr TControlText kEncoderTexts[] = {
      {IDC_ENC_GROUP_PRESETS, texts::kGroupPresets},
      {IDC_ENC_PRESET_TURBO, texts::kPresetButtons[0]},
      {IDC_ENC_PRESET_FAST, texts::kPresetButtons[1]},
      {IDC_ENC_PRESET_NORMAL, texts::kPresetButtons[2]},
      {IDC_ENC_PRESET_HIGH, texts::kPresetButtons[3]},
      {IDC_ENC_PRESET_EXTRA, texts::kPresetButtons[4]},
      {IDC_ENC_GROUP_EVALUATION, texts::kGroupEvaluation},
      {IDC_ENC_EVALUATION_STANDARD, texts::kEvaluationButtons[0]},
      {IDC_ENC_EVALUATION_EXTRA, texts::kEvaluationButtons[1]},
      {IDC_ENC_EVALUATION_MAX, texts::kEvaluationButtons[2]},
      {IDC_ENC_VERIFY, texts::kVerify},
      {IDC_ENC_DETAILS, texts::kDetails},
  };
  static constexpr TControlText kOutputTexts[] = {
      {IDC_OUT_OVERWRITE, texts::kOverwriteLym},
      {IDC_OUT_WAVE_META, texts::kSaveWaveMeta},
      {IDC_OUT_LEVEL_DIAGNOSTICS, texts::kLevelDiagnostics},
  };
  static_assert(std::size(texts::kPresetButtons) == kPresetCount);
  static_assert(std::size(texts::kEvaluationButtons) == kLevelCount);

  void Load() override {
    CreatePages();
    HWND encoder = pages_[kEncoderPage];
    SetControlTexts(encoder, kEncoderTexts);
    SetChecked(encoder, IDC_ENC_VERIFY, state_.Encoder().Verify);
    FillPresetGrid(Grid());
    ShowPresetChoice();

    HWND output = pages_[kOutputPage];
    SetControlTexts(output, kOutputTexts);
    SetChecked(output, IDC_OUT_OVERWRITE, state_.Overwrite);
    SetChecked(output, IDC_OUT_WAVE_META, state_.SaveWaveMeta);
    output_.Load(output);
    ShowPage(kEncoderPage);
  }

  void Store() override { state_.Store(settings_); }

  void CreatePages() {
    HWND tabs = Item(IDC_ENC_TABS);
    constexpr const char* kTabTexts[kPageCount] = {texts::kPageEncoder, texts::kPageOutput};
    for (int page = 0; page < kPageCount; ++page) {
      TCITEMA tab{};
      tab.mask = TCIF_TEXT;
      tab.pszText = const_cast<char*>(kTabTexts[page]);
      SendMessageA(tabs, TCM_INSERTITEMA, WPARAM(page), reinterpret_cast<LPARAM>(&tab));
    }
    RECT area;
    GetWindowRect(tabs, &area);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&area), 2);
    SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    constexpr int kTemplates[kPageCount] = {IDD_ENCODER_PAGE, IDD_OUTPUT_PAGE};
    constexpr int kPageIds[kPageCount] = {IDC_ENC_PAGE_ENCODER, IDC_ENC_PAGE_OUTPUT};
    for (int page = 0; page < kPageCount; ++page) {
      // By the wide call, as every dialog is (see TModalDialog::ShowModal).
      pages_[page] =
          CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTemplates[page]),
                             Handle(), PageProcedure, 0);
      SetWindowLongPtrW(pages_[page], GWLP_ID, kPageIds[page]);
      // With visual styles a page inside a tab control shows the tab's face, not the dialog's.
      EnableThemeDialogTexture(pages_[page], ETDT_ENABLETAB);
      // Above the tab control, which leaves its display area to them.
      SetWindowPos(pages_[page], HWND_TOP, area.left, area.top, area.right - area.left,
                   area.bottom - area.top, SWP_NOACTIVATE);
    }
  }

  void ShowPage(int shown) {
    SendMessageA(Item(IDC_ENC_TABS), TCM_SETCURSEL, WPARAM(shown), 0);
    for (int page = 0; page < kPageCount; ++page) {
      ShowWindow(pages_[page], page == shown ? SW_SHOW : SW_HIDE);
    }
  }

  HWND Grid() const { return GetDlgItem(pages_[kEncoderPage], IDC_ENC_GRID); }

  bool OnControl(int id, int notification) override {
    if (notification != BN_CLICKED) return false;
    return EncoderPageClicked(id) || OutputPageClicked(id);
  }

  bool EncoderPageClicked(int id) {
    if (id >= IDC_ENC_PRESET_TURBO && id < IDC_ENC_PRESET_TURBO + kPresetCount) {
      state_.SelectPreset(id - IDC_ENC_PRESET_TURBO);
    } else if (id >= IDC_ENC_EVALUATION_STANDARD &&
               id < IDC_ENC_EVALUATION_STANDARD + kLevelCount) {
      state_.SelectEvaluation(id - IDC_ENC_EVALUATION_STANDARD);
    } else if (id == IDC_ENC_VERIFY) {
      state_.SetVerify(IsChecked(pages_[kEncoderPage], id));
    } else if (id == IDC_ENC_DETAILS) {
      EditDetails();
    } else {
      return false;
    }
    ShowPresetChoice();
    return true;
  }

  bool OutputPageClicked(int id) {
    HWND output = pages_[kOutputPage];
    switch (id) {
      case IDC_OUT_OVERWRITE: state_.Overwrite = IsChecked(output, id); return true;
      case IDC_OUT_WAVE_META: state_.SaveWaveMeta = IsChecked(output, id); return true;
      default: return output_.Clicked(output, id);
    }
  }

  void EditDetails() {
    TEncoderDetailsState details(state_.Encoder());
    if (TEncoderDetailsDialog(details).Run(Handle(), IDD_ENCODER_DETAILS)) {
      state_.ApplyDetails(details);
    }
  }

  bool OnMessage(UINT message, WPARAM, LPARAM lParam, INT_PTR& result) override {
    if (message != WM_NOTIFY) return false;
    const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
    result = 0;
    if (header.idFrom == IDC_ENC_TABS && header.code == TCN_SELCHANGE) {
      ShowPage(int(SendMessageA(header.hwndFrom, TCM_GETCURSEL, 0, 0)));
      return true;
    }
    if (header.idFrom == IDC_ENC_GRID) return GridNotified(header);
    return false;
  }

  // A row that the user selects, by mouse or by keyboard, selects its combination; a click also
  // does so on the row already marked, and a click beside the rows keeps the mark.
  bool GridNotified(const NMHDR& header) {
    if (header.code == LVN_ITEMCHANGED) {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      const bool selected =
          (change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED);
      if (!selected || markingGrid_) return false;
      state_.ClickGridRow(change.iItem + 1);
    } else if (header.code == NM_CLICK) {
      state_.ClickGridRow(reinterpret_cast<const NMITEMACTIVATE&>(header).iItem + 1);
    } else {
      return false;
    }
    ShowPresetChoice();
    return true;
  }

  // The radios and the grid's mark follow the combination that the settings amount to.
  void ShowPresetChoice() {
    HWND encoder = pages_[kEncoderPage];
    CheckRadio(encoder, IDC_ENC_PRESET_TURBO, kPresetCount, state_.Preset());
    CheckRadio(encoder, IDC_ENC_EVALUATION_STANDARD, kLevelCount, state_.Evaluation());
    const int row = state_.MarkedGridRow();
    HWND grid = Grid();
    if (SelectedGridRow(grid) == row) return;
    markingGrid_ = true;
    SetGridItemState(grid, -1, 0);
    SetGridItemState(grid, row - 1, LVIS_SELECTED | LVIS_FOCUSED);
    SendMessageA(grid, LVM_ENSUREVISIBLE, WPARAM(row - 1), FALSE);
    markingGrid_ = false;
  }

  TCompressionSettings& settings_;
  TEncoderOptState state_;
  TOutputGroups output_;
  std::array<HWND, kPageCount> pages_{};
  bool markingGrid_ = false;  // the grid's notifications report our own marking
};

}  // namespace

bool ShowCompressionOptions(HWND owner, TCompressionSettings& settings) {
  TCompressionOptionsDialog dialog(settings);
  return dialog.Run(owner, IDD_ENCODER_OPTIONS);
}

}  // namespace lym::win32

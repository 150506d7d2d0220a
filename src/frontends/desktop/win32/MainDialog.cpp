#include "MainDialog.h"

#include "DesktopTexts.h"
#include "JobDialogIds.h"
#include "JobDialogs.h"
#include "OptionDialogs.h"

namespace lym::win32 {
namespace {

constexpr TControlText kMainTexts[] = {
    {IDC_MAIN_COMPRESS, texts::kMainCompress}, {IDC_MAIN_DECOMPRESS, texts::kMainDecompress},
    {IDC_MAIN_FILEINFO, texts::kMainFileInfo}, {IDC_MAIN_OPTIONS, texts::kMainOptions},
    {IDC_MAIN_ABOUT, texts::kMainAbout},       {IDC_MAIN_EXIT, texts::kMainExit},
};

class TAboutDialog final : public TModalDialog {
 private:
  void OnInit() override {
    const std::string product = texts::kAboutProduct.Text();
    const std::string version = MainCaption();
    const std::string formats = texts::kAboutFormats.Text();
    const TControlText aboutTexts[] = {
        {IDC_ABOUT_PRODUCT, product.c_str()},
        {IDC_ABOUT_VERSION, version.c_str()},
        {IDC_ABOUT_FORMATS, formats.c_str()},
        {IDOK, texts::kAboutOk},
    };
    SetWindowCaption(Handle(), texts::kAboutTitle.Text());
    SetControlTexts(Handle(), aboutTexts);
  }
  bool OnCommand(int id, int) override {
    if (id != IDOK) return false;
    Close(IDOK);
    return true;
  }
};

}  // namespace

void TMainDialog::Run() { ShowModal(nullptr, IDD_MAIN); }

void TMainDialog::SetCaption(const std::string& caption) { SetWindowCaption(Handle(), caption); }

void TMainDialog::ShowMessage(const std::string& text) {
  MessageBoxW(Handle(), Widen(text).c_str(), nullptr, MB_OK | MB_ICONERROR);
}

void TMainDialog::OnInit() {
  SetControlTexts(Handle(), kMainTexts);
  window_.Open();
}

bool TMainDialog::OnCommand(int id, int) {
  switch (id) {
    case IDC_MAIN_COMPRESS:
      ShowJobWindow(Handle(), TJobKind::Compress, window_);
      return true;
    case IDC_MAIN_DECOMPRESS:
      ShowJobWindow(Handle(), TJobKind::Decompress, window_);
      return true;
    case IDC_MAIN_FILEINFO:
      ShowJobWindow(Handle(), TJobKind::FileInfo, window_);
      return true;
    case IDC_MAIN_OPTIONS:
      ShowGeneralOptions(Handle(), window_.Settings().Compression.Options, window_.Features());
      return true;
    case IDC_MAIN_ABOUT: {
      TAboutDialog about;
      about.ShowModal(Handle(), IDD_ABOUT);
      return true;
    }
    case IDC_MAIN_EXIT:
      Close(IDOK);
      return true;
    default:
      return false;
  }
}

}  // namespace lym::win32

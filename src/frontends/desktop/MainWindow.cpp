#include "MainWindow.h"

#include <exception>

#include "DesktopTexts.h"
#include "lym/Version.h"

namespace lym {

std::string MainCaption() { return std::string(texts::kMainCaptionPrefix) + kLymVersionText; }

TMainWindow::TMainWindow(TMainView& view, const TProcessorFeatures& features,
                         const std::string& currentFolder)
    : view_(view), features_(features), sharedFolder_(currentFolder) {
  // The file dialog starts inside the folder, hence the separator.
  if (!sharedFolder_.empty() && !IsFolderSeparator(sharedFolder_.back())) {
    sharedFolder_ += kFolderSeparator;
  }
}

bool TMainWindow::RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (const std::exception& e) {
    view_.ShowMessage(e.what());
  } catch (...) {
    view_.ShowMessage(texts::kUnknownException);
  }
  return false;
}

}  // namespace lym

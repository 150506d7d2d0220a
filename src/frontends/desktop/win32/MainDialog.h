// The main window "LYM - V 1.0.1": starts the job windows, the general options and the about box.
#pragma once

#include <string>

#include "DialogSupport.h"
#include "MainWindow.h"

namespace lym::win32 {

class TMainDialog final : public TModalDialog, public TMainView {
 public:
  TMainDialog(const TProcessorFeatures& features, const std::string& currentFolder)
      : window_(*this, features, currentFolder) {}

  TMainWindow& Window() { return window_; }
  // Shows the window until the user ends the program.
  void Run();

  // TMainView
  void SetCaption(const std::string& caption) override;
  void ShowMessage(const std::string& text) override;

 private:
  void OnInit() override;
  bool OnCommand(int id, int notification) override;

  TMainWindow window_;
};

}  // namespace lym::win32

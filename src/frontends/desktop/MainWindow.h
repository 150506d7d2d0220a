// The logic of the main window: it owns the settings for the program's whole run, keeps the
// folder that one job window hands to the next, and computes what the windows it opens need.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "DesktopSettings.h"

namespace lym {

class TMainView {
 public:
  virtual ~TMainView() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
};

// "LYM - V 1.0.1".
std::string MainCaption();

class TMainWindow {
 public:
  // currentFolder: the program's current directory at start.
  TMainWindow(TMainView& view, const TProcessorFeatures& features,
              const std::string& currentFolder);

  void Open() { view_.SetCaption(MainCaption()); }

  TDesktopSettings& Settings() { return settings_; }
  const TProcessorFeatures& Features() const { return features_; }
  // The starting folder of the next job window, updated by each job window that closes.
  std::string& SharedFolder() { return sharedFolder_; }
  // The processor flags the decompression window gets.
  uint32_t DecompressProcessorOptions() const {
    return ProcessorOptions(features_, settings_.Compression.Options);
  }

  // Runs one handler of the message loop. An exception that escapes it is shown to the user;
  // false then tells the loop to end the program.
  bool RunGuarded(const std::function<void()>& handler);

 private:
  TMainView& view_;
  TProcessorFeatures features_;
  TDesktopSettings settings_;
  std::string sharedFolder_;
};

}  // namespace lym

// A stand-in for the player around in_lym.dll: it loads the DLL as the player does (LoadLibrary,
// the two exports, the version check, the player's fields filled, Init), gives it a hidden main
// window whose window procedure counts the end-of-file messages, a simulated output, visualisation
// stubs and a DSP that doubles every sample frame while active, and captures the DLL's message
// boxes by redirecting its import of MessageBoxA. The record's hooks are plain functions, so only
// one host exists at a time.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SimulatedOutput.h"
#include "plugin/WinampInterface.h"

namespace lym::test {

struct CapturedMessageBox {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};

// What the plug-in handed to the player's visualisation and information hooks.
struct HookLog {
  int savsaInits = 0;
  int savsaDeInits = 0;
  std::vector<int> visualTimestamps;  // SAAddPCMData's, one per block
  int vsaBlocks = 0;                  // VSAAddPCMData calls
  std::vector<int> kbps;              // SetInfo's, the first from Play
};

class PlayerHost {
 public:
  // Loads in_lym.dll from this program's folder; throws std::runtime_error when the player would
  // not take it.
  PlayerHost();
  // Stops, quits and unloads the plug-in, as the player does when it closes.
  ~PlayerHost();
  PlayerHost(const PlayerHost&) = delete;
  PlayerHost& operator=(const PlayerHost&) = delete;

  winamp::In_Module& Module() { return *module_; }
  HWND MainWindow() const { return window_; }
  SimulatedOutput& Output() { return output_; }

  // Hands the plug-in the output, as the player does before every Play, and plays file.
  int Play(const std::string& file);
  int ExtendedFileInfo(const std::string& file, const char* name, char* dest, size_t destLength);
  // The plug-in's answer to the query the player makes at load: file "", name "type".
  int TypeQueryAnswer() const { return typeQueryAnswer_; }

  void SetDspActive(bool active);
  HookLog Hooks() const;
  std::vector<CapturedMessageBox> TakeMessageBoxes();
  int EndOfFileMessages() const;

  // Handles the main window's messages, as the player's message loop does, until condition holds
  // (true) or the time limit passed (false).
  bool PumpUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds limit = std::chrono::seconds(5));
  // Pumps until the end-of-file message of the last Play arrived.
  bool WaitForEndOfFile();
  void PumpFor(std::chrono::milliseconds time);

  struct Shared;  // what the hooks see

 private:
  void Load();
  void FillPlayerFields();

  std::unique_ptr<Shared> shared_;
  SimulatedOutput output_;
  HWND window_ = nullptr;
  HMODULE dll_ = nullptr;
  winamp::In_Module* module_ = nullptr;
  int(__cdecl* extendedFileInfo_)(const char*, const char*, char*, size_t) = nullptr;
  int typeQueryAnswer_ = -1;
  int endOfFilesBeforePlay_ = 0;
};

}  // namespace lym::test

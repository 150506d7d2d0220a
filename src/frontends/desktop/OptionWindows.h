// What the option windows decide: each class holds the state of its window's controls, loaded
// from a settings record when the window opens, says which controls are enabled, and writes the
// controls back on "Ok" (Store). "Cancel" simply drops the object. The Win32 layer copies the
// state into the controls and every user change back into the state.
#pragma once

#include <cstdint>
#include <string>

#include "DesktopSettings.h"

namespace lym {

// "General Options".
class TGeneralOptState {
 public:
  TGeneralOptState(const TCompressOptions& options, const TProcessorFeatures& features);
  bool UseMmxEnabled() const { return features_.Mmx; }
  bool UseMmx = false;
  void Store(TCompressOptions& options) const;

 private:
  TProcessorFeatures features_;
};

// The "&Output" and "&Protocol" groups that the compression and decompression options share.
struct TOutputControls {
  uint8_t DestinationChoice = kDestinationSource;
  std::string UserFolder;
  uint8_t ProtocolLevel = kProtocolOff;
  bool AppendProtocol = false;

  bool FolderEnabled() const { return DestinationChoice == kDestinationUser; }  // text and button
  bool AppendEnabled() const { return ProtocolLevel != kProtocolOff; }
  // "&Browse...": shows the folder that the dialog returned.
  void Browsed(const std::string& folder) { UserFolder = ChosenFolder(folder); }
};

// "Decompression Options".
class TDecoderOptState {
 public:
  explicit TDecoderOptState(const TDlgDecoderOpt& settings);
  bool FramesEnabled() const { return DamagedFiles == kDamagedFilesRecover; }

  uint8_t DamagedFiles;
  uint8_t DamagedFrames;
  bool SaveErrorLog;
  TOutputControls Output;
  bool Overwrite;
  bool RestoreWaveMeta;

  void Store(TDlgDecoderOpt& settings) const;
};

// "File Information Options".
struct TFileInfoOptState {
  explicit TFileInfoOptState(const TDlgFileInfoOpt& settings) : Controls(settings) {}
  TDlgFileInfoOpt Controls;
  void Store(TDlgFileInfoOpt& settings) const { settings = Controls; }
};

// The preset grid: a heading row and one row per preset and evaluation level.
inline constexpr int kPresetGridRows = 1 + kPresetCount * kLevelCount;
inline constexpr int kPresetGridColumns = 7;
std::string PresetGridCell(int row, int column);

class TEncoderDetailsState;

// "Compression Options" with its pages "&Encoder" and "&Output".
class TEncoderOptState {
 public:
  explicit TEncoderOptState(const TCompressionSettings& settings);

  int Preset() const { return preset_; }
  int Evaluation() const { return evaluation_; }
  // Both replace every encoder setting but "&Verify" by the preset table's entry.
  void SelectPreset(int preset);
  void SelectEvaluation(int evaluation);
  // A click on a grid row selects its combination; the heading row selects nothing.
  void ClickGridRow(int row);
  int MarkedGridRow() const;
  void SetVerify(bool verify) { encoder_.Verify = verify; }
  const TEncoderSettings& Encoder() const { return encoder_; }
  // "Ok" in "&Details...": its fields replace the settings, and the window marks the
  // combination they now amount to.
  void ApplyDetails(const TEncoderDetailsState& details);

  TOutputControls Output;
  bool Overwrite = false;
  bool SaveWaveMeta = true;

  void Store(TCompressionSettings& settings) const;

 private:
  void Select(int preset, int evaluation);
  void SetEncoder(const TEncoderSettings& encoder);

  TEncoderSettings encoder_;
  int preset_ = kDefaultPreset;
  int evaluation_ = kDefaultLevel;
};

// "Encoder details of codec 0 (All-in-one)": list and radio indexes as the controls show them.
class TEncoderDetailsState {
 public:
  explicit TEncoderDetailsState(const TEncoderSettings& settings);

  int PredictorsIndex = 0;     // into texts::kPredictorItems
  int FrameDurationIndex = 0;  // the frame size code 0..3
  int ResolutionIndex = 0;     // 0..2
  int SensitivityIndex = 0;    // 0 Off, 1..3 pre-filter on at sensitivity 0..2
  bool OptimizeQuantization = false;
  bool ApplyWindow = false;
  bool Validate = false;
  bool OptimizeChoice = false;

  bool Prediction() const { return prediction_; }
  bool CheckBoth() const { return checkBoth_; }
  bool Difference() const { return difference_; }
  bool MidSide() const { return midSide_; }
  // Switching a mode off also unchecks the box that depends on it.
  void SetPrediction(bool on);
  void SetCheckBoth(bool on) { checkBoth_ = on && prediction_; }
  void SetDifference(bool on);
  void SetMidSide(bool on) { midSide_ = on && difference_; }
  bool CheckBothEnabled() const { return prediction_; }
  bool MidSideEnabled() const { return difference_; }

  // Every field but Verify, which the details do not show.
  void Store(TEncoderSettings& settings) const;

 private:
  bool prediction_ = false;
  bool checkBoth_ = false;
  bool difference_ = false;
  bool midSide_ = false;
};

}  // namespace lym

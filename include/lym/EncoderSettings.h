// The encoder settings a user chooses: the record every front end fills, the five presets at three
// evaluation levels, and their names as the program shows them.
#pragma once

#include <cstdint>

namespace lym {

inline constexpr int kPresetCount = 5;
inline constexpr int kLevelCount = 3;
// Shown in file information and offered by the option window, so they must not change.
inline constexpr const char* kPresetNames[kPresetCount] = {"Turbo", "Fast", "Normal", "High",
                                                           "Extra"};
inline constexpr const char* kLevelNames[kLevelCount] = {"Standard", "Extra", "Max"};

inline constexpr int kDefaultPreset = 2;  // "Normal"
inline constexpr int kDefaultLevel = 0;   // "Standard"

// A default-constructed record holds the program's default settings, "Normal" at "Standard".
struct TEncoderSettings {
  int32_t Predictors = 64;  // upper bound of the predictor order
  bool OptimizeQuantization = true;
  bool ApplyWindow = true;
  int32_t FrameSizeCode = 1;  // see CalcFrameSamples
  uint8_t Resolution = 1;     // sub-frame grid of 64, 128, 256 or 512 units per second
  int32_t MaxSubFrames = 0;   // 0 or less: follow the frame size
  bool Validate = false;
  bool Prediction = true;
  bool CheckBoth = true;
  bool Difference = true;
  bool MidSide = true;
  bool OptimizeChoice = false;
  bool PreFilter = false;
  uint8_t Sensitivity = 0;  // pre-filter sensitivity 0..2
  bool Verify = false;      // read by the stream encoder, not the frame encoder

  bool operator==(const TEncoderSettings&) const = default;
};

// preset 0..4, level 0..2; range errors otherwise.
const TEncoderSettings& PresetSettings(int preset, int level);
inline TEncoderSettings DefaultEncoderSettings() {
  return PresetSettings(kDefaultPreset, kDefaultLevel);
}

// The preset (0..4) and evaluation level (0..2) that settings amount to, as streams record them.
// Both expect a frame size code that the stream's rate allows (codes 0..3 at the common rates).
int ClassifyPreset(const TEncoderSettings& settings);
int ClassifyLevel(const TEncoderSettings& settings);

}  // namespace lym

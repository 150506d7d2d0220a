#include "codec/EncoderPresets.h"

#include "codec/FrameDecoder.h"
#include "codec/FrameLength.h"
#include "codec/Prediction.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int kMaxLevel = kLevelCount - 1;

// Columns: Predictors, OptimizeQuantization, ApplyWindow, FrameSizeCode, Resolution, MaxSubFrames,
// Validate, Prediction, CheckBoth, Difference, MidSide, OptimizeChoice, PreFilter, Sensitivity,
// Verify.
constexpr TEncoderSettings kPresetTable[kPresetCount][kLevelCount] = {
    {// Turbo
     {16, false, true, 0, 0, 0, false, false, false, true, false, false, false, 0, false},
     {16, true, true, 0, 1, 0, false, false, false, true, true, false, false, 0, false},
     {16, true, true, 0, 2, 0, true, false, false, true, true, true, false, 0, false}},
    {// Fast
     {32, false, true, 1, 0, 0, false, true, false, true, false, false, false, 0, false},
     {32, true, true, 1, 1, 0, false, true, true, true, true, false, false, 0, false},
     {32, true, true, 1, 2, 0, true, true, true, true, true, true, false, 0, false}},
    {// Normal
     {64, true, true, 1, 1, 0, false, true, true, true, true, false, false, 0, false},
     {64, true, true, 1, 1, 0, true, true, true, true, true, false, false, 0, false},
     {64, true, true, 1, 2, 0, true, true, true, true, true, true, false, 0, false}},
    {// High
     {128, true, true, 2, 1, 0, false, true, true, true, true, false, true, 1, false},
     {128, true, true, 2, 1, 0, true, true, true, true, true, false, true, 1, false},
     {128, true, true, 2, 2, 0, true, true, true, true, true, true, true, 1, false}},
    {// Extra
     {256, true, true, 3, 1, 0, false, true, true, true, true, true, true, 1, false},
     {256, true, true, 3, 1, 0, true, true, true, true, true, true, true, 1, false},
     {256, true, true, 3, 2, 0, true, true, true, true, true, true, true, 1, false}},
};

// Sub-frames a frame may be split into when the settings leave it open: short frames gain little
// from more predictors than their length can pay for.
int32_t SubFramesForFrameSize(int32_t frameSizeCode) {
  if (frameSizeCode <= 1) return 3;
  if (frameSizeCode == 2) return 4;
  return kMaxSubFrames;
}

int32_t SubFramesFor(const TEncoderSettings& settings) {
  if (settings.MaxSubFrames <= 0) return SubFramesForFrameSize(settings.FrameSizeCode);
  // The partition search and the frame layout hold no more than this.
  return settings.MaxSubFrames < kMaxSubFrames ? settings.MaxSubFrames : kMaxSubFrames;
}

int32_t FrameSamplesFor(TEncoderSettings& settings, int32_t sampleRate) {
  const char* where = "MakeFrameEncoderOptions";
  if (settings.FrameSizeCode < 0 || settings.FrameSizeCode > kMaxFrameSizeCode) {
    throw EzqArgumentOutOfRange(where, settings.FrameSizeCode, "AFrameSizeCode");
  }
  int32_t code = settings.FrameSizeCode;
  int32_t frameSamples = 0;
  CalcFrameSamples(sampleRate, code, frameSamples);
  if (frameSamples < 1) throw EzqArgumentOutOfRange(where, sampleRate, "ASampleRate");
  settings.FrameSizeCode = code;  // only once it describes a usable frame
  return frameSamples;
}

}  // namespace

const char* PresetNameOf(int32_t preset) {
  return preset >= 0 && preset < kPresetCount ? kPresetNames[preset] : "Unknown";
}

const char* LevelNameOf(int32_t level) {
  return level >= 0 && level < kLevelCount ? kLevelNames[level] : "Unknown";
}

const TEncoderSettings& PresetSettings(int preset, int level) {
  const char* where = "PresetSettings";
  if (preset < 0 || preset >= kPresetCount) throw EzqArgumentOutOfRange(where, preset, "APreset");
  if (level < 0 || level >= kLevelCount) throw EzqArgumentOutOfRange(where, level, "ALevel");
  return kPresetTable[preset][level];
}

int32_t MaxOrderIndexFor(int32_t predictors) {
  int32_t index = 0;
  while (index + 1 < kOrderCount && kOrderTable[index + 1] <= predictors) ++index;
  return index;
}

TFrameEncoderOptions MakeFrameEncoderOptions(TEncoderSettings& settings, int32_t sampleRate) {
  TFrameEncoderOptions options;
  options.FrameSamples = FrameSamplesFor(settings, sampleRate);
  options.QuantSearchMode = settings.OptimizeQuantization ? kQuantSearchOptimal : 0;
  options.MaxOrderIndex = MaxOrderIndexFor(settings.Predictors);
  options.ApplyWindow = settings.ApplyWindow;
  options.ResolutionIndex = settings.Resolution;
  options.MaxSubFrames = SubFramesFor(settings);
  options.Validate = settings.Validate;
  options.Prediction = settings.Prediction;
  options.CheckBoth = settings.CheckBoth;
  options.Difference = settings.Difference;
  options.MidSide = settings.MidSide;
  options.OptimizeChoice = settings.OptimizeChoice;
  options.PreFilter = settings.PreFilter;
  options.Sensitivity = settings.Sensitivity;
  return options;
}

int ClassifyPreset(const TEncoderSettings& s) {
  if (s.Predictors <= 16 && s.FrameSizeCode <= 0 && !s.Prediction && !s.PreFilter) return 0;
  if (s.Predictors <= 32 && s.FrameSizeCode <= 1 && !s.PreFilter) return 1;
  if (s.Predictors <= 64 && s.FrameSizeCode <= 1 && !s.PreFilter) return 2;
  if (s.Predictors <= 128 && s.FrameSizeCode <= 2) return 3;
  return 4;
}

int ClassifyLevel(const TEncoderSettings& settings) {
  const int preset = ClassifyPreset(settings);
  for (int level = kMaxLevel; level > 0; --level) {
    if (!IsWeakerThan(settings, PresetSettings(preset, level))) return level;
  }
  return 0;
}

bool IsWeakerThan(const TEncoderSettings& s, const TEncoderSettings& r) {
  const auto lacks = [](bool mine, bool theirs) { return theirs && !mine; };
  return lacks(s.OptimizeQuantization, r.OptimizeQuantization) || s.Resolution < r.Resolution ||
         s.MaxSubFrames < r.MaxSubFrames || lacks(s.Validate, r.Validate) ||
         lacks(s.Prediction, r.Prediction) || lacks(s.CheckBoth, r.CheckBoth) ||
         lacks(s.Difference, r.Difference) || lacks(s.MidSide, r.MidSide) ||
         lacks(s.OptimizeChoice, r.OptimizeChoice);
}

}  // namespace lym

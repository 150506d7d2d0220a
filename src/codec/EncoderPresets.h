// What the user chooses for the encoder: the settings record, the five presets at three evaluation
// levels, the options the frame encoder is created with, and which preset and level a set of
// settings amounts to (stored in the stream and shown by file information).
#pragma once

#include <cstdint>

#include "lym/EncoderSettings.h"

namespace lym {

// Quantisation search mode of the predictor search that tries every quantisation step.
inline constexpr uint8_t kQuantSearchOptimal = 2;

// A default-constructed record is the template every options record starts from.
struct TFrameEncoderOptions {
  uint8_t QuantSearchMode = 0;
  int32_t MaxOrderIndex = 11;  // into kOrderTable
  int32_t PredictorParameter = -1;  // reserved; -1 lets the predictor search decide
  bool ApplyWindow = true;
  int32_t FrameSamples = 4096;
  uint8_t ResolutionIndex = 0;
  int32_t MaxSubFrames = 5;
  bool Validate = false;
  bool Prediction = true;
  bool CheckBoth = true;
  uint8_t PredictorLengthIndex = 1;  // inter-channel predictor of 4, 8 or 16 values
  bool Difference = false;
  bool MidSide = false;
  bool OptimizeChoice = false;
  bool PreFilter = false;
  uint8_t Sensitivity = 1;
  uint8_t PreFilterOrderIndex = 0;  // pre-filter of order 4 or 8

  bool operator==(const TFrameEncoderOptions&) const = default;
};

// The largest order index whose order does not exceed predictors; 0 when even the smallest order
// does, since every predictor search needs at least one order to try.
int32_t MaxOrderIndexFor(int32_t predictors);

// The options for a stream at sampleRate. A frame size code the rate does not allow is corrected
// in settings, because the stream records and classifies the corrected code. A code outside 0..6
// or a rate without a single sample per frame is a range error, and settings stay as they were.
TFrameEncoderOptions MakeFrameEncoderOptions(TEncoderSettings& settings, int32_t sampleRate);

// The name of a preset or an evaluation level as files and windows show it; "Unknown" outside
// the table (a damaged or newer stream).
const char* PresetNameOf(int32_t preset);
const char* LevelNameOf(int32_t level);

// ClassifyPreset and ClassifyLevel are public (lym/EncoderSettings.h): the option window shows them.
// True when settings switch off a search that reference performs or search it more coarsely.
// Predictors, ApplyWindow, FrameSizeCode, PreFilter, Sensitivity and Verify are not compared.
bool IsWeakerThan(const TEncoderSettings& settings, const TEncoderSettings& reference);

}  // namespace lym

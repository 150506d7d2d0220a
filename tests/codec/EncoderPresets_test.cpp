#include "codec/EncoderPresets.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "codec/Prediction.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

struct TNamedChange {
  const char* Field;
  std::function<void(TEncoderSettings&)> Apply;
};

TFrameEncoderOptions OptionsAt(TEncoderSettings settings, int32_t sampleRate) {
  return MakeFrameEncoderOptions(settings, sampleRate);
}

TEST(EncoderPresets, EveryRowClassifiesAsItsOwnPresetAndLevel) {
  for (int preset = 0; preset < kPresetCount; ++preset) {
    for (int level = 0; level < kLevelCount; ++level) {
      const TEncoderSettings& row = PresetSettings(preset, level);
      EXPECT_EQ(ClassifyPreset(row), preset) << kPresetNames[preset] << "/" << kLevelNames[level];
      EXPECT_EQ(ClassifyLevel(row), level) << kPresetNames[preset] << "/" << kLevelNames[level];
      EXPECT_FALSE(row.Verify);
      EXPECT_EQ(row.MaxSubFrames, 0);
    }
  }
}

TEST(EncoderPresets, DefaultsAreNormalAtStandard) {
  EXPECT_EQ(TEncoderSettings{}, DefaultEncoderSettings());
  EXPECT_EQ(std::string(kPresetNames[ClassifyPreset(TEncoderSettings{})]), "Normal");
  EXPECT_EQ(std::string(kLevelNames[ClassifyLevel(TEncoderSettings{})]), "Standard");
}

TEST(EncoderPresets, PresetOrLevelOutsideTheTableIsARangeError) {
  EXPECT_THROW(PresetSettings(-1, 0), EzqArgumentOutOfRange);
  EXPECT_THROW(PresetSettings(kPresetCount, 0), EzqArgumentOutOfRange);
  EXPECT_THROW(PresetSettings(0, -1), EzqArgumentOutOfRange);
  EXPECT_THROW(PresetSettings(0, kLevelCount), EzqArgumentOutOfRange);
}

TEST(EncoderPresets, ClassificationOfCustomSettings) {
  const TEncoderSettings normalMax = PresetSettings(2, 2);
  EXPECT_EQ(ClassifyPreset(normalMax), 2);
  EXPECT_EQ(ClassifyLevel(normalMax), 2);

  TEncoderSettings s = normalMax;
  s.PreFilter = true;
  EXPECT_EQ(ClassifyPreset(s), 3);  // the pre-filter alone lifts Predictors 64 at code 1

  s = PresetSettings(0, 0);
  s.Predictors = 20;
  EXPECT_EQ(ClassifyPreset(s), 1);  // not 0: more predictors than "Turbo" allows

  s = PresetSettings(0, 0);
  s.FrameSizeCode = 4;
  EXPECT_EQ(ClassifyPreset(s), 4);

  s = PresetSettings(2, 1);
  s.MaxSubFrames = 5;
  EXPECT_EQ(ClassifyLevel(s), 1);  // searching more than "Extra" does not reach "Max"

  s = normalMax;
  s.MidSide = false;
  EXPECT_EQ(ClassifyLevel(s), 0);  // missing a search of every row falls to "Standard"
}

TEST(EncoderPresets, EachComparedFieldAloneMakesSettingsWeaker) {
  TEncoderSettings reference = PresetSettings(4, 2);
  reference.MaxSubFrames = 4;
  EXPECT_FALSE(IsWeakerThan(reference, reference));
  const std::vector<TNamedChange> changes = {
      {"OptimizeQuantization", [](TEncoderSettings& s) { s.OptimizeQuantization = false; }},
      {"Resolution", [](TEncoderSettings& s) { s.Resolution = 1; }},
      {"MaxSubFrames", [](TEncoderSettings& s) { s.MaxSubFrames = -1; }},
      {"Validate", [](TEncoderSettings& s) { s.Validate = false; }},
      {"Prediction", [](TEncoderSettings& s) { s.Prediction = false; }},
      {"CheckBoth", [](TEncoderSettings& s) { s.CheckBoth = false; }},
      {"Difference", [](TEncoderSettings& s) { s.Difference = false; }},
      {"MidSide", [](TEncoderSettings& s) { s.MidSide = false; }},
      {"OptimizeChoice", [](TEncoderSettings& s) { s.OptimizeChoice = false; }},
  };
  for (const TNamedChange& change : changes) {
    TEncoderSettings weaker = reference;
    change.Apply(weaker);
    EXPECT_TRUE(IsWeakerThan(weaker, reference)) << change.Field;
    EXPECT_FALSE(IsWeakerThan(reference, weaker)) << change.Field;
  }
  // Searching more elsewhere does not make up for a missing search.
  TEncoderSettings mixed = reference;
  mixed.OptimizeChoice = false;
  mixed.Resolution = 3;
  mixed.MaxSubFrames = 5;
  EXPECT_TRUE(IsWeakerThan(mixed, reference));
}

TEST(EncoderPresets, FieldsThatSetThePresetNeverMakeSettingsWeaker) {
  TEncoderSettings reference = PresetSettings(4, 2);
  reference.Verify = true;
  reference.Sensitivity = 2;
  TEncoderSettings s = reference;
  s.Predictors = 4;
  s.ApplyWindow = false;
  s.FrameSizeCode = 0;
  s.PreFilter = false;
  s.Sensitivity = 0;
  s.Verify = false;
  EXPECT_FALSE(IsWeakerThan(s, reference));
}

TEST(EncoderPresets, MaxOrderIndexIsTheLargestOrderWithinPredictors) {
  const int32_t predictors[] = {16, 32, 64, 128, 256};
  const int32_t expected[] = {3, 5, 7, 11, 15};
  for (int i = 0; i < 5; ++i) {
    TEncoderSettings s;
    s.Predictors = predictors[i];
    EXPECT_EQ(OptionsAt(s, 44100).MaxOrderIndex, expected[i]) << predictors[i];
  }
  for (int32_t p = 4; p <= 300; ++p) {
    const int32_t index = MaxOrderIndexFor(p);
    EXPECT_LE(kOrderTable[index], p);
    if (index + 1 < kOrderCount) {
      EXPECT_GT(kOrderTable[index + 1], p);
    }
  }
  // Too few predictors for any order still leaves the smallest one to search.
  EXPECT_EQ(MaxOrderIndexFor(3), 0);
  EXPECT_EQ(MaxOrderIndexFor(-5), 0);
}

TEST(EncoderPresets, FrameLengthAndCodeCorrection) {
  struct TCase {
    int32_t Rate, Code, Samples, CorrectedCode;
  };
  const TCase cases[] = {
      {8000, 0, 750, 0},       {8000, 3, 2000, 3},       {8000, 4, 2000, 3},
      {8000, 6, 2000, 3},      {44100, 1, 5512, 1},      {192000, 0, 16384, 6},
      {192000, 3, 16384, 6},   {192000, 4, 4096, 4},     {192000, 6, 16384, 6},
  };
  for (const TCase& c : cases) {
    TEncoderSettings s;
    s.FrameSizeCode = c.Code;
    const TFrameEncoderOptions options = MakeFrameEncoderOptions(s, c.Rate);
    EXPECT_EQ(options.FrameSamples, c.Samples) << c.Rate << " " << c.Code;
    EXPECT_EQ(s.FrameSizeCode, c.CorrectedCode) << c.Rate << " " << c.Code;
  }
}

TEST(EncoderPresets, UnusableFrameSizesAreRangeErrors) {
  TEncoderSettings s;
  for (int32_t code : {-1, 7}) {
    s.FrameSizeCode = code;
    EXPECT_THROW(MakeFrameEncoderOptions(s, 44100), EzqArgumentOutOfRange) << code;
  }
  s.FrameSizeCode = 0;
  EXPECT_THROW(MakeFrameEncoderOptions(s, 10), EzqArgumentOutOfRange);
  s.FrameSizeCode = 4;
  EXPECT_THROW(MakeFrameEncoderOptions(s, -44100), EzqArgumentOutOfRange);
  EXPECT_EQ(s.FrameSizeCode, 4);
}

TEST(EncoderPresets, MaxSubFramesFollowTheCorrectedFrameSize) {
  struct TCase {
    int32_t Rate, Code, MaxSubFrames;
  };
  const TCase cases[] = {{44100, 0, 3}, {44100, 1, 3}, {44100, 2, 4}, {44100, 3, 5},
                         {44100, 4, 5}, {192000, 1, 5}, {8000, 6, 5}};
  for (const TCase& c : cases) {
    TEncoderSettings s;
    s.FrameSizeCode = c.Code;
    EXPECT_EQ(OptionsAt(s, c.Rate).MaxSubFrames, c.MaxSubFrames) << c.Rate << " " << c.Code;
  }
  TEncoderSettings s;
  s.FrameSizeCode = 3;
  s.MaxSubFrames = 2;
  EXPECT_EQ(OptionsAt(s, 44100).MaxSubFrames, 2);
  s.MaxSubFrames = 9;  // more than a frame can hold
  EXPECT_EQ(OptionsAt(s, 44100).MaxSubFrames, 5);
}

TEST(EncoderPresets, OptionsTakeTheSettingsAndKeepTheTemplateElsewhere) {
  TEncoderSettings s = PresetSettings(4, 2);
  s.Resolution = 3;
  s.Sensitivity = 2;
  s.ApplyWindow = false;
  const TFrameEncoderOptions options = OptionsAt(s, 44100);
  EXPECT_EQ(options.QuantSearchMode, kQuantSearchOptimal);
  EXPECT_EQ(options.ResolutionIndex, 3);
  EXPECT_EQ(options.Sensitivity, 2);
  EXPECT_FALSE(options.ApplyWindow);
  EXPECT_TRUE(options.Validate && options.Prediction && options.CheckBoth && options.Difference &&
              options.MidSide && options.OptimizeChoice && options.PreFilter);

  const TFrameEncoderOptions defaults;
  EXPECT_EQ(options.PredictorParameter, defaults.PredictorParameter);
  EXPECT_EQ(options.PredictorLengthIndex, defaults.PredictorLengthIndex);
  EXPECT_EQ(options.PreFilterOrderIndex, defaults.PreFilterOrderIndex);

  const TFrameEncoderOptions turbo = OptionsAt(PresetSettings(0, 0), 44100);
  EXPECT_EQ(turbo.QuantSearchMode, 0);
  EXPECT_FALSE(turbo.Validate || turbo.Prediction || turbo.CheckBoth || turbo.MidSide ||
               turbo.OptimizeChoice || turbo.PreFilter);
  EXPECT_TRUE(turbo.Difference);
}

}  // namespace
}  // namespace lym

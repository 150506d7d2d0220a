#include "OptionWindows.h"

#include <gtest/gtest.h>

#include "DesktopTexts.h"

namespace lym {
namespace {

TEST(DesktopGeneralOptions, UseMmxFollowsTheProcessor) {
  TCompressOptions options;
  TGeneralOptState withMmx(options, {true, false});
  EXPECT_TRUE(withMmx.UseMmxEnabled());
  EXPECT_TRUE(withMmx.UseMmx);
  withMmx.UseMmx = false;
  withMmx.Store(options);
  EXPECT_FALSE(options.UseMmx);
  EXPECT_FALSE(TGeneralOptState(options, {true, false}).UseMmx);

  options.UseMmx = true;
  TGeneralOptState withoutMmx(options, {false, false});
  EXPECT_FALSE(withoutMmx.UseMmxEnabled());
  EXPECT_FALSE(withoutMmx.UseMmx);
  withoutMmx.Store(options);
  EXPECT_FALSE(options.UseMmx);
}

TEST(DesktopOutputControls, FolderAndAppendFollowTheirChoices) {
  TOutputControls output;
  EXPECT_FALSE(output.FolderEnabled());
  EXPECT_FALSE(output.AppendEnabled());
  output.DestinationChoice = kDestinationUser;
  output.ProtocolLevel = kProtocolDiagnostics;
  EXPECT_TRUE(output.FolderEnabled());
  EXPECT_TRUE(output.AppendEnabled());
  output.Browsed("E:\\");
  EXPECT_EQ(output.UserFolder, "E:");
  output.Browsed("E:\\Music\\");
  EXPECT_EQ(output.UserFolder, "E:\\Music\\");
}

TEST(DesktopDecoderOptions, FramesFollowTheFilesActionAndOkStoresEverything) {
  TDlgDecoderOpt settings;
  TDecoderOptState state(settings);
  EXPECT_TRUE(state.FramesEnabled());
  state.DamagedFiles = kDamagedFilesSkip;
  EXPECT_FALSE(state.FramesEnabled());

  state.DamagedFrames = kDamagedFramesCut;
  state.SaveErrorLog = false;
  state.Output = {kDestinationUser, "D:\\out", kProtocolResults, true};
  state.Overwrite = true;
  state.RestoreWaveMeta = false;
  const TDlgDecoderOpt before = settings;
  EXPECT_EQ(TDecoderOptState(before).Output.UserFolder, "");  // "Cancel": nothing stored
  state.Store(settings);
  const TDlgDecoderOpt expected{kDestinationUser, "D:\\out", kDamagedFilesSkip, kDamagedFramesCut,
                                false, false, true, kProtocolResults, true};
  EXPECT_EQ(settings, expected);

  TDlgDecoderOpt reloaded;
  TDecoderOptState(settings).Store(reloaded);
  EXPECT_EQ(reloaded, settings);
}

TEST(DesktopFileInfoOptions, OkStoresModeAndProtocol) {
  TDlgFileInfoOpt settings;
  TFileInfoOptState state(settings);
  state.Controls.ReportMode = 2;
  state.Controls.SaveProtocol = true;
  state.Store(settings);
  EXPECT_EQ(settings, (TDlgFileInfoOpt{2, true}));
}

TEST(DesktopEncoderOptions, PresetsReplaceEverythingButVerify) {
  TCompressionSettings settings;
  TEncoderOptState state(settings);
  EXPECT_EQ(state.Preset(), 2);
  EXPECT_EQ(state.Evaluation(), 0);
  EXPECT_EQ(state.MarkedGridRow(), 7);

  // Details changed by hand, then a preset: only Verify survives.
  state.SetVerify(true);
  TEncoderDetailsState details(state.Encoder());
  details.PredictorsIndex = 1;  // 8
  details.Validate = true;
  state.ApplyDetails(details);
  EXPECT_EQ(state.Encoder().Predictors, 8);
  EXPECT_TRUE(state.Encoder().Verify);
  EXPECT_EQ(state.Preset(), 1);  // Predictors 8 at 125 ms with every search: "Fast" + "Extra"
  EXPECT_EQ(state.Evaluation(), 1);
  state.SelectPreset(4);
  TEncoderSettings expected = PresetSettings(4, 1);
  expected.Verify = true;
  EXPECT_EQ(state.Encoder(), expected);

  state.SelectEvaluation(2);
  expected = PresetSettings(4, 2);
  expected.Verify = true;
  EXPECT_EQ(state.Encoder(), expected);
  EXPECT_EQ(state.MarkedGridRow(), 15);

  state.SetVerify(false);
  state.ClickGridRow(4);  // "Fast" at "Standard"
  EXPECT_EQ(state.Encoder(), PresetSettings(1, 0));
  EXPECT_EQ(state.Preset(), 1);
  EXPECT_EQ(state.Evaluation(), 0);
  state.ClickGridRow(0);  // the heading
  state.ClickGridRow(kPresetGridRows);
  EXPECT_EQ(state.MarkedGridRow(), 4);
}

TEST(DesktopEncoderOptions, LoadedSettingsAreMarkedAsTheCombinationTheyAmountTo) {
  TCompressionSettings settings;
  settings.Encoder = PresetSettings(3, 1);
  settings.Encoder.Verify = true;
  EXPECT_EQ(TEncoderOptState(settings).MarkedGridRow(), 11);
  settings.Encoder.PreFilter = false;
  settings.Encoder.Predictors = 64;
  settings.Encoder.FrameSizeCode = 1;
  settings.Encoder.OptimizeChoice = true;  // still below "Max": Resolution 1
  const TEncoderOptState state(settings);
  EXPECT_EQ(state.Preset(), 2);
  EXPECT_EQ(state.Evaluation(), 1);
}

TEST(DesktopEncoderOptions, OkStoresSettingsAndOutputButNotTheJobsSwitches) {
  TCompressionSettings settings;
  settings.Options.UseSse = true;
  TEncoderOptState state(settings);
  state.SelectPreset(0);
  state.SetVerify(true);
  state.Output = {kDestinationUser, "D:\\lym", kProtocolDiagnostics, true};
  state.Overwrite = true;
  state.SaveWaveMeta = false;
  state.Store(settings);

  TEncoderSettings expected = PresetSettings(0, 0);
  expected.Verify = true;
  EXPECT_EQ(settings.Encoder, expected);
  EXPECT_EQ(settings.Output.DestinationChoice, kDestinationUser);
  EXPECT_EQ(settings.Output.UserFolder, "D:\\lym");
  EXPECT_TRUE(settings.Output.Overwrite);
  EXPECT_FALSE(settings.Output.SaveWaveMeta);
  EXPECT_EQ(settings.Output.ProtocolLevel, kProtocolDiagnostics);
  EXPECT_TRUE(settings.Output.AppendProtocol);
  EXPECT_TRUE(settings.Options.UseSse);
}

TEST(DesktopEncoderOptions, GridHasAHeadingAndOneRowPerCombination) {
  EXPECT_EQ(PresetGridCell(0, 0), "Preset");
  EXPECT_EQ(PresetGridCell(1, 0), "Turbo");
  EXPECT_EQ(PresetGridCell(1, 1), "Standard");
  EXPECT_EQ(PresetGridCell(15, 0), "Extra");
  EXPECT_EQ(PresetGridCell(15, 1), "Max");
  EXPECT_EQ(PresetGridCell(15, 2), "256");
  EXPECT_EQ(PresetGridCell(15, 3), "250 ms");
  EXPECT_EQ(PresetGridCell(1, 6), "Off");
  EXPECT_EQ(PresetGridCell(10, 6), "Medium");  // "High" at "Standard": sensitivity 1
}

TEST(DesktopEncoderDetails, EveryPresetComesBackUnchangedThroughTheDetails) {
  for (int preset = 0; preset < kPresetCount; ++preset) {
    for (int level = 0; level < kLevelCount; ++level) {
      TEncoderSettings settings = PresetSettings(preset, level);
      settings.Verify = true;
      TEncoderSettings stored = DefaultEncoderSettings();
      stored.Verify = true;
      TEncoderDetailsState(settings).Store(stored);
      EXPECT_EQ(stored, settings) << kPresetNames[preset] << " " << kLevelNames[level];
    }
  }
}

TEST(DesktopEncoderDetails, ControlsShowTheFieldsAsTheListsOfferThem) {
  TEncoderSettings settings = PresetSettings(3, 0);  // pre-filter on at sensitivity 1
  TEncoderDetailsState state(settings);
  EXPECT_EQ(std::string(texts::kPredictorItems[state.PredictorsIndex]), "128");
  EXPECT_EQ(std::string(texts::kFrameDurationItems[state.FrameDurationIndex]), "188 ms");
  EXPECT_EQ(std::string(texts::kSensitivityItems[state.SensitivityIndex]), "Medium");

  settings.Predictors = 24;  // not offered: shows as 256
  EXPECT_EQ(std::string(texts::kPredictorItems[TEncoderDetailsState(settings).PredictorsIndex]),
            "256");

  state.SensitivityIndex = 0;
  state.Store(settings);
  EXPECT_FALSE(settings.PreFilter);
  state.SensitivityIndex = 3;
  state.Store(settings);
  EXPECT_TRUE(settings.PreFilter);
  EXPECT_EQ(settings.Sensitivity, 2);
}

TEST(DesktopEncoderDetails, DependentStereoBoxesAreUncheckedWhileDisabled) {
  TEncoderDetailsState state(PresetSettings(2, 0));
  EXPECT_TRUE(state.CheckBothEnabled());
  EXPECT_TRUE(state.CheckBoth());

  state.SetPrediction(false);
  EXPECT_FALSE(state.CheckBothEnabled());
  EXPECT_FALSE(state.CheckBoth());
  state.SetCheckBoth(true);  // a disabled box cannot be checked
  EXPECT_FALSE(state.CheckBoth());
  state.SetPrediction(true);
  EXPECT_FALSE(state.CheckBoth());

  state.SetDifference(false);
  EXPECT_FALSE(state.MidSideEnabled());
  EXPECT_FALSE(state.MidSide());
  state.SetDifference(true);
  state.SetMidSide(true);
  EXPECT_TRUE(state.MidSide());

  TEncoderSettings stored;
  state.Store(stored);
  EXPECT_TRUE(stored.Prediction);
  EXPECT_FALSE(stored.CheckBoth);
  EXPECT_TRUE(stored.MidSide);
}

}  // namespace
}  // namespace lym

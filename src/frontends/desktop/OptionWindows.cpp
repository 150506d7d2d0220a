#include "OptionWindows.h"

#include <algorithm>
#include <iterator>

#include "DesktopTexts.h"

namespace lym {
namespace {

constexpr int32_t kPredictorValues[] = {4, 8, 12, 16, 32, 64, 128, 256};
static_assert(std::size(kPredictorValues) == std::size(texts::kPredictorItems));
constexpr int kResolutionValues[] = {64, 128, 256, 512};

int PredictorsIndexOf(int32_t predictors) {
  const auto found = std::find(std::begin(kPredictorValues), std::end(kPredictorValues), predictors);
  // A count the list does not offer shows as its largest entry.
  if (found == std::end(kPredictorValues)) return int(std::size(kPredictorValues)) - 1;
  return int(found - std::begin(kPredictorValues));
}

std::string StereoModes(const TEncoderSettings& s) {
  std::string modes;
  if (s.Prediction) modes += s.CheckBoth ? "P2 " : "P ";
  if (s.Difference) modes += s.MidSide ? "D M" : "D";
  return modes.empty() ? "-" : modes;
}

}  // namespace

TGeneralOptState::TGeneralOptState(const TCompressOptions& options,
                                   const TProcessorFeatures& features)
    : UseMmx(features.Mmx && options.UseMmx), features_(features) {}

void TGeneralOptState::Store(TCompressOptions& options) const { options.UseMmx = UseMmx; }

TDecoderOptState::TDecoderOptState(const TDlgDecoderOpt& settings)
    : DamagedFiles(settings.DamagedFiles),
      DamagedFrames(settings.DamagedFrames),
      SaveErrorLog(settings.SaveErrorLog),
      Output{settings.DestinationChoice, settings.UserFolder, settings.ProtocolLevel,
             settings.AppendProtocol},
      Overwrite(settings.Overwrite),
      RestoreWaveMeta(settings.RestoreWaveMeta) {}

void TDecoderOptState::Store(TDlgDecoderOpt& settings) const {
  settings.DestinationChoice = Output.DestinationChoice;
  settings.UserFolder = Output.UserFolder;
  settings.DamagedFiles = DamagedFiles;
  settings.DamagedFrames = DamagedFrames;
  settings.SaveErrorLog = SaveErrorLog;
  settings.RestoreWaveMeta = RestoreWaveMeta;
  settings.Overwrite = Overwrite;
  settings.ProtocolLevel = Output.ProtocolLevel;
  settings.AppendProtocol = Output.AppendProtocol;
}

std::string PresetGridCell(int row, int column) {
  static constexpr const char* kHeadings[kPresetGridColumns] = {
      "Preset", "Evaluation", "Predictors", "Frame", "Resolution", "Stereo", "Prefilter"};
  if (row == 0) return kHeadings[column];
  const int preset = (row - 1) / kLevelCount;
  const int level = (row - 1) % kLevelCount;
  const TEncoderSettings& s = PresetSettings(preset, level);
  switch (column) {
    case 0: return kPresetNames[preset];
    case 1: return kLevelNames[level];
    case 2: return std::to_string(s.Predictors);
    case 3: return texts::kFrameDurationItems[s.FrameSizeCode];
    case 4: return std::to_string(kResolutionValues[s.Resolution]) + (s.Validate ? " +V" : "");
    case 5: return StereoModes(s);
    default: return texts::kSensitivityItems[s.PreFilter ? s.Sensitivity + 1 : 0];
  }
}

TEncoderOptState::TEncoderOptState(const TCompressionSettings& settings)
    : Output{uint8_t(settings.Output.DestinationChoice), settings.Output.UserFolder,
             settings.Output.ProtocolLevel, settings.Output.AppendProtocol},
      Overwrite(settings.Output.Overwrite),
      SaveWaveMeta(settings.Output.SaveWaveMeta) {
  SetEncoder(settings.Encoder);
}

void TEncoderOptState::SelectPreset(int preset) { Select(preset, evaluation_); }
void TEncoderOptState::SelectEvaluation(int evaluation) { Select(preset_, evaluation); }

void TEncoderOptState::ClickGridRow(int row) {
  if (row < 1 || row >= kPresetGridRows) return;
  Select((row - 1) / kLevelCount, (row - 1) % kLevelCount);
}

int TEncoderOptState::MarkedGridRow() const { return 1 + preset_ * kLevelCount + evaluation_; }

void TEncoderOptState::ApplyDetails(const TEncoderDetailsState& details) {
  TEncoderSettings encoder = encoder_;
  details.Store(encoder);
  SetEncoder(encoder);
}

void TEncoderOptState::SetEncoder(const TEncoderSettings& encoder) {
  encoder_ = encoder;
  preset_ = ClassifyPreset(encoder);
  evaluation_ = ClassifyLevel(encoder);
}

void TEncoderOptState::Select(int preset, int evaluation) {
  const bool verify = encoder_.Verify;
  encoder_ = PresetSettings(preset, evaluation);
  encoder_.Verify = verify;
  preset_ = preset;
  evaluation_ = evaluation;
}

void TEncoderOptState::Store(TCompressionSettings& settings) const {
  settings.Encoder = encoder_;
  TEncoderDlgOutputOptions& output = settings.Output;
  output.DestinationChoice = Output.DestinationChoice;
  output.UserFolder = Output.UserFolder;
  output.Overwrite = Overwrite;
  output.SaveWaveMeta = SaveWaveMeta;
  output.ProtocolLevel = Output.ProtocolLevel;
  output.AppendProtocol = Output.AppendProtocol;
}

TEncoderDetailsState::TEncoderDetailsState(const TEncoderSettings& settings)
    : PredictorsIndex(PredictorsIndexOf(settings.Predictors)),
      FrameDurationIndex(std::clamp(settings.FrameSizeCode, 0, 3)),
      ResolutionIndex(std::min<int>(settings.Resolution, 2)),
      SensitivityIndex(settings.PreFilter ? std::min<int>(settings.Sensitivity, 2) + 1 : 0),
      OptimizeQuantization(settings.OptimizeQuantization),
      ApplyWindow(settings.ApplyWindow),
      Validate(settings.Validate),
      OptimizeChoice(settings.OptimizeChoice) {
  SetPrediction(settings.Prediction);
  SetCheckBoth(settings.CheckBoth);
  SetDifference(settings.Difference);
  SetMidSide(settings.MidSide);
}

void TEncoderDetailsState::SetPrediction(bool on) {
  prediction_ = on;
  SetCheckBoth(checkBoth_);
}

void TEncoderDetailsState::SetDifference(bool on) {
  difference_ = on;
  SetMidSide(midSide_);
}

void TEncoderDetailsState::Store(TEncoderSettings& settings) const {
  settings.Predictors = kPredictorValues[PredictorsIndex];
  settings.OptimizeQuantization = OptimizeQuantization;
  settings.ApplyWindow = ApplyWindow;
  settings.FrameSizeCode = FrameDurationIndex;
  settings.Resolution = uint8_t(ResolutionIndex);
  settings.Validate = Validate;
  settings.Prediction = prediction_;
  settings.CheckBoth = checkBoth_;
  settings.Difference = difference_;
  settings.MidSide = midSide_;
  settings.OptimizeChoice = OptimizeChoice;
  settings.PreFilter = SensitivityIndex > 0;
  // Off keeps the sensitivity the settings had; only the switch goes off.
  if (SensitivityIndex > 0) settings.Sensitivity = uint8_t(SensitivityIndex - 1);
}

}  // namespace lym

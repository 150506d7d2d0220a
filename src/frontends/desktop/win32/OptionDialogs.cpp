#include "OptionDialogs.h"

#include "DesktopTexts.h"
#include "OptionControls.h"
#include "OptionDialogIds.h"
#include "OptionWindows.h"

namespace lym::win32 {
namespace {

class TGeneralOptionsDialog final : public TOptionDialog {
 public:
  TGeneralOptionsDialog(TCompressOptions& options, const TProcessorFeatures& features)
      : TOptionDialog(texts::kGeneralCaption, kTexts),
        options_(options),
        state_(options, features) {}

 private:
  static constexpr TControlText kTexts[] = {
      {IDC_GEN_GROUP_OPTIMIZATIONS, texts::kGroupOptimizations},
      {IDC_GEN_USE_MMX, texts::kUseMmx},
  };

  void Load() override {
    SetChecked(Handle(), IDC_GEN_USE_MMX, state_.UseMmx);
    EnableItem(Handle(), IDC_GEN_USE_MMX, state_.UseMmxEnabled());
  }

  void Store() override { state_.Store(options_); }

  bool OnControl(int id, int notification) override {
    if (id != IDC_GEN_USE_MMX || notification != BN_CLICKED) return false;
    state_.UseMmx = IsChecked(Handle(), IDC_GEN_USE_MMX);
    return true;
  }

  TCompressOptions& options_;
  TGeneralOptState state_;
};

class TDecoderOptionsDialog final : public TOptionDialog {
 public:
  explicit TDecoderOptionsDialog(TDlgDecoderOpt& settings)
      : TOptionDialog(texts::kDecoderCaption, kTexts),
        settings_(settings),
        state_(settings),
        output_(state_.Output, kProtocolLevels) {}

 private:
  static constexpr int kActionCount = 2;
  static constexpr int kProtocolLevels = 2;  // Off and Result
  static constexpr TControlText kTexts[] = {
      {IDC_DEC_GROUP_ERRORS, texts::kGroupErrorHandling},
      {IDC_DEC_GROUP_FILES, texts::kDamagedFiles},
      {IDC_DEC_FILES_SKIP, texts::kSkip},
      {IDC_DEC_FILES_RECOVER, texts::kRecover},
      {IDC_DEC_GROUP_FRAMES, texts::kDamagedFrames},
      {IDC_DEC_FRAMES_SKIP, texts::kSkip},
      {IDC_DEC_FRAMES_MUTE, texts::kMute},
      {IDC_DEC_SAVE_ERROR_LOG, texts::kSaveErrorLog},
      {IDC_OUT_OVERWRITE, texts::kOverwriteWave},
      {IDC_OUT_WAVE_META, texts::kRestoreWaveMeta},
  };

  void Load() override {
    CheckRadio(Handle(), IDC_DEC_FILES_SKIP, kActionCount, state_.DamagedFiles);
    CheckRadio(Handle(), IDC_DEC_FRAMES_SKIP, kActionCount, state_.DamagedFrames);
    SetChecked(Handle(), IDC_DEC_SAVE_ERROR_LOG, state_.SaveErrorLog);
    SetChecked(Handle(), IDC_OUT_OVERWRITE, state_.Overwrite);
    SetChecked(Handle(), IDC_OUT_WAVE_META, state_.RestoreWaveMeta);
    output_.Load(Handle());
    ShowFramesRule();
  }

  void Store() override { state_.Store(settings_); }

  bool OnControl(int id, int notification) override {
    if (notification != BN_CLICKED) return false;
    if (output_.Clicked(Handle(), id)) return true;
    switch (id) {
      case IDC_DEC_FILES_SKIP:
      case IDC_DEC_FILES_RECOVER:
        state_.DamagedFiles = uint8_t(id - IDC_DEC_FILES_SKIP);
        ShowFramesRule();
        return true;
      case IDC_DEC_FRAMES_SKIP:
      case IDC_DEC_FRAMES_MUTE:
        state_.DamagedFrames = uint8_t(id - IDC_DEC_FRAMES_SKIP);
        return true;
      case IDC_DEC_SAVE_ERROR_LOG: state_.SaveErrorLog = IsChecked(Handle(), id); return true;
      case IDC_OUT_OVERWRITE: state_.Overwrite = IsChecked(Handle(), id); return true;
      case IDC_OUT_WAVE_META: state_.RestoreWaveMeta = IsChecked(Handle(), id); return true;
      default: return false;
    }
  }

  void ShowFramesRule() const {
    EnableItems(Handle(), {IDC_DEC_GROUP_FRAMES, IDC_DEC_FRAMES_SKIP, IDC_DEC_FRAMES_MUTE},
                state_.FramesEnabled());
  }

  TDlgDecoderOpt& settings_;
  TDecoderOptState state_;
  TOutputGroups output_;
};

class TFileInfoOptionsDialog final : public TOptionDialog {
 public:
  explicit TFileInfoOptionsDialog(TDlgFileInfoOpt& settings)
      : TOptionDialog(texts::kFileInfoOptCaption, kTexts), settings_(settings), state_(settings) {}

 private:
  static constexpr int kModeCount = 3;
  static constexpr TControlText kTexts[] = {
      {IDC_INFO_GROUP_SHOW, texts::kWhatToShow},
      {IDC_INFO_SHOW_ANY, texts::kShowAny},
      {IDC_INFO_SHOW_ENCODER, texts::kShowEncoder},
      {IDC_INFO_SHOW_WAVE_META, texts::kShowWaveMeta},
      {IDC_INFO_SAVE_PROTOCOL, texts::kSaveProtocol},
  };

  void Load() override {
    CheckRadio(Handle(), IDC_INFO_SHOW_ANY, kModeCount, state_.Controls.ReportMode);
    SetChecked(Handle(), IDC_INFO_SAVE_PROTOCOL, state_.Controls.SaveProtocol);
  }

  void Store() override { state_.Store(settings_); }

  bool OnControl(int id, int notification) override {
    if (notification != BN_CLICKED) return false;
    switch (id) {
      case IDC_INFO_SHOW_ANY:
      case IDC_INFO_SHOW_ENCODER:
      case IDC_INFO_SHOW_WAVE_META:
        state_.Controls.ReportMode = uint8_t(id - IDC_INFO_SHOW_ANY);
        return true;
      case IDC_INFO_SAVE_PROTOCOL:
        state_.Controls.SaveProtocol = IsChecked(Handle(), id);
        return true;
      default: return false;
    }
  }

  TDlgFileInfoOpt& settings_;
  TFileInfoOptState state_;
};

}  // namespace

bool ShowGeneralOptions(HWND owner, TCompressOptions& options, const TProcessorFeatures& features) {
  TGeneralOptionsDialog dialog(options, features);
  return dialog.Run(owner, IDD_GENERAL_OPTIONS);
}

bool ShowDecompressionOptions(HWND owner, TDlgDecoderOpt& settings) {
  TDecoderOptionsDialog dialog(settings);
  return dialog.Run(owner, IDD_DECODER_OPTIONS);
}

bool ShowFileInfoOptions(HWND owner, TDlgFileInfoOpt& settings) {
  TFileInfoOptionsDialog dialog(settings);
  return dialog.Run(owner, IDD_FILEINFO_OPTIONS);
}

}  // namespace lym::win32

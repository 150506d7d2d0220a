#include "DesktopSettings.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "DesktopTexts.h"
#include "MainWindow.h"
#include "lym/Informant.h"
#include "lym/Kernels.h"

namespace lym {
namespace {

TEST(DesktopSettings, EveryStartBeginsWithTheDefaults) {
  const TDesktopSettings settings;
  EXPECT_EQ(settings.Compression.Encoder, PresetSettings(2, 0));  // "Normal" at "Standard"

  const TEncoderDlgOutputOptions& output = settings.Compression.Output;
  EXPECT_EQ(output.DestinationChoice, kDestinationSource);
  EXPECT_EQ(output.Unused, "");
  EXPECT_EQ(output.UserFolder, "");
  EXPECT_FALSE(output.Overwrite);
  EXPECT_TRUE(output.SaveWaveMeta);
  EXPECT_EQ(output.ProtocolLevel, kProtocolOff);
  EXPECT_FALSE(output.AppendProtocol);

  const TCompressOptions& options = settings.Compression.Options;
  EXPECT_FALSE(options.NoOutput);
  EXPECT_TRUE(options.UseMmx);
  EXPECT_FALSE(options.UseSse);

  const TDlgDecoderOpt& decoder = settings.Decoder;
  EXPECT_EQ(decoder.DestinationChoice, kDestinationSource);
  EXPECT_EQ(decoder.UserFolder, "");
  EXPECT_EQ(decoder.DamagedFiles, kDamagedFilesRecover);
  EXPECT_EQ(decoder.DamagedFrames, kDamagedFramesMute);
  EXPECT_TRUE(decoder.SaveErrorLog);
  EXPECT_TRUE(decoder.RestoreWaveMeta);
  EXPECT_FALSE(decoder.Overwrite);
  EXPECT_EQ(decoder.ProtocolLevel, kProtocolOff);
  EXPECT_FALSE(decoder.AppendProtocol);

  EXPECT_EQ(settings.FileInfo.ReportMode, kInformDetailed);
  EXPECT_FALSE(settings.FileInfo.SaveProtocol);
}

TEST(DesktopSettings, ProcessorOptionsNeedTheSwitchAndTheFeature) {
  TCompressOptions options;
  options.UseMmx = true;
  options.UseSse = true;
  EXPECT_EQ(ProcessorOptions({true, true}, options), kCpuFlagVector + kCpuFlagSse);
  EXPECT_EQ(ProcessorOptions({false, true}, options), kCpuFlagSse);
  EXPECT_EQ(ProcessorOptions({true, false}, options), kCpuFlagVector);
  options.UseMmx = false;
  EXPECT_EQ(ProcessorOptions({true, true}, options), kCpuFlagSse);
  options.UseSse = false;
  EXPECT_EQ(ProcessorOptions({true, true}, options), 0u);
}

TEST(DesktopSettings, DecompressionSettingsMapOntoTheBatchOptions) {
  const TDecompressorOptions defaults = MakeDecompressorOptions({}, 6, true);
  EXPECT_FALSE(defaults.Overwrite);
  EXPECT_TRUE(defaults.WriteErrorProtocol);
  EXPECT_FALSE(defaults.WriteProtocol);
  EXPECT_FALSE(defaults.AppendProtocol);
  EXPECT_EQ(defaults.File.ProcessorOptions, 6u);
  EXPECT_TRUE(defaults.File.WriteOutput);
  EXPECT_TRUE(defaults.File.KeepDamaged);
  EXPECT_TRUE(defaults.File.MuteDamaged);
  EXPECT_TRUE(defaults.File.RestoreWaveMeta);

  TDlgDecoderOpt changed;
  changed.DamagedFiles = kDamagedFilesSkip;
  changed.DamagedFrames = kDamagedFramesCut;
  changed.SaveErrorLog = false;
  changed.RestoreWaveMeta = false;
  changed.Overwrite = true;
  changed.ProtocolLevel = kProtocolResults;
  changed.AppendProtocol = true;
  const TDecompressorOptions mapped = MakeDecompressorOptions(changed, 0, false);
  EXPECT_TRUE(mapped.Overwrite);
  EXPECT_FALSE(mapped.WriteErrorProtocol);
  EXPECT_TRUE(mapped.WriteProtocol);
  EXPECT_TRUE(mapped.AppendProtocol);
  EXPECT_EQ(mapped.File.ProcessorOptions, 0u);
  EXPECT_FALSE(mapped.File.WriteOutput);
  EXPECT_FALSE(mapped.File.KeepDamaged);
  EXPECT_FALSE(mapped.File.MuteDamaged);
  EXPECT_FALSE(mapped.File.RestoreWaveMeta);
}

TEST(DesktopSettings, FoldersAsTheBatchesNeedThem) {
  EXPECT_EQ(DestinationFolder(kDestinationSource, "D:\\out", "C:\\in"), "C:\\in");
  EXPECT_EQ(DestinationFolder(kDestinationUser, "D:\\out", "C:\\in"), "D:\\out");
  EXPECT_EQ(DestinationFolder(kDestinationUser, "", "C:\\in"), "C:\\in");

  EXPECT_EQ(ChosenFolder("C:\\"), "C:");
  EXPECT_EQ(ChosenFolder("C:\\Music"), "C:\\Music");
  EXPECT_EQ(ChosenFolder("\\\\server\\share"), "\\\\server\\share");

  EXPECT_EQ(FolderOf("C:\\Music\\a.wav"), "C:\\Music");
  EXPECT_EQ(FolderOf("C:\\a.wav"), "C:");
  EXPECT_EQ(FolderOf("/tmp/x/a.wav"), "/tmp/x");
  EXPECT_EQ(FolderOf("/a.wav"), "/");
  EXPECT_EQ(NameOf("C:\\Music\\a.b.wav"), "a.b.wav");
  EXPECT_EQ(NameOf("/tmp/x/a.wav"), "a.wav");
}

TEST(DesktopSettings, ChosenFilesBecomeFullPaths) {
  EXPECT_EQ(ChosenFilePaths({}), std::vector<std::string>{});
  EXPECT_EQ(ChosenFilePaths({"C:\\Music\\a.wav"}), std::vector<std::string>{"C:\\Music\\a.wav"});

  const std::string separator(1, kFolderSeparator);
  EXPECT_EQ(ChosenFilePaths({"C:\\Music", "b.wav", "a.wav"}),
            (std::vector<std::string>{"C:\\Music" + separator + "b.wav",
                                      "C:\\Music" + separator + "a.wav"}));
  EXPECT_EQ(ChosenFilePaths({"C:\\", "a.wav", "b.wav"}),
            (std::vector<std::string>{"C:\\a.wav", "C:\\b.wav"}));
}

TEST(DesktopSettings, FileDialogFilterDropsSpacesAroundPatternsOnly) {
  using namespace std::string_literals;
  const std::string waveFilter = std::string(texts::kWaveFilter) + "|" + texts::kAllFilesFilter;
  EXPECT_EQ(FileDialogFilter(waveFilter), "Wave (.wav)\0*.wav\0All files (*.*)\0*.*\0"s);
  EXPECT_EQ(FileDialogFilter(" Lym (.lym) |  *.lym  |Any| |Last|*.*"),
            " Lym (.lym) \0*.lym\0Any\0\0Last\0*.*\0"s);
}

TEST(DesktopSettings, NonEmptyLinesOfEitherLineEnd) {
  EXPECT_EQ(NonEmptyLines(""), std::vector<std::string>{});
  EXPECT_EQ(NonEmptyLines("\r\n\n"), std::vector<std::string>{});
  EXPECT_EQ(NonEmptyLines("C:\\a b.wav\r\n\r\nC:\\c.wav\nC:\\d.wav"),
            (std::vector<std::string>{"C:\\a b.wav", "C:\\c.wav", "C:\\d.wav"}));
  EXPECT_EQ(NonEmptyLines("/x/Grüße 日本.wav\n"), std::vector<std::string>{"/x/Grüße 日本.wav"});
}

class RecordingMainView : public TMainView {
 public:
  void SetCaption(const std::string& caption) override { this->caption = caption; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::string caption;
  std::vector<std::string> messages;
};

TEST(DesktopTexts, AboutTextsAreKeptEnciphered) {
  EXPECT_EQ(texts::kAboutTitle.Text(), "About Lym");
  const std::string product = "Lym - lossless audio compression";
  EXPECT_EQ(texts::kAboutProduct.Text(), product);
  const auto& stored = texts::kAboutProduct.Bytes;
  const std::string storedText(stored.begin(), stored.end());
  EXPECT_EQ(storedText.size(), product.size());
  // Not one letter stored as it reads.
  for (size_t i = 0; i < product.size(); ++i) EXPECT_NE(storedText[i], product[i]) << i;
}

TEST(DesktopMainWindow, CaptionFolderAndProcessorOptions) {
  RecordingMainView view;
  TMainWindow window(view, {true, true}, "C:\\Work");
  window.Open();
  EXPECT_EQ(view.caption, "LYM - V 1.0.1");
  EXPECT_EQ(window.SharedFolder(), std::string("C:\\Work") + kFolderSeparator);
  EXPECT_EQ(TMainWindow(view, {}, "/home/").SharedFolder(), "/home/");

  EXPECT_EQ(window.DecompressProcessorOptions(), kCpuFlagVector);  // UseSse is off by default
  window.Settings().Compression.Options.UseSse = true;
  EXPECT_EQ(window.DecompressProcessorOptions(), kCpuFlagVector + kCpuFlagSse);
  EXPECT_EQ(TMainWindow(view, {}, "").DecompressProcessorOptions(), 0u);
}

TEST(DesktopMainWindow, AnEscapingExceptionIsShownAndEndsTheProgram) {
  RecordingMainView view;
  TMainWindow window(view, {}, "");
  EXPECT_TRUE(window.RunGuarded([] {}));
  EXPECT_FALSE(window.RunGuarded([] { throw std::runtime_error("Out of memory"); }));
  EXPECT_FALSE(window.RunGuarded([] { throw 1; }));
  EXPECT_EQ(view.messages, (std::vector<std::string>{"Out of memory", "Unknown error"}));
}

}  // namespace
}  // namespace lym

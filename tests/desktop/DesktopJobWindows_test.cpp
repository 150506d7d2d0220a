#include "JobWindows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "TestFiles.h"
#include "jobs/NewFileTag.h"
#include "lym/BatchEvents.h"
#include "lym/Informant.h"

namespace lym {
namespace {
namespace fs = std::filesystem;

// Records what the logic shows; answers questions and the file dialog as told.
class RecordingJobView : public TJobView {
 public:
  void SetCaption(const std::string& caption) override { this->caption = caption; }
  void SetText(TJobControl control, const std::string& text) override {
    texts[control] = text;
    if (control == TJobControl::stAction) actions.push_back(text);
  }
  void SetEnabled(TJobControl control, bool enabled) override { this->enabled[control] = enabled; }
  void SetAlert(TJobControl control, bool alert) override { alerts[control] = alert; }
  void ClearLines() override { lines.clear(); }
  void AppendLine(const std::string& text) override { lines.push_back(text); }
  void AppendToLastLine(const std::string& text) override {
    ASSERT_FALSE(lines.empty());
    lines.back() += text;
  }
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    return answer;
  }
  std::vector<std::string> ChooseFiles(const TFileDialogRequest& request) override {
    dialogs.push_back(request);
    return chosen;
  }
  void ProcessPendingMessages() override {
    ++pumps;
    if (onPump) onPump();
  }

  std::string caption;
  std::map<TJobControl, std::string> texts;
  std::map<TJobControl, bool> enabled, alerts;
  std::vector<std::string> actions, lines, questions;
  std::vector<TFileDialogRequest> dialogs;
  std::vector<std::string> chosen;
  bool answer = false;
  int pumps = 0;
  std::function<void()> onPump;
};

class DesktopJobWindowTest : public ::testing::Test {
 protected:
  DesktopJobWindowTest() {
    fs::create_directory(source_);
    fs::create_directory(user_);
  }

  std::string AddWave(const std::string& name, int64_t samples = 10000) {
    test::WaveSpec spec;
    spec.samples = samples;
    test::WriteFileBytes(folder_ / ("in/" + name), test::MakeWaveFile(spec));
    return folder_ / ("in/" + name);
  }
  std::string AddLym(const std::string& name) {
    const std::string wave = folder_ / "scratch.wav";
    test::WriteFileBytes(wave, test::MakeWaveFile({}));
    EXPECT_EQ(test::EncodeWaveFile(wave, folder_ / ("in/" + name), DefaultEncoderSettings()), 0);
    return folder_ / ("in/" + name);
  }
  std::string AddGarbage(const std::string& name) {
    test::WriteFileBytes(folder_ / ("in/" + name), std::vector<uint8_t>(3000, 0x5A));
    return folder_ / ("in/" + name);
  }
  bool InSource(const std::string& name) const { return fs::exists(folder_ / ("in/" + name)); }

  void ExpectIdleWithFiles() {
    EXPECT_EQ(view_.texts[TJobControl::stAction], "Idle");
    EXPECT_FALSE(view_.enabled[TJobControl::butStop]);
    for (TJobControl button : {TJobControl::butAddFiles, TJobControl::butOptions,
                               TJobControl::butDone}) {
      EXPECT_TRUE(view_.enabled[button]);
    }
  }

  // While the batch runs: only "&Stop" can be pressed, and the window cannot close.
  void WatchTheRunningWindow(TJobWindow& window, std::vector<TJobControl> startButtons) {
    view_.onPump = [&window, this, startButtons] {
      if (seenRunning_) return;
      seenRunning_ = true;
      EXPECT_TRUE(window.Running());
      EXPECT_FALSE(window.OnCloseQuery(true));
      EXPECT_TRUE(view_.enabled[TJobControl::butStop]);
      for (TJobControl button : startButtons) EXPECT_FALSE(view_.enabled[button]);
      EXPECT_FALSE(view_.enabled[TJobControl::butDone]);
      EXPECT_FALSE(view_.enabled[TJobControl::butAddFiles]);
      EXPECT_FALSE(view_.enabled[TJobControl::butOptions]);
    };
  }

  test::TempFolder folder_;
  std::string source_ = folder_ / "in";
  std::string user_ = folder_ / "user";
  std::string sharedFolder_ = "C:\\Start\\";
  RecordingJobView view_;
  TDesktopSettings settings_;
  bool seenRunning_ = false;
};

TEST_F(DesktopJobWindowTest, AddingFilesListsThemAndEnablesTheStartButtons) {
  TCompressWindow window(view_, sharedFolder_, settings_.Compression);
  window.Open();
  EXPECT_EQ(view_.caption, "Compress");
  EXPECT_EQ(view_.texts[TJobControl::stAction], "Idle");
  EXPECT_EQ(view_.texts[TJobControl::stFileProgress], "0 / 0");
  EXPECT_FALSE(view_.enabled[TJobControl::butCompress]);
  EXPECT_FALSE(view_.enabled[TJobControl::butTest]);
  EXPECT_FALSE(view_.enabled[TJobControl::butStop]);
  window.OnCompressClicked();  // nothing to do without files
  EXPECT_EQ(view_.actions, (std::vector<std::string>{"Idle"}));

  view_.chosen = {"C:\\Music\\b.wav", "C:\\Music\\a.wav"};
  window.OnAddFilesClicked();
  ASSERT_EQ(view_.dialogs.size(), 1u);
  EXPECT_EQ(view_.dialogs[0].Title, "Add files");
  EXPECT_EQ(view_.dialogs[0].Filter, "Wave (.wav)| *.wav|All files (*.*)|*.*");
  EXPECT_EQ(view_.dialogs[0].InitialFolder, "C:\\Start\\");
  EXPECT_EQ(window.SourceFolder(), "C:\\Music");
  EXPECT_EQ(window.Files(), (std::vector<std::string>{"b.wav", "a.wav"}));
  EXPECT_EQ(view_.lines, (std::vector<std::string>{"b.wav", "a.wav"}));
  EXPECT_EQ(view_.texts[TJobControl::stPath], "C:\\Music");
  EXPECT_EQ(view_.texts[TJobControl::stFileProgress], "0 / 2");
  EXPECT_TRUE(view_.enabled[TJobControl::butCompress]);
  EXPECT_TRUE(view_.enabled[TJobControl::butTest]);

  view_.chosen = {};  // the dialog canceled: nothing changes
  window.OnAddFilesClicked();
  EXPECT_EQ(view_.dialogs.back().InitialFolder, "C:\\Music");
  EXPECT_EQ(window.Files().size(), 2u);

  const std::string before = sharedFolder_;
  EXPECT_TRUE(window.OnCloseQuery(false));  // the close box: the folder is not handed on
  EXPECT_EQ(sharedFolder_, before);
  EXPECT_TRUE(window.OnCloseQuery(true));
  EXPECT_EQ(sharedFolder_, "C:\\Music");
}

TEST_F(DesktopJobWindowTest, CompressionRunsWithLiveLogCountersAndProgress) {
  TCompressWindow window(view_, sharedFolder_, settings_.Compression);
  window.Open();
  window.AddFiles({AddWave("a.wav"), AddGarbage("bad.wav"), AddWave("c.wav")});
  test::WriteFileBytes(folder_ / "in/c.lym", {1, 2, 3});  // already there
  WatchTheRunningWindow(window, {TJobControl::butCompress, TJobControl::butTest});
  window.OnCompressClicked();

  EXPECT_TRUE(seenRunning_);
  EXPECT_EQ(view_.actions, (std::vector<std::string>{"Idle", "Compressing...", "Idle"}));
  ASSERT_GE(view_.lines.size(), 3u);
  EXPECT_EQ(view_.lines[0].substr(0, 36), ShortDisplayName("a.wav"));
  EXPECT_NE(view_.lines[0].find("% "), std::string::npos);
  EXPECT_EQ(view_.lines[1], ShortDisplayName("bad.wav") + "Wave file not supported");
  EXPECT_EQ(view_.lines[2], ShortDisplayName("c.wav") + "Already exists");
  EXPECT_EQ(view_.lines.back(), "1 files failed.");
  EXPECT_EQ(view_.texts[TJobControl::stFileProgress], "3 / 3");
  EXPECT_EQ(view_.texts[TJobControl::stFrameProgress], "100 %");
  EXPECT_EQ(view_.texts[TJobControl::stErrorFileNum], "1");
  EXPECT_EQ(view_.texts[TJobControl::stWarningFileNum], "1");
  EXPECT_TRUE(view_.alerts[TJobControl::stErrorFileNum]);
  EXPECT_TRUE(view_.alerts[TJobControl::stWarningFileNum]);
  EXPECT_TRUE(InSource("a.lym"));
  EXPECT_FALSE(InSource("bad.lym"));
  ExpectIdleWithFiles();
  EXPECT_TRUE(view_.enabled[TJobControl::butCompress]);
  EXPECT_TRUE(window.OnCloseQuery(true));

  // The next run starts from a clean display.
  window.OnTestClicked();
  EXPECT_EQ(view_.actions.back(), "Idle");
  EXPECT_EQ(view_.actions[view_.actions.size() - 2], "Testing...");
  EXPECT_EQ(view_.texts[TJobControl::stWarningFileNum], "0");  // no-output mode checks nothing
  EXPECT_FALSE(view_.alerts[TJobControl::stWarningFileNum]);
  EXPECT_EQ(view_.texts[TJobControl::stErrorFileNum], "1");
}

TEST_F(DesktopJobWindowTest, CompressionWritesIntoTheUserFolderWhenChosen) {
  settings_.Compression.Output.DestinationChoice = kDestinationUser;
  settings_.Compression.Output.UserFolder = user_;
  TCompressWindow window(view_, sharedFolder_, settings_.Compression);
  window.AddFiles({AddWave("a.wav")});
  window.OnCompressClicked();
  EXPECT_TRUE(fs::exists(folder_ / "user/a.lym"));
  EXPECT_FALSE(InSource("a.lym"));
}

TEST_F(DesktopJobWindowTest, StopAskedAndAnsweredYesCancelsTheFile) {
  settings_.Compression.Encoder = PresetSettings(0, 0);
  TCompressWindow window(view_, sharedFolder_, settings_.Compression);
  window.AddFiles({AddWave("long.wav", 300000), AddWave("next.wav")});
  view_.onPump = [&] { window.OnStopClicked(); };
  view_.answer = true;
  window.OnCompressClicked();

  EXPECT_EQ(view_.questions, (std::vector<std::string>{"Stop compressing?"}));
  EXPECT_EQ(view_.lines[0], ShortDisplayName("long.wav") + "Canceled");
  EXPECT_EQ(view_.lines.size(), 1u);  // nothing after a cancel: no file done, no summary
  EXPECT_FALSE(InSource("long.lym"));
  EXPECT_FALSE(InSource("next.lym"));
  EXPECT_EQ(view_.texts[TJobControl::stErrorFileNum], "0");
  EXPECT_FALSE(window.Running());
  window.OnStopClicked();  // idle: no request is kept for the next run
  view_.onPump = nullptr;
  view_.questions.clear();
  window.OnCompressClicked();
  EXPECT_TRUE(view_.questions.empty());
  EXPECT_TRUE(InSource("next.lym"));
}

TEST_F(DesktopJobWindowTest, StopAnsweredNoContinuesTheBatch) {
  settings_.Compression.Encoder = PresetSettings(0, 0);
  TCompressWindow window(view_, sharedFolder_, settings_.Compression);
  window.AddFiles({AddWave("long.wav", 300000)});
  bool clicked = false;
  view_.onPump = [&] {
    if (!clicked) window.OnStopClicked();
    clicked = true;
  };
  window.OnCompressClicked();
  EXPECT_EQ(view_.questions, (std::vector<std::string>{"Stop compressing?"}));
  EXPECT_TRUE(InSource("long.lym"));
  EXPECT_EQ(view_.texts[TJobControl::stFileProgress], "1 / 1");
}

TEST_F(DesktopJobWindowTest, DecompressionCountsExistingFilesAsWarningsAndFailuresAsErrors) {
  TDecompressWindow window(view_, sharedFolder_, settings_.Decoder, 0);
  window.Open();
  EXPECT_EQ(view_.caption, "Decompress");
  view_.chosen = {AddLym("a.lym"), AddLym("b.lym"), AddGarbage("bad.lym")};
  window.OnAddFilesClicked();
  EXPECT_EQ(view_.dialogs[0].Filter, "Lym (.lym)|*.lym|All files (*.*)|*.*");
  test::WriteFileBytes(folder_ / "in/b.wav", {1});
  WatchTheRunningWindow(window, {TJobControl::butDecompress, TJobControl::butTest});
  window.OnDecompressClicked();

  EXPECT_TRUE(seenRunning_);
  EXPECT_EQ(view_.actions[1], "Decompressing...");
  EXPECT_EQ(view_.lines[0].substr(0, 36), ShortDisplayName("a.lym"));
  EXPECT_EQ(view_.lines[0].substr(view_.lines[0].size() - 4), "* Ok");
  EXPECT_EQ(view_.lines[1], ShortDisplayName("b.lym") + "Already exists");
  EXPECT_EQ(view_.lines[2], ShortDisplayName("bad.lym") + "Undecodable");
  EXPECT_EQ(view_.texts[TJobControl::stWarningFileNum], "1");
  EXPECT_EQ(view_.texts[TJobControl::stErrorFileNum], "1");
  EXPECT_EQ(view_.texts[TJobControl::stFileProgress], "3 / 3");
  EXPECT_EQ(test::ReadFileBytes(folder_ / "in/a.wav"), test::MakeWaveFile({}));
  ExpectIdleWithFiles();
}

TEST_F(DesktopJobWindowTest, DecompressionErrorsIncludeFilesThatCouldNotBeWritten) {
  settings_.Decoder.DestinationChoice = kDestinationUser;
  settings_.Decoder.UserFolder = folder_ / "missing";
  TDecompressWindow window(view_, sharedFolder_, settings_.Decoder, 0);
  window.AddFiles({AddLym("a.lym")});
  window.OnDecompressClicked();
  EXPECT_EQ(view_.lines[0], ShortDisplayName("a.lym") + "Error writing destination");
  EXPECT_EQ(view_.texts[TJobControl::stErrorFileNum], "1");
  EXPECT_TRUE(view_.alerts[TJobControl::stErrorFileNum]);
}

TEST_F(DesktopJobWindowTest, DecompressionTestWritesNothing) {
  TDecompressWindow window(view_, sharedFolder_, settings_.Decoder, 0);
  window.AddFiles({AddLym("a.lym")});
  window.OnTestClicked();
  EXPECT_EQ(view_.actions[view_.actions.size() - 2], "Testing...");
  EXPECT_NE(view_.lines[0].find("Ok"), std::string::npos);
  EXPECT_FALSE(InSource("a.wav"));
}

TEST_F(DesktopJobWindowTest, FileInformationShowsTheReportAndCountsUnreadableFiles) {
  settings_.FileInfo.ReportMode = kInformEncoder;
  TFileInfoWindow window(view_, sharedFolder_, settings_.FileInfo);
  window.Open();
  EXPECT_EQ(view_.caption, "File Information");
  window.AddFiles({AddLym("a.lym"), AddGarbage("bad.lym")});
  WatchTheRunningWindow(window, {TJobControl::butStart});
  window.OnStartClicked();

  EXPECT_TRUE(seenRunning_);
  EXPECT_EQ(view_.actions[1], "Reading...");
  ASSERT_GE(view_.lines.size(), 2u);
  EXPECT_EQ(view_.lines[0], ShortDisplayName("a.lym") + "V 1.0.1, Normal + Standard");
  EXPECT_EQ(view_.lines[1].substr(0, 36), ShortDisplayName("bad.lym"));
  EXPECT_EQ(view_.texts[TJobControl::stFileProgress], "2 / 2");
  EXPECT_EQ(view_.texts[TJobControl::stErrorFileNum], "1");
  EXPECT_EQ(view_.texts[TJobControl::stWarningFileNum], "0");
}

TEST_F(DesktopJobWindowTest, DetailedFileInformationShowsTheTagItems) {
  const std::string file = AddLym("tagged.lym");
  std::vector<uint8_t> tag;
  std::string fault;
  ASSERT_TRUE(BuildNewFileTag({{kTagItemText, "Title", "Grüße"},
                               {kTagItemText, "Genre", std::string("Jazz\0Blues", 10)},
                               {kTagItemBinary, "Cover Art (Front)", std::string("c.jpg\0\xFF\xD8", 8)}},
                              tag, fault))
      << fault;
  std::vector<uint8_t> bytes = test::ReadFileBytes(file);
  bytes.insert(bytes.end(), tag.begin(), tag.end());
  test::WriteFileBytes(file, bytes);
  settings_.FileInfo.ReportMode = kInformDetailed;
  TFileInfoWindow window(view_, sharedFolder_, settings_.FileInfo);
  window.AddFiles({file});
  window.OnStartClicked();

  const std::vector<std::string> expected{"  APEv2 items:", "    Title = Grüße",
                                          "    Genre = Jazz; Blues",
                                          "    Cover Art (Front) = binary, 8 bytes"};
  const auto items = std::find(view_.lines.begin(), view_.lines.end(), expected[0]);
  ASSERT_LE(expected.size(), size_t(view_.lines.end() - items));
  EXPECT_EQ(std::vector<std::string>(items, items + 4), expected);
}

TEST_F(DesktopJobWindowTest, FileInformationStopsBeforeTheNextFile) {
  TFileInfoWindow window(view_, sharedFolder_, settings_.FileInfo);
  window.AddFiles({AddLym("a.lym"), AddLym("b.lym")});
  view_.onPump = [&] { window.OnStopClicked(); };
  view_.answer = true;
  window.OnStartClicked();
  EXPECT_EQ(view_.questions, (std::vector<std::string>{"Stop processing?"}));
  for (const std::string& line : view_.lines) EXPECT_EQ(line.find("b.lym"), std::string::npos);
  EXPECT_EQ(view_.texts[TJobControl::stErrorFileNum], "0");
}

}  // namespace
}  // namespace lym

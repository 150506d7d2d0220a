#include <gtest/gtest.h>

#include <cstring>

#include "FakeHost.h"
#include "TestFiles.h"
#include "plugin/FileInfo.h"
#include "plugin/InLym.h"

namespace lym {
namespace {

// 2.5 s of stereo, made at the default preset.
const test::WaveSpec kSpec{16, 2, 11025, 27562, 5};

class PluginFileInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = &test::InstallFakeHost(module_);
    const std::string wave = folder_ / "source.wav";
    test::WriteFileBytes(wave, test::MakeWaveFile(kSpec));
    ASSERT_EQ(test::EncodeWaveFile(wave, plain_, DefaultEncoderSettings()), 0);
  }
  void TearDown() override { test::UninstallFakeHost(module_); }

  // A copy of the plain file with the tag appended.
  std::string Tagged(const std::string& name,
                     const std::vector<std::pair<std::string, std::string>>& items) {
    std::vector<uint8_t> bytes = test::ReadFileBytes(plain_);
    const std::string tag = test::MakeApeTag(items);
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    const std::string path = folder_ / name;
    test::WriteFileBytes(path, bytes);
    return path;
  }

  // GetFileInfo through the record, as the player asks for its playlist.
  std::pair<std::string, int> TitleAndLength(const std::string& file) {
    char title[plugin::kTitleBytes];
    std::memset(title, 'x', sizeof(title));
    int length = 0;
    module_.GetFileInfo(file.c_str(), title, &length);
    return {title, length};
  }

  std::string InfoBoxText(const std::string& file) {
    EXPECT_EQ(module_.InfoBox(file.c_str(), kParent), 0);
    EXPECT_EQ(host_->messages.size(), 1u);
    return host_->messages.empty() ? "" : host_->messages.back().text;
  }

  static inline const auto kParent = reinterpret_cast<winamp::Window>(0x77);
  test::TempFolder folder_;
  const std::string plain_ = folder_ / "plain.lym";
  winamp::In_Module& module_ = *winampGetInModule2();
  test::FakeHost* host_ = nullptr;
};

TEST_F(PluginFileInfo, TitlesComeFromTheTagOrTheFileName) {
  struct Case {
    const char* file;
    std::vector<std::pair<std::string, std::string>> items;
    std::string title;
  };
  const Case cases[] = {
      {"both.lym", {{"Title", "Title"}, {"ARTIST", "Artist"}}, "Artist - Title"},
      {"title.lym", {{"title", "Only the title"}}, "Only the title"},
      {"artist.lym", {{"artist", "Nobody"}}, "artist.lym"},
      {"values.lym", {{"title", std::string("One\0Two", 7)}}, "One;Two"},
      {"empty.lym", {}, "empty.lym"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(TitleAndLength(Tagged(c.file, c.items)), std::make_pair(c.title, 2500));
  }
  EXPECT_EQ(TitleAndLength(plain_).first, "plain.lym");
  EXPECT_TRUE(host_->messages.empty());
}

TEST_F(PluginFileInfo, ALongTagValueIsCutTo128Characters) {
  const std::string title(300, 'T');
  const std::string path = Tagged("long.lym", {{"title", title}, {"artist", title}});
  EXPECT_EQ(TitleAndLength(path).first, std::string(128, 'T') + " - " + std::string(128, 'T'));
}

TEST_F(PluginFileInfo, AnUnreadableFileGetsItsNameAndOneMessagePerQuery) {
  const std::string missing = folder_ / "gone.lym";
  EXPECT_EQ(TitleAndLength(missing), std::make_pair(std::string("gone.lym"), -1000));
  ASSERT_EQ(host_->messages.size(), 1u);
  EXPECT_EQ(host_->messages[0].owner, nullptr);
  EXPECT_EQ(host_->messages[0].text, "Error reading file");
  EXPECT_EQ(host_->messages[0].caption, "LYM Decoder");

  const std::string garbage = folder_ / "garbage.lym";
  test::WriteFileBytes(garbage, std::vector<uint8_t>(4000, 0x33));
  int length = 0;
  module_.GetFileInfo(garbage.c_str(), nullptr, &length);  // the length alone
  EXPECT_EQ(length, -1000);
  EXPECT_EQ(host_->messages.size(), 2u);
}

TEST_F(PluginFileInfo, ThePlayingFileAnswersFromThePlayback) {
  const std::string path = Tagged("playing.lym", {{"title", "Now"}, {"artist", "Someone"}});
  host_->room = 0;  // keeps the file playing
  ASSERT_EQ(module_.Play(path.c_str()), 0);
  std::remove(path.c_str());  // the answers must not need the file again (POSIX lets it go)
  EXPECT_EQ(TitleAndLength(""), std::make_pair(std::string("Someone - Now"), 2500));
  char title[plugin::kTitleBytes];
  module_.GetFileInfo(nullptr, title, nullptr);
  EXPECT_STREQ(title, "Someone - Now");
  module_.Stop();
  // Nothing plays: no tag to ask, and no length.
  EXPECT_EQ(TitleAndLength(""), std::make_pair(std::string("playing.lym"), 0));
}

TEST_F(PluginFileInfo, ExtendedInfoAnswersTagItemsOnly) {
  const std::string comment(300, 'c');  // longer than most values
  const std::string path =
      Tagged("ext.lym", {{"Album", "Long Player"}, {"Year", "1999"}, {"Comment", comment}});
  char value[64] = {};
  EXPECT_EQ(winampGetExtendedFileInfo(path.c_str(), "album", value, sizeof(value)), 1);
  EXPECT_STREQ(value, "Long Player");
  char whole[400] = {};
  EXPECT_EQ(winampGetExtendedFileInfo(path.c_str(), "comment", whole, sizeof(whole)), 1);
  EXPECT_EQ(whole, comment);
  // Cut to the buffer, still an answer.
  char small[5] = {};
  EXPECT_EQ(winampGetExtendedFileInfo(path.c_str(), "ALBUM", small, sizeof(small)), 1);
  EXPECT_STREQ(small, "Long");

  EXPECT_EQ(winampGetExtendedFileInfo(path.c_str(), "length", value, sizeof(value)), 0);
  EXPECT_EQ(winampGetExtendedFileInfo(plain_.c_str(), "album", value, sizeof(value)), 0);
  EXPECT_EQ(winampGetExtendedFileInfo("", "type", value, sizeof(value)), 0);
  EXPECT_EQ(winampGetExtendedFileInfo(path.c_str(), "", value, sizeof(value)), 0);
  EXPECT_EQ(winampGetExtendedFileInfo(path.c_str(), "album", nullptr, 10), 0);
  EXPECT_EQ(winampGetExtendedFileInfo(path.c_str(), "album", value, 0), 0);
  EXPECT_EQ(winampGetExtendedFileInfo(nullptr, "album", value, sizeof(value)), 0);
  const std::string missing = folder_ / "gone.lym";
  EXPECT_EQ(winampGetExtendedFileInfo(missing.c_str(), "album", value, sizeof(value)), 0);
  EXPECT_TRUE(host_->messages.empty());
}

TEST(PluginDurationText, MinutesAloneBelowAnHour) {
  EXPECT_EQ(plugin::DurationText(185020), "3:05.020");
  EXPECT_EQ(plugin::DurationText(3723004), "1:02:03.004");
  EXPECT_EQ(plugin::DurationText(59 * 60000), "59:00.000");
  EXPECT_EQ(plugin::DurationText(3599999), "59:59.999");
  EXPECT_EQ(plugin::DurationText(60 * 60000), "1:00:00.000");
  EXPECT_EQ(plugin::DurationText(0), "0:00.000");
}

TEST_F(PluginFileInfo, InfoBoxDescribesStreamEncoderAndTag) {
  const std::string path = Tagged("info.lym", {{"Comment", "nice"}, {"title", "T"}, {"Genre", "x"}});
  const std::string text = InfoBoxText(path);
  EXPECT_EQ(host_->messages[0].caption, "LYM File Info");
  EXPECT_EQ(host_->messages[0].owner, kParent);

  // The tag: header, three items of 4 + 5 + 5 bytes each with their keys, footer.
  const int tagBytes = 32 + (8 + 8 + 4) + (8 + 6 + 1) + (8 + 6 + 1) + 32;
  char size[16];
  std::snprintf(size, sizeof(size), "%.2f", tagBytes / 1024.0);
  const std::string expected =
      "File duration: 0:02.500\r\n"
      "Audio: PCM, 11025 Hz, 16 Bits, 2 Channels\r\n"
      "Encoder: V 1.0.1, Normal + Standard\r\n"
      "Frame duration: 125 ms\r\n"
      "APEv2-Tag: Yes / 3 Items / " + std::string(size) + " KB\r\n"
      "Title: T\r\n"
      "Comment: nice";
  EXPECT_EQ(text, expected);
}

TEST_F(PluginFileInfo, InfoBoxNamesTheTagStateAndFailsForUnreadableFiles) {
  const std::string untagged = InfoBoxText(plain_);
  EXPECT_EQ(untagged.substr(untagged.rfind("\r\n") + 2), "APEv2-Tag: No");

  std::vector<uint8_t> bytes = test::ReadFileBytes(plain_);
  std::string tag = test::MakeApeTag({{"title", "T"}});
  tag[tag.size() - 32 + 8] = char(0xE8);  // footer version 1000: a tag of the older kind
  tag[tag.size() - 32 + 9] = 0x03;
  bytes.insert(bytes.end(), tag.begin(), tag.end());
  const std::string old = folder_ / "old.lym";
  test::WriteFileBytes(old, bytes);
  host_->messages.clear();
  const std::string text = InfoBoxText(old);
  EXPECT_EQ(text.substr(text.rfind("\r\n") + 2), "APEv2-Tag: Incompatible");

  host_->messages.clear();
  const std::string missing = folder_ / "gone.lym";
  EXPECT_EQ(module_.InfoBox(missing.c_str(), kParent), 1);
  ASSERT_EQ(host_->messages.size(), 1u);
  EXPECT_EQ(host_->messages[0].text, "Error reading file");
  EXPECT_EQ(host_->messages[0].caption, "LYM File Info");
}

TEST_F(PluginFileInfo, RecordConfigAndAboutAreThePlayersToShow) {
  EXPECT_EQ(module_.version, 0x100);
  EXPECT_STREQ(module_.description, "LYM Player V1.0.4");
  EXPECT_EQ(std::string(module_.FileExtensions, 22), std::string("lym\0LYM file (*.lym)\0\0", 22));
  EXPECT_EQ(module_.is_seekable, 1);
  EXPECT_EQ(module_.UsesOutputPlug, 1);
  EXPECT_EQ(module_.IsOurFile(plain_.c_str()), 0);

  module_.Config(kParent);
  module_.About(kParent);
  ASSERT_EQ(host_->messages.size(), 2u);
  EXPECT_EQ(host_->messages[0].text, "No configuration available!");
  EXPECT_EQ(host_->messages[0].caption, "LYM Player configuration");
  EXPECT_EQ(host_->messages[0].icon, plugin::TMessageIcon::Warning);
  EXPECT_EQ(host_->messages[1].caption, "About LYM Player");
  EXPECT_EQ(host_->messages[1].text.rfind("LYM Player V1.0.4\r\n", 0), 0u);
  EXPECT_EQ(host_->messages[1].owner, kParent);
}

}  // namespace
}  // namespace lym

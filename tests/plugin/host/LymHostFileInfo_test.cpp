// What the player learns about files through the loaded DLL: titles, lengths, tag values, the
// information box and the plug-in's own message boxes; and file names beyond ASCII.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "HostTest.h"

namespace lym::test {
namespace {

const WaveSpec kSpec{16, 2, 11025, 16538, 9};
constexpr int kLengthMs = 1500;
// "Motörhead" as the tag stores it (UTF-8) and as the player shows it (ANSI).
const std::string kArtistUtf8 = "Mot\xC3\xB6rhead";
const std::wstring kArtist = L"Mot\u00F6rhead";

class LymHostFileInfo : public LymHostTest {
 protected:
  std::pair<std::string, int> TitleAndLength(const std::string& file) {
    char title[512];
    std::fill(std::begin(title), std::end(title), 'x');
    int length = 0;
    host_.Module().GetFileInfo(file.c_str(), title, &length);
    return {title, length};
  }
};

TEST_F(LymHostFileInfo, TitlesComeFromTheTagInTheAnsiCodePageOrFromTheName) {
  const std::string both = MakeLym("both.lym", kSpec, {{"Title", "Ace"}, {"ARTIST", kArtistUtf8}});
  const std::string title = MakeLym("title.lym", kSpec, {{"title", "Only"}});
  const std::string artist = MakeLym("artist.lym", kSpec, {{"artist", "Nobody"}});
  const std::string plain = MakeLym("plain.lym", kSpec);
  EXPECT_EQ(TitleAndLength(both), std::make_pair(Ansi(kArtist) + " - Ace", kLengthMs));
  EXPECT_EQ(TitleAndLength(title), std::make_pair(std::string("Only"), kLengthMs));
  EXPECT_EQ(TitleAndLength(artist), std::make_pair(std::string("artist.lym"), kLengthMs));
  EXPECT_EQ(TitleAndLength(plain), std::make_pair(std::string("plain.lym"), kLengthMs));

  // The playing file answers to an empty name.
  host_.Output().SetSpeed(1);  // real time: the file still plays while it is asked about
  ASSERT_EQ(host_.Play(both), 0);
  EXPECT_EQ(TitleAndLength(""), std::make_pair(Ansi(kArtist) + " - Ace", kLengthMs));
  host_.Module().Stop();
  EXPECT_TRUE(host_.TakeMessageBoxes().empty());
}

TEST_F(LymHostFileInfo, AnUnreadableFileGetsItsNameAndAMessageBoxWithoutOwner) {
  EXPECT_EQ(TitleAndLength(folder_ / "gone.lym"), std::make_pair(std::string("gone.lym"), -1000));
  const std::vector<CapturedMessageBox> boxes = host_.TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].text, "Error reading file");
  EXPECT_EQ(boxes[0].caption, "LYM Decoder");
}

TEST_F(LymHostFileInfo, ExtendedInfoAnswersTagItems) {
  EXPECT_EQ(host_.TypeQueryAnswer(), 0);
  const std::string lym = MakeLym(
      "ext.lym", kSpec, {{"Album", "Long Player"}, {"Year", "1999"}, {"artist", kArtistUtf8}});
  char value[64] = {};
  EXPECT_EQ(host_.ExtendedFileInfo(lym, "album", value, sizeof(value)), 1);
  EXPECT_STREQ(value, "Long Player");
  EXPECT_EQ(host_.ExtendedFileInfo(lym, "YEAR", value, sizeof(value)), 1);
  EXPECT_STREQ(value, "1999");
  EXPECT_EQ(host_.ExtendedFileInfo(lym, "Artist", value, sizeof(value)), 1);
  EXPECT_EQ(value, Ansi(kArtist));
  char small[5] = {};
  EXPECT_EQ(host_.ExtendedFileInfo(lym, "album", small, sizeof(small)), 1);  // cut to the buffer
  EXPECT_STREQ(small, "Long");

  EXPECT_EQ(host_.ExtendedFileInfo(lym, "length", value, sizeof(value)), 0);
  EXPECT_EQ(host_.ExtendedFileInfo(lym, "comment", value, sizeof(value)), 0);
  EXPECT_EQ(host_.ExtendedFileInfo(folder_ / "gone.lym", "album", value, sizeof(value)), 0);
  EXPECT_TRUE(host_.TakeMessageBoxes().empty());
}

TEST_F(LymHostFileInfo, InfoBoxShowsTheFileOnTheParent) {
  const std::string lym = MakeLym("info.lym", kSpec, {{"title", "T"}, {"Artist", "A"}});
  EXPECT_EQ(host_.Module().InfoBox(lym.c_str(), host_.MainWindow()), 0);
  EXPECT_EQ(host_.Module().InfoBox((folder_ / "gone.lym").c_str(), host_.MainWindow()), 1);

  const std::vector<CapturedMessageBox> boxes = host_.TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  for (const CapturedMessageBox& box : boxes) {
    EXPECT_EQ(box.owner, host_.MainWindow());
    EXPECT_EQ(box.caption, "LYM File Info");
    EXPECT_EQ(box.type, UINT(MB_OK));
  }
  EXPECT_EQ(boxes[0].text.rfind("File duration: 0:01.500\r\n"
                                "Audio: PCM, 11025 Hz, 16 Bits, 2 Channels\r\n"
                                "Encoder: V 1.0.1, Normal + Standard\r\n"
                                "Frame duration: 125 ms\r\n"
                                "APEv2-Tag: Yes / 2 Items / ",
                                0),
            0u);
  EXPECT_EQ(boxes[0].text.substr(boxes[0].text.find(" KB")), " KB\r\nTitle: T\r\nArtist: A");
  EXPECT_EQ(boxes[1].text, "Error reading file");
}

TEST_F(LymHostFileInfo, ConfigAndAboutShowTheirMessageBoxes) {
  host_.Module().Config(host_.MainWindow());
  host_.Module().About(host_.MainWindow());
  const std::vector<CapturedMessageBox> boxes = host_.TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "No configuration available!");
  EXPECT_EQ(boxes[0].caption, "LYM Player configuration");
  EXPECT_EQ(boxes[0].type, UINT(MB_OK | MB_ICONWARNING));
  EXPECT_EQ(boxes[1].text.rfind("LYM Player V1.0.4\r\n", 0), 0u);
  EXPECT_EQ(boxes[1].caption, "About LYM Player");
  EXPECT_EQ(boxes[1].type, UINT(MB_OK));
  for (const CapturedMessageBox& box : boxes) EXPECT_EQ(box.owner, host_.MainWindow());
}

// The player passes names in the ANSI code page; the file on the disk has the same name.
TEST_F(LymHostFileInfo, NamesBeyondAsciiWorkInEveryEntryPoint) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "the ANSI code page is UTF-8: nothing to convert";
  const std::wstring wideName = L"Caf\u00E9.lym";
  const std::string name = Ansi(wideName);
  if (name.empty()) GTEST_SKIP() << "the ANSI code page " << GetACP() << " cannot hold the name";
  const std::string made = MakeLym("cafe.lym", kSpec, {{"album", "Menu"}});
  std::filesystem::rename(made, std::filesystem::path(folder_.Path()) / wideName);
  const std::string lym = folder_ / name;

  EXPECT_EQ(TitleAndLength(lym), std::make_pair(name, kLengthMs));
  char value[16] = {};
  EXPECT_EQ(host_.ExtendedFileInfo(lym, "album", value, sizeof(value)), 1);
  EXPECT_STREQ(value, "Menu");
  EXPECT_EQ(host_.Module().InfoBox(lym.c_str(), host_.MainWindow()), 0);
  EXPECT_EQ(host_.TakeMessageBoxes().at(0).text.rfind("File duration: 0:01.500\r\n", 0), 0u);

  ASSERT_EQ(host_.Play(lym), 0);
  EXPECT_EQ(TitleAndLength(""), std::make_pair(name, kLengthMs));
  ASSERT_TRUE(host_.WaitForEndOfFile());
  host_.Module().Stop();
  EXPECT_EQ(host_.Output().Log().segments, PcmSegments{MakePcmBytes(kSpec)});
}

}  // namespace
}  // namespace lym::test

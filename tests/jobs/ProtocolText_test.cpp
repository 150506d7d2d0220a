#include <gtest/gtest.h>

#include <string>

#include "TestFiles.h"
#include "jobs/DiagProtocol.h"
#include "jobs/TextData.h"
#include "jobs/Timing.h"

namespace lym {
namespace {

TEST(TextDataWriter, ComposesColumnsAndInsertsWithinTheList) {
  TTextData text;
  text.Add("first");
  text.Add("last");
  TTextDataWriter writer;
  writer.Attach(&text);
  writer.Write("ab");
  writer.TabTo(6);
  writer.WritePaddedRight("xyz", 2);
  writer.WritePaddedLeft("7", 3);
  writer.WriteChars('-', 0);
  writer.NewLine();
  writer.SetLine(2);  // inserted before "last"
  writer.WriteLine("middle");
  writer.SetLine(-5);  // clamps to 1
  writer.BlankLines(1);
  writer.SetLine(99);  // appends
  writer.WriteLine("tail");
  EXPECT_EQ(text.Lines(), (std::vector<std::string>{"", "first", "middle", "last", "ab   xy  7",
                                                     "tail"}));
}

TEST(TextData, SavesCrLfAndLoadsEveryLineEnd) {
  test::TempFolder folder;
  TTextData text;
  text.Add("one");
  text.Add("");
  text.Add("three \xE4");
  ASSERT_TRUE(text.SaveToFile(folder / "a.txt"));
  const std::vector<uint8_t> bytes = test::ReadFileBytes(folder / "a.txt");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "one\r\n\r\nthree \xE4\r\n");

  test::WriteFileBytes(folder / "b.txt", {'a', '\n', 'b', '\r', 'c', '\r', '\n', 'd'});
  TTextData loaded;
  loaded.Text = "kept until cleared";
  ASSERT_TRUE(loaded.LoadFromFile(folder / "b.txt"));
  EXPECT_EQ(loaded.Lines(), (std::vector<std::string>{"a", "b", "c", "d"}));
  loaded.Clear();
  EXPECT_EQ(loaded.Count(), 0);
  EXPECT_EQ(loaded.Text, "");
  EXPECT_FALSE(loaded.LoadFromFile(folder / "missing.txt"));
  EXPECT_FALSE(text.SaveToFile(folder / "no-such-folder/a.txt"));
}

TEST(FixedWidthText, PadsCutsAndAligns) {
  EXPECT_EQ(PadRight("abc", 5), "abc  ");
  EXPECT_EQ(PadRight("abcdef", 4), "abcd");
  EXPECT_EQ(PadLeft("abc", 5), "  abc");
  EXPECT_EQ(PadLeft("abcdef", 4), "abcd");
  EXPECT_EQ(IntRight(-42, 6), "   -42");
  EXPECT_EQ(IntRight(1234567890123, 8), "1234567890123");
  EXPECT_EQ(FormatFixed(3.14159, 9, 2), "     3.14");
  EXPECT_EQ(FormatFixed(2.5, 4, 0), "   2");  // printf rounding: to even
  EXPECT_EQ(FormatFixed(123456.0, 2, 1), "123456.0");
}

TEST(FixedWidthText, CountsCharactersOfUtf8Texts) {
  const std::string name = "Gr\u00fc\u00dfe \u266a";  // 7 characters in 11 bytes
  EXPECT_EQ(CharCount(name), 7u);
  EXPECT_EQ(PadRight(name, 9), name + "  ");
  EXPECT_EQ(PadLeft(name, 8), " " + name);
  // Cut between characters, never inside one.
  EXPECT_EQ(PadRight(name, 3), "Gr\u00fc");
  EXPECT_EQ(FirstChars(name, 4), "Gr\u00fc\u00df");
  EXPECT_EQ(LastChars(name, 2), " \u266a");
  EXPECT_EQ(LastChars(name, 20), name);
}

TEST(DiagProtocol, SectionsHeadingsAndLabelledValues) {
  TDiagProtocol protocol;
  protocol.Section("Results");  // no blank lines on an empty protocol
  protocol.Heading("Frames", true);
  protocol.LabelInt("Predictors:", 32);
  protocol.LabelInt("Sensitivity:", 1, "(0 - 2)");
  protocol.LabelBool("Verify:", true);
  protocol.LabelBool("Use SSE:", false);
  protocol.LabelFloat("File size:", 1.5, 2, "MB");
  protocol.LabelInt("Wide:", 12345678901, "x");
  protocol.LabelText(std::string(40, 'L'), "value");
  protocol.Section("--- as it is ---");
  protocol.Section(std::string(56, 'T'));
  const std::string pad35 = std::string(35, ' ');
  const std::vector<std::string> expected = {
      "=== Results ===" + std::string(45, '='),
      "",
      "Frames",
      "  Predictors:" + std::string(24, ' ') + "        32",
      "  Sensitivity:" + std::string(23, ' ') + "         1 (0 - 2)",
      "  Verify:" + std::string(28, ' ') + "        Ja",
      "  Use SSE:" + std::string(27, ' ') + "      Nein",
      "  File size:" + std::string(25, ' ') + "      1.50 MB",
      "  Wide:" + std::string(30, ' ') + "1234567890 x",
      "  " + std::string(35, 'L') + "value",
      "",
      "",
      "--- as it is ---",
      "",
      "",
      "=== " + std::string(56, 'T') + " ===",
  };
  EXPECT_EQ(protocol.Lines(), expected);
  // The value starts in column 38 and a unit in column 49.
  EXPECT_EQ(protocol[7].find("1.50"), size_t(37 + 6));
  EXPECT_EQ(protocol[7].find("MB"), size_t(48));

  protocol.SetLabelWidth(25);
  protocol.LabelText("Status:", "Ok");
  EXPECT_EQ(protocol[protocol.Count() - 1], "  Status:" + std::string(18, ' ') + "Ok");
}

TEST(DiagProtocol, KeepsWritingAfterLoadedLines) {
  test::TempFolder folder;
  test::WriteFileBytes(folder / "p.txt", {'o', 'l', 'd', '\r', '\n'});
  TDiagProtocol protocol;
  ASSERT_TRUE(protocol.LoadFromFile(folder / "p.txt"));
  protocol.Section("Results");
  EXPECT_EQ(protocol.Lines(),
            (std::vector<std::string>{"old", "", "", "=== Results ===" + std::string(45, '=')}));
}

TEST(Timing, ClockRunsForwardAndTimerReportsItsPeriod) {
  const double a = ClockMs();
  double b = a;
  while (b == a) b = ClockMs();
  EXPECT_GT(b, a);
  EXPECT_GE(a, 0.0);
  TEventTimerManager timers;
  EXPECT_GE(timers.MinimumPeriod(), 1u);
  EXPECT_STREQ(ETimeDrv(1).what(),
               "System error in timeDrv: Der Multimediatimer konnte nicht initialisiert werden.");
  EXPECT_EQ(ETimeDrv::MessageFor(9), "Unbekannter Fehler");
}

}  // namespace
}  // namespace lym

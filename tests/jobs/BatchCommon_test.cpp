#include "jobs/BatchCommon.h"

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "platform/PlatformFile.h"

namespace lym {
namespace {

TEST(BatchCommon, ShortDisplayNamePadsOrShortens) {
  EXPECT_EQ(ShortDisplayName("abc.wav"), "abc.wav" + std::string(28, ' ') + " ");
  const std::string exact(35, 'x');
  EXPECT_EQ(ShortDisplayName(exact), exact + " ");
  const std::string longer = "0123456789abcdefghijklmnopqrstuvwxyz";  // 36 characters
  EXPECT_EQ(ShortDisplayName(longer), "0123456789...efghijklmnopqrstuvwxyz ");
  EXPECT_EQ(ShortDisplayName(longer).size(), 36u);
}

TEST(BatchCommon, ShortDisplayNameCountsCharactersNotBytes) {
  const std::string name = "Gr\u00fc\u00dfe \u266a.wav";  // 11 characters
  EXPECT_EQ(ShortDisplayName(name), name + std::string(24, ' ') + " ");
  // 36 characters, each of two bytes: shortened at character boundaries.
  std::string longer;
  for (int i = 0; i < 36; ++i) longer += "\u00e9";
  std::string expected;
  for (int i = 0; i < 10 + 22; ++i) expected += "\u00e9";
  expected.insert(20, "...");
  EXPECT_EQ(ShortDisplayName(longer), expected + " ");
}

TEST(BatchCommon, PathsAndNames) {
  const std::string sep(1, platform::kPathSeparator);
  EXPECT_EQ(JoinPath("dir", "a.wav"), "dir" + sep + "a.wav");
  EXPECT_EQ(JoinPath("dir/", "a.wav"), "dir/a.wav");
  EXPECT_EQ(JoinPath("", "a.wav"), "a.wav");
  EXPECT_EQ(FileNamePart("x/y.z/abc.wav"), "abc.wav");
  EXPECT_EQ(FileNamePart("abc"), "abc");
  EXPECT_EQ(WithoutExtension("a.b.lym"), "a.b");
  EXPECT_EQ(WithoutExtension("x.d/abc"), "x.d/abc");
  EXPECT_EQ(WithoutExtension("abc"), "abc");
}

TEST(BatchCommon, LogFilesAppendAfterTwoEmptyLines) {
  test::TempFolder folder;
  const std::string name = folder / "log.txt";
  TTextData first, second;
  first.Add("a");
  second.Add("b");
  ASSERT_TRUE(SaveLogFile(name, true, first));  // nothing to append to
  ASSERT_TRUE(SaveLogFile(name, true, second));
  const std::vector<uint8_t> bytes = test::ReadFileBytes(name);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "a\r\n\r\n\r\nb\r\n");
  ASSERT_TRUE(SaveLogFile(name, false, second));
  EXPECT_EQ(test::ReadFileBytes(name).size(), 3u);
  EXPECT_FALSE(SaveLogFile(folder / "missing/log.txt", false, first));
}

TEST(BatchCommon, OutputsThatMayNotBeWritten) {
  constexpr TOutputCodes kCodes{8, 6};
  test::TempFolder folder;
  const std::string source = folder / "a.wav";
  const std::string destination = folder / "a.lym";
  test::WriteFileBytes(source, {1});
  TRunOutputs run;
  std::string reason;
  EXPECT_EQ(CheckOutput(source, destination, false, run, kCodes, reason), 0);
  // The source itself, by another spelling of its path, overwriting or not.
  const std::string sameSource = folder.Path() + "/./a.wav";
  EXPECT_EQ(CheckOutput(source, sameSource, true, run, kCodes, reason), 6);
  EXPECT_EQ(reason, "Destination is the source file");
  reason.clear();
  EXPECT_EQ(CheckOutput(source, folder.Path(), true, run, kCodes, reason), 6);
  EXPECT_EQ(reason, "Destination is not a regular file");

  test::WriteFileBytes(destination, {2});
  reason.clear();
  EXPECT_EQ(CheckOutput(source, destination, false, run, kCodes, reason), 8);
  EXPECT_EQ(CheckOutput(source, destination, true, run, kCodes, reason), 0);
  EXPECT_EQ(reason, "");
  // Once this run wrote it, another input may not replace it.
  run.Add(destination);
  EXPECT_EQ(CheckOutput(source, destination, true, run, kCodes, reason), 8);
  EXPECT_EQ(reason, "Written from another input of this run");
}

TEST(BatchCommon, ExceptionsBecomeReasons) {
  EXPECT_EQ(ExceptionReason(std::make_exception_ptr(std::bad_alloc())), "Out of memory");
  EXPECT_EQ(ExceptionReason(std::make_exception_ptr(std::runtime_error("x: y"))), "x: y");
  EXPECT_EQ(ExceptionReason(std::make_exception_ptr(42)), "Internal error");
}

}  // namespace
}  // namespace lym

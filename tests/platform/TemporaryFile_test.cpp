#include "platform/TemporaryFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace lym::platform {
namespace {

// Writes bytes to a new temporary file for destination and closes it; the file stays uncommitted.
void WriteTemporary(TTemporaryFile& file, const std::string& destination,
                    const std::vector<uint8_t>& bytes) {
  FileHandle handle;
  ASSERT_TRUE(file.Create(destination, kDefaultPermissions, handle)) << LastFileFailure();
  int32_t written = 0;
  ASSERT_TRUE(FileWrite(handle, bytes.data(), int32_t(bytes.size()), written));
  ASSERT_TRUE(FileClose(handle));
}

size_t EntriesIn(const std::string& folder) {
  return size_t(std::distance(std::filesystem::directory_iterator(folder),
                              std::filesystem::directory_iterator()));
}

TEST(TemporaryFile, HasAShortUniqueNameBesideTheDestinationUntilCommitted) {
  test::TempFolder folder;
  // The longest name a folder entry may have: a temporary name built from it would not fit.
  const std::string destination = folder / (std::string(251, 'n') + ".lym");
  TTemporaryFile first, second;
  WriteTemporary(first, destination, {1, 2});
  WriteTemporary(second, destination, {3});
  EXPECT_NE(first.Name(), second.Name());
  EXPECT_EQ(first.Name().rfind(folder.Path(), 0), 0u);
  EXPECT_LT(std::filesystem::path(first.Name()).filename().string().size(), 20u);
  EXPECT_EQ(KindOf(destination), FileKind::Missing);

  EXPECT_EQ(first.Commit(false), TCommitResult::Committed);
  EXPECT_FALSE(first.Exists());
  EXPECT_EQ(test::ReadFileBytes(destination), (std::vector<uint8_t>{1, 2}));
  // Without replace the second run's output never lands on the first one's.
  EXPECT_EQ(second.Commit(false), TCommitResult::Exists);
  EXPECT_EQ(test::ReadFileBytes(destination), (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(second.Commit(true), TCommitResult::Committed);
  EXPECT_EQ(test::ReadFileBytes(destination), std::vector<uint8_t>{3});
  EXPECT_EQ(EntriesIn(folder.Path()), 1u);
}

TEST(TemporaryFile, AnUncommittedFileIsRemoved) {
  test::TempFolder folder;
  {
    TTemporaryFile file;
    WriteTemporary(file, folder / "out.lym", {1});
    EXPECT_EQ(EntriesIn(folder.Path()), 1u);
  }
  EXPECT_EQ(EntriesIn(folder.Path()), 0u);
  TTemporaryFile file;
  WriteTemporary(file, folder / "out.lym", {1});
  file.Discard();
  EXPECT_EQ(EntriesIn(folder.Path()), 0u);
  FileHandle handle;
  EXPECT_FALSE(file.Create(folder / "missing/out.lym", kDefaultPermissions, handle));
}

TEST(TemporaryFile, NeverReplacesWhatIsNotARegularFile) {
  test::TempFolder folder;
  std::filesystem::create_directory(folder / "sub");
  TTemporaryFile file;
  WriteTemporary(file, folder / "sub", {1});
  EXPECT_EQ(file.Commit(true), TCommitResult::NotRegular);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "sub"));
  EXPECT_TRUE(file.Exists());
}

#ifndef _WIN32
TEST(TemporaryFile, LinksAreReplacedNeverWrittenThrough) {
  test::TempFolder folder;
  const std::string victim = folder / "victim";
  test::WriteFileBytes(victim, {9, 9});
  ASSERT_EQ(::symlink(victim.c_str(), (folder / "out.lym").c_str()), 0);
  TTemporaryFile file;
  WriteTemporary(file, folder / "out.lym", {1});
  EXPECT_EQ(file.Commit(true), TCommitResult::Committed);
  EXPECT_EQ(KindOf(folder / "out.lym"), FileKind::Regular);
  EXPECT_EQ(test::ReadFileBytes(victim), (std::vector<uint8_t>{9, 9}));

  // Exclusive creation opens neither an existing file nor a dangling link's target.
  ASSERT_EQ(::symlink((folder / "target").c_str(), (folder / "dangling").c_str()), 0);
  FileHandle handle;
  EXPECT_FALSE(FileCreateExclusive(folder / "dangling", FileAccess::Write, 0600, handle));
  EXPECT_TRUE(FileExistsError());
  EXPECT_EQ(KindOf(folder / "target"), FileKind::Missing);
  EXPECT_FALSE(FileCreateExclusive(victim, FileAccess::Write, 0600, handle));
}

TEST(TemporaryFile, PipesAndDevicesAreNotReplaced) {
  test::TempFolder folder;
  ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
  TTemporaryFile file;
  WriteTemporary(file, folder / "fifo", {1});
  EXPECT_EQ(file.Commit(true), TCommitResult::NotRegular);
  EXPECT_EQ(KindOf(folder / "fifo"), FileKind::Other);
  EXPECT_FALSE(IsReplaceableOutput("/dev/null"));
}

TEST(TemporaryFile, TakesTheGivenPermissionsLessTheUmask) {
  test::TempFolder folder;
  const mode_t umask = ::umask(022);
  TTemporaryFile file;
  FileHandle handle;
  ASSERT_TRUE(file.Create(folder / "out.wav", 0664, handle));
  FileClose(handle);
  ::umask(umask);
  struct stat info;
  ASSERT_EQ(::stat(file.Name().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}
#endif

}  // namespace
}  // namespace lym::platform

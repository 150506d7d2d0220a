#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "platform/PlatformFile.h"

namespace lym::platform {
namespace {

thread_local std::string lastFailure;
thread_local bool lastFailureExists = false;

// Keeps why the call failed for LastFileFailure; always false.
bool Failed() {
  const int error = errno;
  lastFailure = std::generic_category().message(error);
  lastFailureExists = error == EEXIST;
  errno = error;
  return false;
}

// Why an opened file cannot serve as one: Windows refuses to open a folder as a file, so do we,
// rather than fail at the first read; pipes and sockets cannot be positioned, and a read from one
// could wait forever.
int Unusable(int fd) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return ESPIPE;
  return 0;
}

bool Open(const std::string& name, FileAccess access, int flags, mode_t permissions,
          FileHandle& handle) {
  switch (access) {
    case FileAccess::Read: flags |= O_RDONLY; break;
    case FileAccess::Write: flags |= O_WRONLY; break;
    case FileAccess::ReadWrite: flags |= O_RDWR; break;
  }
  // Opening a pipe waits for its other end; without waiting, the check below refuses it.
  int fd;
  do {
    fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK, permissions);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Failed();
  const int error = Unusable(fd);
  if (error != 0 || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    errno = error != 0 ? error : errno;
    return Failed();
  }
  handle = fd;
  return true;
}

int Fd(FileHandle handle) { return static_cast<int>(handle); }

}  // namespace

bool FileOpenExisting(const std::string& name, FileAccess access, int32_t /*shareMode*/,
                      FileHandle& handle) {
  return Open(name, access, 0, 0, handle);
}

bool FileCreateAlways(const std::string& name, FileAccess access, int32_t /*shareMode*/,
                      FileHandle& handle) {
  return Open(name, access, O_CREAT | O_TRUNC, kDefaultPermissions, handle);
}

bool FileCreateExclusive(const std::string& name, FileAccess access, uint32_t permissions,
                         FileHandle& handle) {
  return Open(name, access, O_CREAT | O_EXCL | O_NOFOLLOW, mode_t(permissions & 0777), handle);
}

// Loops because read and write may stop early on signals, where Windows transfers everything.
bool FileRead(FileHandle handle, void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  while (actual < count) {
    const ssize_t got = ::read(Fd(handle), static_cast<char*>(buffer) + actual, count - actual);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Failed();
    if (got == 0) break;
    actual += static_cast<int32_t>(got);
  }
  return true;
}

bool FileWrite(FileHandle handle, const void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  while (actual < count) {
    const ssize_t put =
        ::write(Fd(handle), static_cast<const char*>(buffer) + actual, count - actual);
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = EIO;
    if (put <= 0) return Failed();
    actual += static_cast<int32_t>(put);
  }
  return true;
}

bool FileSeek(FileHandle handle, int64_t position) {
  if (::lseek(Fd(handle), static_cast<off_t>(position), SEEK_SET) == position) return true;
  return Failed();
}

bool FileSize(FileHandle handle, int64_t& size) {
  struct stat info;
  if (::fstat(Fd(handle), &info) != 0) return Failed();
  size = info.st_size;
  return true;
}

bool FileSetEndHere(FileHandle handle) {
  const off_t position = ::lseek(Fd(handle), 0, SEEK_CUR);
  return (position >= 0 && ::ftruncate(Fd(handle), position) == 0) || Failed();
}

bool FileClose(FileHandle handle) { return ::close(Fd(handle)) == 0 || Failed(); }

std::string LastOsErrorText() { return std::generic_category().message(errno); }
std::string LastFileFailure() { return lastFailure; }
void ClearFileFailure() {
  lastFailure.clear();
  lastFailureExists = false;
}
bool FileExistsError() { return lastFailureExists; }

bool FileExists(const std::string& name) {
  struct stat info;
  return ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FileDelete(const std::string& name) { return ::unlink(name.c_str()) == 0 || Failed(); }

bool FileSyncToDisk(const std::string& name) {
  int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = ::open(name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  // A file whose permission bits (its source's) let its owner neither read nor write it cannot be
  // reached by name; it is as safe as the system makes files without asking.
  if (fd < 0 && errno == EACCES) return true;
  if (fd < 0) return Failed();
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;  // EINVAL: nothing to sync there
  if (!synced) Failed();
  ::close(fd);
  return synced;
}

bool FileReplace(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 || Failed();
}

bool FileRenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return Failed();
  // File systems without the atomic call: a second link fails just as well on a taken name.
  if (::link(from.c_str(), to.c_str()) != 0) return Failed();
  return ::unlink(from.c_str()) == 0 || Failed();
}

FileKind KindOf(const std::string& name) {
  struct stat info;
  if (::lstat(name.c_str(), &info) != 0) return FileKind::Missing;
  if (S_ISREG(info.st_mode)) return FileKind::Regular;
  if (S_ISLNK(info.st_mode)) return FileKind::Link;
  if (S_ISDIR(info.st_mode)) return FileKind::Folder;
  return FileKind::Other;
}

bool IdentifyFile(const std::string& name, TFileId& id) {
  struct stat info;
  if (::stat(name.c_str(), &info) != 0) return false;
  id = {uint64_t(info.st_dev), uint64_t(info.st_ino)};
  return true;
}

uint32_t CopyPermissions(const std::string& name) {
  struct stat info;
  if (::stat(name.c_str(), &info) != 0) return kDefaultPermissions;
  return uint32_t(info.st_mode & 0777);
}

bool CopyModificationTime(const std::string& from, const std::string& to) {
  struct stat info;
  if (::stat(from.c_str(), &info) != 0) return Failed();
  const timespec times[2] = {{0, UTIME_OMIT}, info.st_mtim};  // access, modification
  return ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 || Failed();
}

bool CreateFolder(const std::string& name) {
  if (::mkdir(name.c_str(), 0777) == 0) return true;
  if (errno != EEXIST) return Failed();
  struct stat info;  // a link to a folder will do
  if (::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
  errno = ENOTDIR;
  return Failed();
}

FileHandle StandardInput() { return STDIN_FILENO; }
FileHandle StandardOutput() { return STDOUT_FILENO; }
bool IsTerminal(FileHandle handle) { return ::isatty(Fd(handle)) != 0; }

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  std::string name = folder != nullptr && folder[0] != '\0' ? folder : "/tmp";
  if (name.back() != '/') name += '/';
  return name;
}

}  // namespace lym::platform

#endif

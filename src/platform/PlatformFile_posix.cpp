#ifndef _WIN32

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/PlatformFile.h"

namespace lym::platform {
namespace {

bool Open(const std::string& name, FileAccess access, int flags, FileHandle& handle) {
  switch (access) {
    case FileAccess::Read: flags |= O_RDONLY; break;
    case FileAccess::Write: flags |= O_WRONLY; break;
    case FileAccess::ReadWrite: flags |= O_RDWR; break;
  }
  int fd;
  do {
    fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  // Windows refuses to open a folder as a file; so do we, rather than fail at the first read.
  struct stat info;
  const int error = ::fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  if (error != 0) {
    ::close(fd);
    errno = error;
    return false;
  }
  handle = fd;
  return true;
}

int Fd(FileHandle handle) { return static_cast<int>(handle); }

}  // namespace

bool FileOpenExisting(const std::string& name, FileAccess access, int32_t /*shareMode*/,
                      FileHandle& handle) {
  return Open(name, access, 0, handle);
}

bool FileCreateAlways(const std::string& name, FileAccess access, int32_t /*shareMode*/,
                      FileHandle& handle) {
  return Open(name, access, O_CREAT | O_TRUNC, handle);
}

// Loops because read and write may stop early on signals, where Windows transfers everything.
bool FileRead(FileHandle handle, void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  while (actual < count) {
    const ssize_t got = ::read(Fd(handle), static_cast<char*>(buffer) + actual, count - actual);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
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
    if (put <= 0) return false;
    actual += static_cast<int32_t>(put);
  }
  return true;
}

bool FileSeek(FileHandle handle, int64_t position) {
  return ::lseek(Fd(handle), static_cast<off_t>(position), SEEK_SET) == position;
}

bool FileSize(FileHandle handle, int64_t& size) {
  struct stat info;
  if (::fstat(Fd(handle), &info) != 0) return false;
  size = info.st_size;
  return true;
}

bool FileSetEndHere(FileHandle handle) {
  const off_t position = ::lseek(Fd(handle), 0, SEEK_CUR);
  return position >= 0 && ::ftruncate(Fd(handle), position) == 0;
}

bool FileClose(FileHandle handle) { return ::close(Fd(handle)) == 0; }

std::string LastOsErrorText() { return std::generic_category().message(errno); }

bool FileExists(const std::string& name) {
  struct stat info;
  return ::stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FileDelete(const std::string& name) { return ::unlink(name.c_str()) == 0; }

bool FileReplace(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace lym::platform

#endif

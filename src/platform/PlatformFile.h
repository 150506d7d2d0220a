// The operating system's files behind a small handle-based interface, so that the stream classes
// stay portable. One implementation per system: PlatformFile_posix.cpp and PlatformFile_win32.cpp.
#pragma once

#include <cstdint>
#include <string>

namespace lym::platform {

// A file descriptor on POSIX, a HANDLE on Windows.
using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidFileHandle = -1;

enum class FileAccess { Read, Write, ReadWrite };

// Share mode bits; POSIX has no mandatory sharing and ignores them.
inline constexpr int32_t kFileShareRead = 1;
inline constexpr int32_t kFileShareWrite = 2;
inline constexpr int32_t kFileShareDelete = 4;

// Each call returns false on failure; LastOsErrorText then describes the failure, and
// LastFileFailure keeps that description until the next failing call of this thread, so that a job
// can still tell why after cleaning up. Names are UTF-8.
bool FileOpenExisting(const std::string& name, FileAccess access, int32_t shareMode,
                      FileHandle& handle);
// Creates the file or empties an existing one.
bool FileCreateAlways(const std::string& name, FileAccess access, int32_t shareMode,
                      FileHandle& handle);
// Creates a new file and never opens an existing one, nor follows a link that has the name, so
// that nothing planted under the name is written through. POSIX gives it the permission bits
// (less the umask); on Windows the file may be deleted while it is open, so that an interrupted
// job can remove it.
bool FileCreateExclusive(const std::string& name, FileAccess access, uint32_t permissions,
                         FileHandle& handle);
// Fewer bytes than asked only at the end of the file.
bool FileRead(FileHandle handle, void* buffer, int32_t count, int32_t& actual);
bool FileWrite(FileHandle handle, const void* buffer, int32_t count, int32_t& actual);
bool FileSeek(FileHandle handle, int64_t position);
bool FileSize(FileHandle handle, int64_t& size);
// Truncates or extends the file to the current position.
bool FileSetEndHere(FileHandle handle);
bool FileClose(FileHandle handle);
std::string LastOsErrorText();
std::string LastFileFailure();
void ClearFileFailure();

// Whole files by name.
bool FileExists(const std::string& name);  // a file, not a folder
bool FileDelete(const std::string& name);
// Writes what the system still holds of a closed file to its disk, so that a rename that follows
// never leaves an empty or partial file in place of the old one after a power cut.
bool FileSyncToDisk(const std::string& name);
// Renames from over to, replacing a file that is there.
bool FileReplace(const std::string& from, const std::string& to);
// Renames from to to, unless something has the name to; then false with FileExistsError() true.
bool FileRenameNoReplace(const std::string& from, const std::string& to);
// Whether the last failing call of this thread failed because the name was taken.
bool FileExistsError();

// What a name stands for, the name itself looked at (a link is not followed).
enum class FileKind { Missing, Regular, Link, Folder, Other };
FileKind KindOf(const std::string& name);
// What tells one file from every other, whatever path leads to it (links followed).
struct TFileId {
  uint64_t Volume = 0;
  uint64_t Index = 0;
  auto operator<=>(const TFileId&) const = default;
};
bool IdentifyFile(const std::string& name, TFileId& id);
// The permission bits a copy of this file should get; a default for a missing file and on Windows.
uint32_t CopyPermissions(const std::string& name);
inline constexpr uint32_t kDefaultPermissions = 0666;
// Gives to the modification time of from (a link followed); a link named to is changed itself.
bool CopyModificationTime(const std::string& from, const std::string& to);
// Creates one folder; true when it is there afterwards.
bool CreateFolder(const std::string& name);
// The process's standard input and output as file handles, for pipes; they belong to the process
// and are never closed. FileRead reads a pipe to its end (a writer that closed it ends it), and a
// write into a pipe whose reader has gone fails.
FileHandle StandardInput();
FileHandle StandardOutput();
// Whether the handle is a terminal (a console on Windows), where binary data does not belong.
bool IsTerminal(FileHandle handle);
// The folder for scratch files, with its trailing separator: TMPDIR or "/tmp/" on POSIX, the
// user's temporary folder on Windows.
std::string TemporaryFolder();
// The character that separates folders in paths built for this system.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif
// Whether c ends a folder's part of a path: '/' everywhere, a backslash and a drive's ':' too on
// Windows.
constexpr bool IsPathSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/' || c == ':';
#else
  return c == '/';
#endif
}

}  // namespace lym::platform

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

// Each call returns false on failure; LastOsErrorText then describes the failure. Names are UTF-8.
bool FileOpenExisting(const std::string& name, FileAccess access, int32_t shareMode,
                      FileHandle& handle);
// Creates the file or empties an existing one.
bool FileCreateAlways(const std::string& name, FileAccess access, int32_t shareMode,
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

// Whole files by name.
bool FileExists(const std::string& name);  // a file, not a folder
bool FileDelete(const std::string& name);
// Renames from over to, replacing a file that is there.
bool FileReplace(const std::string& from, const std::string& to);
// The character that separates folders in paths built for this system.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace lym::platform

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <vector>

#include "platform/PlatformFile.h"

namespace lym::platform {
namespace {

HANDLE Handle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// UTF-8 to the wide characters of the file functions; false for invalid UTF-8.
bool WideName(const std::string& name, std::vector<wchar_t>& wideName) {
  const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.c_str(), -1,
                                             nullptr, 0);
  if (wideLength <= 0) return false;
  wideName.resize(static_cast<size_t>(wideLength));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.c_str(), -1, wideName.data(),
                      wideLength);
  return true;
}

bool Open(const std::string& name, FileAccess access, int32_t shareMode, DWORD disposition,
          FileHandle& handle) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return false;
  DWORD desired = GENERIC_READ;
  if (access == FileAccess::Write) desired = GENERIC_WRITE;
  if (access == FileAccess::ReadWrite) desired = GENERIC_READ | GENERIC_WRITE;
  DWORD share = 0;
  if (shareMode & kFileShareRead) share |= FILE_SHARE_READ;
  if (shareMode & kFileShareWrite) share |= FILE_SHARE_WRITE;
  const HANDLE file = CreateFileW(wideName.data(), desired, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  handle = reinterpret_cast<FileHandle>(file);
  return true;
}

}  // namespace

bool FileOpenExisting(const std::string& name, FileAccess access, int32_t shareMode,
                      FileHandle& handle) {
  return Open(name, access, shareMode, OPEN_EXISTING, handle);
}

bool FileCreateAlways(const std::string& name, FileAccess access, int32_t shareMode,
                      FileHandle& handle) {
  return Open(name, access, shareMode, CREATE_ALWAYS, handle);
}

bool FileRead(FileHandle handle, void* buffer, int32_t count, int32_t& actual) {
  DWORD done = 0;
  const BOOL ok = ReadFile(Handle(handle), buffer, static_cast<DWORD>(count), &done, nullptr);
  actual = static_cast<int32_t>(done);
  return ok != 0;
}

bool FileWrite(FileHandle handle, const void* buffer, int32_t count, int32_t& actual) {
  DWORD done = 0;
  const BOOL ok = WriteFile(Handle(handle), buffer, static_cast<DWORD>(count), &done, nullptr);
  actual = static_cast<int32_t>(done);
  return ok != 0;
}

bool FileSeek(FileHandle handle, int64_t position) {
  LARGE_INTEGER target;
  target.QuadPart = position;
  return SetFilePointerEx(Handle(handle), target, nullptr, FILE_BEGIN) != 0;
}

bool FileSize(FileHandle handle, int64_t& size) {
  LARGE_INTEGER result;
  if (!GetFileSizeEx(Handle(handle), &result)) return false;
  size = result.QuadPart;
  return true;
}

bool FileSetEndHere(FileHandle handle) { return SetEndOfFile(Handle(handle)) != 0; }

bool FileClose(FileHandle handle) { return CloseHandle(Handle(handle)) != 0; }

std::string LastOsErrorText() {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, GetLastError(), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result(text != nullptr ? text : "", length);
  LocalFree(text);
  // System messages end in a line break.
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
  return result;
}

bool FileExists(const std::string& name) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return false;
  const DWORD attributes = GetFileAttributesW(wideName.data());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FileDelete(const std::string& name) {
  std::vector<wchar_t> wideName;
  return WideName(name, wideName) && DeleteFileW(wideName.data()) != 0;
}

bool FileReplace(const std::string& from, const std::string& to) {
  std::vector<wchar_t> wideFrom, wideTo;
  return WideName(from, wideFrom) && WideName(to, wideTo) &&
         MoveFileExW(wideFrom.data(), wideTo.data(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace lym::platform

#endif

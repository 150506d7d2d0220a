#ifdef _WIN32

#include "platform/Win32.h"

#include <vector>

#include "platform/PlatformFile.h"
#include "platform/WideName_win32.h"

namespace lym::platform {
namespace {

thread_local std::string lastFailure;
thread_local bool lastFailureExists = false;

// Keeps why the call failed for LastFileFailure; always false.
bool Failed() {
  const DWORD error = GetLastError();
  lastFailure = LastOsErrorText();
  lastFailureExists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
  SetLastError(error);
  return false;
}

HANDLE Handle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

bool Open(const std::string& name, FileAccess access, DWORD share, DWORD disposition,
          FileHandle& handle) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return false;
  DWORD desired = GENERIC_READ;
  if (access == FileAccess::Write) desired = GENERIC_WRITE;
  if (access == FileAccess::ReadWrite) desired = GENERIC_READ | GENERIC_WRITE;
  const HANDLE file = CreateFileW(wideName.data(), desired, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed();
  handle = reinterpret_cast<FileHandle>(file);
  return true;
}

DWORD ShareFlags(int32_t shareMode) {
  DWORD share = 0;
  if (shareMode & kFileShareRead) share |= FILE_SHARE_READ;
  if (shareMode & kFileShareWrite) share |= FILE_SHARE_WRITE;
  if (shareMode & kFileShareDelete) share |= FILE_SHARE_DELETE;
  return share;
}

}  // namespace

bool WideName(const std::string& name, std::vector<wchar_t>& wideName) {
  const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.c_str(), -1,
                                             nullptr, 0);
  if (wideLength <= 0) return Failed();
  wideName.resize(static_cast<size_t>(wideLength));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.c_str(), -1, wideName.data(),
                      wideLength);
  return true;
}

bool FileOpenExisting(const std::string& name, FileAccess access, int32_t shareMode,
                      FileHandle& handle) {
  return Open(name, access, ShareFlags(shareMode), OPEN_EXISTING, handle);
}

bool FileCreateAlways(const std::string& name, FileAccess access, int32_t shareMode,
                      FileHandle& handle) {
  return Open(name, access, ShareFlags(shareMode), CREATE_ALWAYS, handle);
}

// CREATE_NEW fails on any existing name, a link included, and never follows one.
bool FileCreateExclusive(const std::string& name, FileAccess access, uint32_t /*permissions*/,
                         FileHandle& handle) {
  return Open(name, access, FILE_SHARE_DELETE, CREATE_NEW, handle);
}

// A pipe delivers what its writer has written so far, so reads go on until count or the end; a
// pipe whose writer closed it reports a broken pipe, which is its end.
bool FileRead(FileHandle handle, void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  while (actual < count) {
    DWORD done = 0;
    if (!ReadFile(Handle(handle), static_cast<char*>(buffer) + actual,
                  static_cast<DWORD>(count - actual), &done, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) break;
      return Failed();
    }
    if (done == 0) break;
    actual += static_cast<int32_t>(done);
  }
  return true;
}

bool FileWrite(FileHandle handle, const void* buffer, int32_t count, int32_t& actual) {
  actual = 0;
  while (actual < count) {
    DWORD done = 0;
    if (!WriteFile(Handle(handle), static_cast<const char*>(buffer) + actual,
                   static_cast<DWORD>(count - actual), &done, nullptr)) {
      return Failed();
    }
    if (done == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return Failed();
    }
    actual += static_cast<int32_t>(done);
  }
  return true;
}

bool FileSeek(FileHandle handle, int64_t position) {
  LARGE_INTEGER target;
  target.QuadPart = position;
  return SetFilePointerEx(Handle(handle), target, nullptr, FILE_BEGIN) != 0 || Failed();
}

bool FileSize(FileHandle handle, int64_t& size) {
  LARGE_INTEGER result;
  if (!GetFileSizeEx(Handle(handle), &result)) return Failed();
  size = result.QuadPart;
  return true;
}

bool FileSetEndHere(FileHandle handle) { return SetEndOfFile(Handle(handle)) != 0 || Failed(); }

bool FileClose(FileHandle handle) { return CloseHandle(Handle(handle)) != 0 || Failed(); }

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

std::string LastFileFailure() { return lastFailure; }
void ClearFileFailure() {
  lastFailure.clear();
  lastFailureExists = false;
}
bool FileExistsError() { return lastFailureExists; }

bool FileExists(const std::string& name) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return false;
  const DWORD attributes = GetFileAttributesW(wideName.data());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FileDelete(const std::string& name) {
  std::vector<wchar_t> wideName;
  return WideName(name, wideName) && (DeleteFileW(wideName.data()) != 0 || Failed());
}

namespace {

bool Move(const std::string& from, const std::string& to, DWORD flags) {
  std::vector<wchar_t> wideFrom, wideTo;
  return WideName(from, wideFrom) && WideName(to, wideTo) &&
         (MoveFileExW(wideFrom.data(), wideTo.data(), flags) != 0 || Failed());
}

}  // namespace

bool FileSyncToDisk(const std::string& name) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return false;
  const HANDLE file = CreateFileW(wideName.data(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed();
  const bool synced = FlushFileBuffers(file) != 0 || Failed();
  CloseHandle(file);
  return synced;
}

bool FileReplace(const std::string& from, const std::string& to) {
  return Move(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool FileRenameNoReplace(const std::string& from, const std::string& to) {
  return Move(from, to, MOVEFILE_WRITE_THROUGH);
}

namespace {

// Device names (NUL, CON, COM1, also with an extension) have no attributes worth trusting; what
// the name opens does tell. Unknown when nothing can be opened under the name.
bool IsDevice(const std::vector<wchar_t>& wideName) {
  const HANDLE file = CreateFileW(wideName.data(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool device = GetFileType(file) != FILE_TYPE_DISK;
  CloseHandle(file);
  return device;
}

}  // namespace

FileKind KindOf(const std::string& name) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return FileKind::Missing;
  if (IsDevice(wideName)) return FileKind::Other;
  const DWORD attributes = GetFileAttributesW(wideName.data());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::Missing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FileKind::Link;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::Folder;
  return FileKind::Regular;
}

// Volume and file index name a file whatever the path that leads to it.
bool IdentifyFile(const std::string& name, TFileId& id) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return false;
  const HANDLE file =
      CreateFileW(wideName.data(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (ok) {
    id = {info.dwVolumeSerialNumber,
          (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  }
  return ok;
}

uint32_t CopyPermissions(const std::string& /*name*/) { return kDefaultPermissions; }

namespace {

// Opens a file only to read or change its attributes and times; a link itself, unless followed.
HANDLE OpenAttributes(const std::string& name, DWORD access, bool followLink) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return INVALID_HANDLE_VALUE;
  const HANDLE file = CreateFileW(wideName.data(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS |
                                      (followLink ? DWORD{0} : DWORD{FILE_FLAG_OPEN_REPARSE_POINT}),
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) Failed();
  return file;
}

}  // namespace

bool CopyModificationTime(const std::string& from, const std::string& to) {
  const HANDLE source = OpenAttributes(from, FILE_READ_ATTRIBUTES, true);
  if (source == INVALID_HANDLE_VALUE) return false;
  FILETIME written;
  const bool read = GetFileTime(source, nullptr, nullptr, &written) != 0 || Failed();
  CloseHandle(source);
  if (!read) return false;
  const HANDLE destination = OpenAttributes(to, FILE_WRITE_ATTRIBUTES, false);
  if (destination == INVALID_HANDLE_VALUE) return false;
  const bool set = SetFileTime(destination, nullptr, nullptr, &written) != 0 || Failed();
  CloseHandle(destination);
  return set;
}

bool CreateFolder(const std::string& name) {
  std::vector<wchar_t> wideName;
  if (!WideName(name, wideName)) return false;
  if (CreateDirectoryW(wideName.data(), nullptr) != 0) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return Failed();
  const DWORD attributes = GetFileAttributesW(wideName.data());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  SetLastError(ERROR_DIRECTORY);
  return Failed();
}

FileHandle StandardInput() { return reinterpret_cast<FileHandle>(GetStdHandle(STD_INPUT_HANDLE)); }

FileHandle StandardOutput() {
  return reinterpret_cast<FileHandle>(GetStdHandle(STD_OUTPUT_HANDLE));
}

// The NUL device is a character device too, but only a console has a console mode.
bool IsTerminal(FileHandle handle) {
  DWORD mode = 0;
  return GetConsoleMode(Handle(handle), &mode) != 0;
}

std::string TemporaryFolder() {
  wchar_t wide[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, wide);
  if (length == 0 || length > MAX_PATH) return ".\\";
  return Utf8FromWide(std::wstring_view(wide, length));
}

}  // namespace lym::platform

#endif

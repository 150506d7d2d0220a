#include "DriverSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace lym::gui_test {
namespace fs = std::filesystem;

void Check(bool condition, const std::string& message) {
  if (!condition) throw TCheckFailure(message);
}

std::wstring Wide(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(),
                                         int(wide.size()))));
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  std::string utf8(wide.size() * 3, '\0');
  utf8.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(),
                                         int(utf8.size()), nullptr, nullptr)));
  return utf8;
}

fs::path Utf8Path(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Name(const fs::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

std::string WindowsPath(const std::string& path) {
  std::string result = path.starts_with('/') ? "Z:" + path : path;
  std::replace(result.begin(), result.end(), '/', '\\');
  return result;
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  Check(bool(file), "cannot read " + Utf8Name(path));
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

std::string ReadText(const fs::path& path) {
  const std::vector<uint8_t> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  Check(bool(file), "cannot write " + Utf8Name(path));
}

void WriteText(const fs::path& path, const std::string& text) {
  WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<std::string> FileNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) names.push_back(Utf8Name(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> FilesWithExtension(const fs::path& folder, const std::string& extension) {
  std::vector<std::string> names = FileNames(folder);
  std::erase_if(names, [&](const std::string& name) {
    return Utf8Path(name).extension() != Utf8Path(extension);
  });
  return names;
}

void MakeEmptyFolder(const fs::path& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
}

}  // namespace lym::gui_test

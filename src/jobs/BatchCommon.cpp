#include "jobs/BatchCommon.h"

#include "platform/PlatformFile.h"

namespace lym {
namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/' || c == ':';
#else
  return c == '/';
#endif
}

constexpr const char* kTemporarySuffix = ".lym-partial";

}  // namespace

std::string ShortDisplayName(const std::string& name, int32_t width) {
  constexpr size_t kHead = 10;
  constexpr size_t kEllipsis = 3;
  if (CharCount(name) <= size_t(width) || size_t(width) < kHead + kEllipsis) {
    return PadRight(name, width) + " ";
  }
  const size_t tail = size_t(width) - kHead - kEllipsis;
  return FirstChars(name, kHead) + "..." + LastChars(name, tail) + " ";
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (IsSeparator(folder.back())) return folder + name;
  return folder + platform::kPathSeparator + name;
}

std::string FileNamePart(const std::string& path) {
  size_t start = path.size();
  while (start > 0 && !IsSeparator(path[start - 1])) --start;
  return path.substr(start);
}

std::string WithoutExtension(const std::string& name) {
  const size_t nameStart = name.size() - FileNamePart(name).size();
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return name;
  return name.substr(0, dot);
}

bool FileExists(const std::string& name) { return platform::FileExists(name); }
bool RemoveFile(const std::string& name) { return platform::FileDelete(name); }

bool SaveLogFile(const std::string& fileName, bool append, const TTextData& lines) {
  TTextData combined;
  if (append && platform::FileExists(fileName) && combined.LoadFromFile(fileName)) {
    combined.Add("");
    combined.Add("");
    for (const std::string& line : lines.Lines()) combined.Add(line);
    return combined.SaveToFile(fileName);
  }
  return lines.SaveToFile(fileName);
}

std::string TemporaryOutputName(const std::string& destination) {
  return destination + kTemporarySuffix;
}

bool CommitOutput(const std::string& temporary, const std::string& destination) {
  return platform::FileReplace(temporary, destination);
}

}  // namespace lym

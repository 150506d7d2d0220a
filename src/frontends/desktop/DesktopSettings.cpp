#include "DesktopSettings.h"

#include <algorithm>
#include <string_view>

#include "lym/Kernels.h"

namespace lym {
namespace {

size_t NameStart(const std::string& path) {
  size_t start = path.size();
  while (start > 0 && !IsFolderSeparator(path[start - 1])) --start;
  return start;
}

std::string_view WithoutSpacesAround(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

TProcessorFeatures DetectProcessorFeatures() {
  // The kernels settle on the best level the processor supports; anything above portable means
  // that the vector instructions both switches stand for are there.
  const bool vector = std::string_view(ActiveKernelLevelName()) != "portable";
  return {vector, vector};
}

uint32_t ProcessorOptions(const TProcessorFeatures& features, const TCompressOptions& options) {
  uint32_t flags = 0;
  if (features.Mmx && options.UseMmx) flags += kCpuFlagVector;
  if (features.Sse && options.UseSse) flags += kCpuFlagSse;
  return flags;
}

TDecompressorOptions MakeDecompressorOptions(const TDlgDecoderOpt& settings,
                                             uint32_t processorOptions, bool writeOutput) {
  TDecompressorOptions options;
  options.Overwrite = settings.Overwrite;
  options.WriteErrorProtocol = settings.SaveErrorLog;
  options.WriteProtocol = settings.ProtocolLevel != kProtocolOff;
  options.AppendProtocol = settings.AppendProtocol;
  options.File.ProcessorOptions = processorOptions;
  options.File.WriteOutput = writeOutput;
  options.File.KeepDamaged = settings.DamagedFiles == kDamagedFilesRecover;
  options.File.MuteDamaged = settings.DamagedFrames == kDamagedFramesMute;
  options.File.RestoreWaveMeta = settings.RestoreWaveMeta;
  return options;
}

std::string DestinationFolder(uint8_t choice, const std::string& userFolder,
                              const std::string& sourceFolder) {
  // An empty user folder would make the batch write beside the program's current directory.
  if (choice == kDestinationUser && !userFolder.empty()) return userFolder;
  return sourceFolder;
}

std::string ChosenFolder(const std::string& folder) {
  const bool driveRoot = folder.size() == 3 && folder[1] == ':' && folder[2] == '\\';
  return driveRoot ? folder.substr(0, 2) : folder;
}

std::string FolderOf(const std::string& path) {
  const size_t start = NameStart(path);
  // "/x.wav" keeps its root: an empty folder would mean the current directory.
  if (start <= 1) return path.substr(0, start);
  return path.substr(0, start - 1);
}

std::string NameOf(const std::string& path) { return path.substr(NameStart(path)); }

std::vector<std::string> ChosenFilePaths(const std::vector<std::string>& dialogStrings) {
  if (dialogStrings.size() <= 1) return dialogStrings;
  std::string folder = dialogStrings.front();
  // A drive root arrives as "C:\" and must not get a second separator.
  if (!folder.empty() && !IsFolderSeparator(folder.back())) folder += kFolderSeparator;
  std::vector<std::string> paths;
  for (size_t index = 1; index < dialogStrings.size(); ++index) {
    paths.push_back(folder + dialogStrings[index]);
  }
  return paths;
}

std::string FileDialogFilter(const std::string& filter) {
  std::string result;
  bool pattern = false;  // descriptions and patterns take turns
  for (size_t start = 0; start <= filter.size(); pattern = !pattern) {
    const size_t end = std::min(filter.find('|', start), filter.size());
    const std::string_view entry(filter.data() + start, end - start);
    result += pattern ? WithoutSpacesAround(entry) : entry;
    result += '\0';
    start = end + 1;
  }
  return result;
}

std::vector<std::string> NonEmptyLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace lym

#include "jobs/BatchCommon.h"

#include <new>

#include "lym/Outputs.h"
#include "platform/Interrupt.h"
#include "platform/PlatformFile.h"

namespace lym {
namespace {

constexpr const char* kSameFileText = "Destination is the source file";
constexpr const char* kNotRegularText = "Destination is not a regular file";
constexpr const char* kWrittenByRunText = "Written from another input of this run";
constexpr const char* kOutOfMemoryText = "Out of memory";
constexpr const char* kUnknownExceptionText = "Internal error";
constexpr const char* kTimeNotKeptText = "Modification time not kept: ";
constexpr const char* kSourceNotDeletedText = "Error deleting source file ";

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
  if (platform::IsPathSeparator(folder.back())) return folder + name;
  return folder + platform::kPathSeparator + name;
}

std::string FileNamePart(const std::string& path) {
  size_t start = path.size();
  while (start > 0 && !platform::IsPathSeparator(path[start - 1])) --start;
  return path.substr(start);
}

std::string WithoutExtension(const std::string& name) {
  const size_t nameStart = name.size() - FileNamePart(name).size();
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return name;
  return name.substr(0, dot);
}

bool FileExists(const std::string& name) { return platform::FileExists(name); }

uint8_t CheckOutput(const std::string& source, const std::string& destination, bool overwrite,
                    const TRunOutputs& runOutputs, const TOutputCodes& codes, std::string& reason) {
  platform::TFileId sourceId, destinationId;
  if (platform::IdentifyFile(source, sourceId) &&
      platform::IdentifyFile(destination, destinationId) && sourceId == destinationId) {
    reason = kSameFileText;
    return codes.WriteError;
  }
  const platform::FileKind kind = platform::KindOf(destination);
  if (kind == platform::FileKind::Folder || kind == platform::FileKind::Other) {
    reason = kNotRegularText;
    return codes.WriteError;
  }
  // A link counts as there even when it leads nowhere: without overwriting it stays.
  if (kind == platform::FileKind::Missing) return 0;
  if (!overwrite) return codes.Exists;
  if (!runOutputs.Wrote(destination)) return 0;
  reason = kWrittenByRunText;
  return codes.Exists;
}

std::string ExceptionReason(const std::exception_ptr& exception) {
  try {
    std::rethrow_exception(exception);
  } catch (const std::bad_alloc&) {
    return kOutOfMemoryText;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return kUnknownExceptionText;
}

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

bool TRunOutputs::Wrote(const std::string& name) const {
  platform::TFileId id;
  return platform::IdentifyFile(name, id) && files_.contains({id.Volume, id.Index});
}

void TRunOutputs::Add(const std::string& name) {
  platform::TFileId id;
  if (platform::IdentifyFile(name, id)) files_.insert({id.Volume, id.Index});
}

uint8_t CommitOutput(platform::TTemporaryFile& output, bool replace, const TOutputCodes& codes,
                     std::string& reason) {
  switch (output.Commit(replace)) {
    case platform::TCommitResult::Committed: return 0;
    case platform::TCommitResult::Exists: return codes.Exists;
    case platform::TCommitResult::NotRegular: reason = kNotRegularText; break;
    case platform::TCommitResult::Failed: reason = platform::LastFileFailure(); break;
  }
  return codes.WriteError;
}

bool KeepSourceTime(const std::string& source, const std::string& destination,
                    std::string& reason) {
  if (platform::CopyModificationTime(source, destination)) return true;
  reason = kTimeNotKeptText + platform::LastFileFailure();
  return false;
}

bool DeleteSource(const std::string& source, std::string& failure) {
  if (platform::FileDelete(source)) return true;
  failure = kSourceNotDeletedText + source + ": " + platform::LastFileFailure();
  return false;
}

void InstallInterruptCleanup() { platform::InstallInterruptCleanup(); }

bool StandardInputIsTerminal() { return platform::IsTerminal(platform::StandardInput()); }
bool StandardOutputIsTerminal() { return platform::IsTerminal(platform::StandardOutput()); }

bool CreateOutputFolder(const std::string& folder, std::string& reason) {
  if (platform::CreateFolder(folder)) return true;
  reason = platform::LastFileFailure();
  return false;
}

}  // namespace lym

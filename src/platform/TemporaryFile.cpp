#include "platform/TemporaryFile.h"

#include <chrono>
#include <mutex>
#include <random>

#include "platform/Interrupt.h"

namespace lym::platform {
namespace {

constexpr int kNameAttempts = 64;
constexpr const char* kNamePrefix = ".lym-";
constexpr const char* kNameSuffix = ".tmp";
constexpr int kRandomChars = 10;

std::string FolderOf(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && !IsPathSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

// Unpredictable enough that no one plants a file under the next name in advance; exclusive
// creation makes a collision harmless anyway.
std::string RandomChars() {
  static std::mutex mutex;
  static std::mt19937_64 generator(
      std::random_device{}() ^
      uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::lock_guard lock(mutex);
  std::string chars(kRandomChars, ' ');
  for (char& c : chars) c = kAlphabet[generator() % (sizeof kAlphabet - 1)];
  return chars;
}

}  // namespace

bool IsReplaceableOutput(const std::string& name) {
  const FileKind kind = KindOf(name);
  return kind == FileKind::Missing || kind == FileKind::Regular || kind == FileKind::Link;
}

bool TTemporaryFile::Create(const std::string& destination, uint32_t permissions,
                            FileHandle& handle) {
  Discard();
  const std::string folder = FolderOf(destination);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string name = folder + kNamePrefix + RandomChars() + kNameSuffix;
    TInterruptHold hold;
    if (FileCreateExclusive(name, FileAccess::Write, permissions, handle)) {
      name_ = name;
      destination_ = destination;
      cleanupEntry_ = ListForCleanup(name_);
      return true;
    }
    if (!FileExistsError()) return false;
  }
  return false;
}

TCommitResult TTemporaryFile::Commit(bool replace) {
  if (!Exists()) return TCommitResult::Failed;
  if (!IsReplaceableOutput(destination_)) return TCommitResult::NotRegular;
  if (!FileSyncToDisk(name_)) return TCommitResult::Failed;
  const bool moved = replace ? FileReplace(name_, destination_)
                             : FileRenameNoReplace(name_, destination_);
  if (!moved) return !replace && FileExistsError() ? TCommitResult::Exists : TCommitResult::Failed;
  // Forgotten only now: an interruption before the rename still removes the file.
  Forget();
  return TCommitResult::Committed;
}

void TTemporaryFile::Discard() {
  if (!Exists()) return;
  FileDelete(name_);
  Forget();
}

void TTemporaryFile::Forget() {
  UnlistForCleanup(cleanupEntry_);
  cleanupEntry_ = -1;
  name_.clear();
  destination_.clear();
}

}  // namespace lym::platform

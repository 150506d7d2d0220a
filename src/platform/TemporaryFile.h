// An output under construction. It is written under a new, unique, short name in the folder of its
// destination, created exclusively, so that no file or link planted there is ever opened, and
// renamed over the destination only once it is complete. Until then it is listed for removal on
// an interruption; destroying it without a commit removes it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/PlatformFile.h"

namespace lym::platform {

enum class TCommitResult {
  Committed,
  Exists,      // the destination appeared meanwhile and may not be replaced
  NotRegular,  // the destination is a folder, a device, a pipe or a socket
  Failed,      // LastFileFailure() tells why
};

class TTemporaryFile {
 public:
  TTemporaryFile() = default;
  ~TTemporaryFile() { Discard(); }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  // Creates the file for writing; the caller owns the handle and closes it before Commit.
  // Discards an earlier file of this object first.
  bool Create(const std::string& destination, uint32_t permissions, FileHandle& handle);
  // Renames the file to the destination, over an existing regular file (or link) only with
  // replace; anything else that has the name is left as it is.
  TCommitResult Commit(bool replace);
  // Removes the file, if it is still there.
  void Discard();

  bool Exists() const { return !name_.empty(); }
  const std::string& Name() const { return name_; }

 private:
  void Forget();

  std::string name_;
  std::string destination_;
  int32_t cleanupEntry_ = -1;
};

// Whether an output may be written to this name: nothing is there, or a regular file or a link.
bool IsReplaceableOutput(const std::string& name);

}  // namespace lym::platform

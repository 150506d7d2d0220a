#include "library/FileOutput.h"

#include "platform/PlatformFile.h"

namespace lym::library {

lym_status PutInPlace(platform::TTemporaryFile& file, bool replace, TLastError& error) {
  switch (file.Commit(replace)) {
    case platform::TCommitResult::Committed: return LYM_OK;
    case platform::TCommitResult::Exists: return error.Set(LYM_ERROR_EXISTS);
    case platform::TCommitResult::NotRegular:
      return error.Set(LYM_ERROR_INVALID_ARGUMENT, "not a regular file");
    case platform::TCommitResult::Failed:
      return error.Set(LYM_ERROR_IO, platform::LastFileFailure());
  }
  return error.Set(LYM_ERROR_INTERNAL);
}

}  // namespace lym::library

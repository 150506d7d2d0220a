#include "jobs/StandardStreams.h"

#include <vector>

#include "io/PipeWriteStream.h"
#include "io/lymFileIo.h"
#include "jobs/BatchCommon.h"

namespace lym {
namespace {

constexpr int32_t kPieceBytes = 65536;

}  // namespace

bool TStandardInputSpool::Fill(std::string& reason) {
  platform::FileHandle handle;
  if (!file_.Create(ScratchDestination(), kScratchPermissions, handle)) {
    reason = platform::LastFileFailure();
    return false;
  }
  std::vector<uint8_t> piece(kPieceBytes);
  bool copied = true;
  for (int32_t got = kPieceBytes; copied && got == kPieceBytes;) {
    int32_t put = 0;
    copied = platform::FileRead(platform::StandardInput(), piece.data(), kPieceBytes, got) &&
             platform::FileWrite(handle, piece.data(), got, put);
  }
  reason = copied ? std::string() : platform::LastFileFailure();
  copied = platform::FileClose(handle) && copied;
  if (reason.empty() && !copied) reason = platform::LastFileFailure();
  if (!copied) file_.Discard();
  return copied;
}

std::string NamedSource(const std::string& folder, const std::string& entry, bool standardInput) {
  return standardInput ? std::string() : JoinPath(folder, entry);
}

std::string JobSource(const std::string& folder, const std::string& entry, bool standardInput,
                      std::unique_ptr<TStandardInputSpool>& spool, std::string& reason) {
  if (!standardInput) return NamedSource(folder, entry, false);
  spool = std::make_unique<TStandardInputSpool>();
  return spool->Fill(reason) ? spool->Path() : std::string();
}

std::string ScratchDestination() { return platform::TemporaryFolder() + "lym-scratch"; }

bool SendToStandardOutput(const std::string& path, std::string& reason) {
  TadcFileStream file;
  TadcPipeWriteStream output(platform::StandardOutput());
  std::vector<uint8_t> piece(kPieceBytes);
  bool sent = file.OpenFile(path, kAccessRead, 0, kShareSource) == kIoNoError;
  while (sent) {
    int32_t got = 0;
    sent = file.ReadSome(piece.data(), kPieceBytes, got) && output.WriteExact(piece.data(), got);
    if (got < kPieceBytes) break;
  }
  sent = output.Close(true) == kIoNoError && sent;
  if (!sent) reason = platform::LastFileFailure();
  return sent;
}

}  // namespace lym

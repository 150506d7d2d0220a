// Reading a .lym file's tag for editing, and writing it back: the file is copied up to its tag
// into a temporary file beside it, the new tag appended, and the copy renamed over the file.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "container/lymStreamReader.h"
#include "io/TemporaryStream.h"
#include "library/FileOutput.h"
#include "library/Tag.h"
#include "platform/PlatformFile.h"

namespace {

constexpr int32_t kReadBufferBytes = 65536;
constexpr int32_t kWriteBufferBytes = 65536;
constexpr int32_t kCopyChunkBytes = 65536;

// A .lym file open for reading, with its stream recognised and its tag read.
struct TTaggedFile {
  lym::TadcFileStream stream;
  lym::TAdcReader reader;
  std::unique_ptr<lym::TlymAPEv2Tag> tag = std::make_unique<lym::TlymAPEv2Tag>();
  int32_t tagResult = lym::kAPEv2NoTag;

  ~TTaggedFile() { Close(); }
  // Windows renames nothing over a file that is open.
  void Close() {
    reader.Close();
    stream.Close(false);
  }
};

lym_status OpenTaggedFile(const std::string& path, TTaggedFile& file) {
  if (file.stream.OpenFile(path, lym::kAccessRead, kReadBufferBytes, lym::kShareRead) != 0)
    return LYM_ERROR_IO;
  if (!file.reader.Open(file.stream)) {
    return file.reader.Status() == lym::kStreamIoError ? LYM_ERROR_IO : LYM_ERROR_NOT_A_STREAM;
  }
  lym::TlymAPEv2TagReader tagReader;
  file.tagResult = tagReader.ReadTag(file.stream, *file.tag);
  return file.tagResult == lym::kAPEv2ReadError ? LYM_ERROR_IO : LYM_OK;
}

// Where the stream ends and the old tag begins; -1 when the old tag's extent is unknown.
int64_t StreamEnd(const TTaggedFile& file) {
  if (file.tagResult == lym::kAPEv2NoTag) return file.stream.GetLength();
  const lym::TlymAPEv2TagInfo& placement = file.tag->Placement();
  return placement.Size > 0 ? placement.Start : -1;
}

bool CopyBytes(lym::TadcIoStream& from, lym::TadcIoStream& to, int64_t count) {
  std::vector<uint8_t> chunk(kCopyChunkBytes);
  if (!from.Seek(lym::kSeekFromStart, 0)) return false;
  for (int64_t done = 0; done < count;) {
    const auto n = int32_t(std::min<int64_t>(count - done, kCopyChunkBytes));
    if (!from.ReadExact(chunk.data(), n) || !to.WriteExact(chunk.data(), n)) return false;
    done += n;
  }
  return true;
}

lym_status Fail(const lym_tag& tag, lym_status status, const std::string& detail) {
  return tag.error.Set(status, detail);
}

lym_status WriteTagFile(const lym_tag& tag, const std::string& path) {
  namespace platform = lym::platform;
  if (platform::KindOf(path) == platform::FileKind::Link)
    return Fail(tag, LYM_ERROR_INVALID_ARGUMENT, "a link: edit the file it points to");
  TTaggedFile source;
  lym_status status = OpenTaggedFile(path, source);
  if (status != LYM_OK) return Fail(tag, status, path);
  const int64_t streamEnd = StreamEnd(source);
  if (streamEnd < 0)
    return Fail(tag, LYM_ERROR_UNSUPPORTED, "the file ends in a tag that cannot be delimited");
  platform::TTemporaryFile temporary;
  std::unique_ptr<lym::TadcFileStream> output = lym::CreateTemporaryStream(
      temporary, path, platform::CopyPermissions(path), kWriteBufferBytes);
  if (!output) return Fail(tag, LYM_ERROR_IO, platform::LastFileFailure());
  const std::vector<uint8_t> tagBytes = lym::APEv2TagBytes(tag.tag->Items());
  const bool written =
      CopyBytes(source.stream, *output, streamEnd) &&
      output->WriteExact(tagBytes.data(), int32_t(tagBytes.size())) && output->Flush() &&
      output->Close(true) == lym::kIoNoError;
  if (!written) return Fail(tag, LYM_ERROR_IO, temporary.Name());
  source.Close();
  return lym::library::PutInPlace(temporary, true, tag.error);
}

}  // namespace

extern "C" {

lym_status lym_tag_read_file(const char* path_utf8, lym_tag** tag) {
  if (tag != nullptr) *tag = nullptr;
  if (path_utf8 == nullptr || *path_utf8 == '\0' || tag == nullptr)
    return LYM_ERROR_INVALID_ARGUMENT;
  return lym::library::Guarded(nullptr, [&] {
    TTaggedFile file;
    const lym_status status = OpenTaggedFile(path_utf8, file);
    if (status != LYM_OK) return status;
    auto read = std::make_unique<lym_tag>();
    read->owned = std::move(file.tag);
    read->tag = read->owned.get();
    *tag = read.release();
    return LYM_OK;
  });
}

lym_status lym_tag_write_file(const lym_tag* tag, const char* path_utf8) {
  if (tag == nullptr || path_utf8 == nullptr || *path_utf8 == '\0')
    return LYM_ERROR_INVALID_ARGUMENT;
  return lym::library::Guarded(&tag->error, [&] { return WriteTagFile(*tag, path_utf8); });
}

}  // extern "C"

#include "io/TemporaryStream.h"

namespace lym {

std::unique_ptr<TadcFileStream> CreateTemporaryStream(platform::TTemporaryFile& file,
                                                      const std::string& destination,
                                                      uint32_t permissions, int32_t bufferSize) {
  platform::FileHandle handle;
  if (!file.Create(destination, permissions, handle)) return nullptr;
  auto stream = std::make_unique<TadcFileStream>();
  if (stream->OpenHandle(handle, file.Name(), kAccessWrite, bufferSize) != kIoNoError) {
    return nullptr;
  }
  return stream;
}

}  // namespace lym

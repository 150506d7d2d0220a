// An output under construction as a stream: a new temporary file beside its destination (see
// platform::TTemporaryFile), opened for writing through the stream family.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "io/lymFileIo.h"
#include "platform/TemporaryFile.h"

namespace lym {

// Creates file beside destination with the permission bits and opens it through a buffer of
// bufferSize bytes; null when either fails (LastFileFailure() tells why).
std::unique_ptr<TadcFileStream> CreateTemporaryStream(platform::TTemporaryFile& file,
                                                      const std::string& destination,
                                                      uint32_t permissions, int32_t bufferSize);

}  // namespace lym

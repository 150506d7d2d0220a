// A medium of bytes in memory behind the callbacks of TadcInterfaceStream: streams of encoded or
// decoded data that never touch the disk (tests and fuzz targets use it for whole files).
#pragma once

#include <cstdint>
#include <vector>

#include "io/lymFileIo.h"

namespace lym {

struct TMemoryMedium {
  std::vector<uint8_t> bytes;
  int64_t position = 0;
};

// Readable, writable and seekable callbacks over a TMemoryMedium passed as the user data.
const TadcStreamCallbacks& MemoryMediumCallbacks();

// Opens stream over medium (bufferSize as for OpenInterface); returns OpenInterface's code.
uint8_t OpenMemoryStream(TadcInterfaceStream& stream, TMemoryMedium& medium,
                         int32_t bufferSize = 4096);

}  // namespace lym

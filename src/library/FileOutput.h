// Putting a file the library wrote in place: its temporary file renamed over the destination, the
// outcome as a status with the reason kept in the handle's error text.
#pragma once

#include "library/Calls.h"
#include "platform/TemporaryFile.h"

namespace lym::library {

lym_status PutInPlace(platform::TTemporaryFile& file, bool replace, TLastError& error);

}  // namespace lym::library

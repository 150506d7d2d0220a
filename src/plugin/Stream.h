// The library's decoder as the plug-in holds it: a handle that closes itself, opened on a file with
// the library's defaults, under which damaged frames decode to silence and keep the length.
#pragma once

#include <memory>

#include "lym/lym.h"

namespace lym::plugin {

struct TDecoderCloser {
  void operator()(lym_decoder* decoder) const { lym_decoder_close(decoder); }
};
using TDecoder = std::unique_ptr<lym_decoder, TDecoderCloser>;

// An answer after which the decoder goes on: LYM_DAMAGED only says that silence replaced samples
// lost to damage, which the player plays like any others.
inline bool Usable(lym_status status) { return status <= LYM_DAMAGED; }

// The decoder of fileName (UTF-8) and, in info, its stream information; null when the file cannot
// be opened or holds no stream that decodes.
TDecoder OpenStream(const char* fileName, lym_info& info);

// The stream's APEv2 tag, read on the first request; null when reading it failed outright.
const lym_tag* StreamTag(lym_decoder& decoder);

}  // namespace lym::plugin

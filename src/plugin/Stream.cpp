#include "plugin/Stream.h"

namespace lym::plugin {

TDecoder OpenStream(const char* fileName, lym_info& info) {
  if (fileName == nullptr) return nullptr;
  lym_decoder* opened = nullptr;
  if (!Usable(lym_decoder_open_file(fileName, nullptr, &opened))) return nullptr;
  TDecoder decoder(opened);
  if (!Usable(lym_decoder_get_info(decoder.get(), &info))) return nullptr;
  return decoder;
}

const lym_tag* StreamTag(lym_decoder& decoder) {
  const lym_tag* tag = nullptr;
  return Usable(lym_decoder_get_tag(&decoder, &tag)) ? tag : nullptr;
}

}  // namespace lym::plugin

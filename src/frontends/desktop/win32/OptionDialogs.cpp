#include "OptionDialogs.h"

namespace lym::win32 {

bool ShowGeneralOptions(HWND, TCompressOptions&, const TProcessorFeatures&) { return false; }
bool ShowCompressionOptions(HWND, TCompressionSettings&) { return false; }
bool ShowDecompressionOptions(HWND, TDlgDecoderOpt&) { return false; }
bool ShowFileInfoOptions(HWND, TDlgFileInfoOpt&) { return false; }

}  // namespace lym::win32

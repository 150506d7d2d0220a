// The option windows of the desktop program. Each is shown modally over owner, loads its settings
// record into the controls and, on "Ok", writes the controls back and answers true; "Cancel"
// leaves the record as it was.
#pragma once

#include "DesktopSettings.h"
#include "DialogSupport.h"

namespace lym::win32 {

// "General Options".
bool ShowGeneralOptions(HWND owner, TCompressOptions& options, const TProcessorFeatures& features);
// "Compression Options" with its pages and the encoder details it opens.
bool ShowCompressionOptions(HWND owner, TCompressionSettings& settings);
// "Decompression Options".
bool ShowDecompressionOptions(HWND owner, TDlgDecoderOpt& settings);
// "File Information Options".
bool ShowFileInfoOptions(HWND owner, TDlgFileInfoOpt& settings);

}  // namespace lym::win32

// The plug-in's face to the player: the input module record and the two exports.
#pragma once

#include <cstddef>

#include "plugin/WinampInterface.h"

extern "C" {
LYM_EXPORT lym::winamp::In_Module* LYM_CDECL winampGetInModule2();
LYM_EXPORT int LYM_CDECL winampGetExtendedFileInfo(const char* file, const char* name, char* dest,
                                                   size_t destLength);
}

// What the player learns about files without playing them: display titles and lengths for its
// playlist, single tag values, and the information box. Each query opens the file on its own and
// closes it again; for the playing file the title and length come from the playback.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "lym/lym.h"
#include "plugin/LymPlayback.h"
#include "plugin/WinampInterface.h"

namespace lym::plugin {

// The length the player shows for a file it cannot read.
inline constexpr int kUnknownLengthMs = -1000;
// Bytes written to the player's title buffer, the terminating zero included: room for an artist
// and a title of the longest tag values with the separator between them.
inline constexpr size_t kTitleBytes = 260;

// The title from the tag (TagTitle), else the file-name part of fileName (UTF-8). Either way in
// the host's character set, for the player.
std::string GetTitle(const std::optional<std::string>& tagTitle, const std::string& fileName);

// "3:05.020" or, from an hour on, "1:02:03.004".
std::string DurationText(int32_t ms);

// The lines of the information box, separated by CR LF; tag is null when it could not be read.
std::string InfoBoxText(const lym_info& info, const lym_tag* tag);

// The entry points behind the player's record and the export, with UTF-8 file names. An empty or
// null file is the one that plays.
void GetFileInfo(const TLymPlayback& playback, const char* file, char* title, int* lengthMs);
int InfoBox(const char* file, winamp::Window parent);
int ExtendedFileInfo(const char* file, const char* name, char* dest, size_t destLength);

}  // namespace lym::plugin

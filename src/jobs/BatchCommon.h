// Helpers that the three batch jobs share: paths, protocol files, and outputs that replace an
// existing file only once they are complete.
#pragma once

#include <string>

#include "jobs/TextData.h"
#include "lym/BatchEvents.h"

namespace lym {

// folder + the system's separator + name; an empty folder leaves name as it is, and a folder that
// already ends in a separator gets none added.
std::string JoinPath(const std::string& folder, const std::string& name);
// The part after the last folder separator ('/' everywhere, '\' too on Windows).
std::string FileNamePart(const std::string& path);
// The name without its last extension: "a.b.lym" gives "a.b"; dots in folder names do not count.
std::string WithoutExtension(const std::string& name);

bool FileExists(const std::string& name);
bool RemoveFile(const std::string& name);

// Saves lines to fileName. Appending to a file that loads: its lines, two empty lines, then the
// new ones; a file that does not load is replaced. False when the file cannot be written.
bool SaveLogFile(const std::string& fileName, bool append, const TTextData& lines);

// A job writes its output under a temporary name beside the destination and moves it over the
// destination only when it succeeded, so that a failed job never destroys a file that was there.
std::string TemporaryOutputName(const std::string& destination);
// Moves the finished temporary file over the destination.
bool CommitOutput(const std::string& temporary, const std::string& destination);

}  // namespace lym

// Helpers that the three batch jobs share: paths, protocol files, and outputs that replace an
// existing file only once they are complete and never replace anything but a regular file.
#pragma once

#include <exception>
#include <memory>
#include <string>

#include "io/lymFileIo.h"
#include "jobs/TextData.h"
#include "lym/BatchEvents.h"
#include "platform/TemporaryFile.h"

namespace lym {

// folder + the system's separator + name; an empty folder leaves name as it is, and a folder that
// already ends in a separator gets none added.
std::string JoinPath(const std::string& folder, const std::string& name);
// The part after the last folder separator ('/' everywhere, '\' too on Windows).
std::string FileNamePart(const std::string& path);
// The name without its last extension: "a.b.lym" gives "a.b"; dots in folder names do not count.
std::string WithoutExtension(const std::string& name);

bool FileExists(const std::string& name);

// How a job opens its source: others may read it meanwhile, and a source that is a scratch file
// (standard input's) may be removed by an interruption while it is open.
inline constexpr int32_t kShareSource = kShareRead | kShareDelete;

// A batch's result codes for an output that cannot be had.
struct TOutputCodes {
  uint8_t Exists;
  uint8_t WriteError;
};

// 0 when a job may write destination. WriteError, with the reason: the destination is the source
// itself (by any path), or something other than a regular file or a link has the name. Exists:
// something is there and may not be replaced (no overwriting, or an earlier input of the run wrote
// it; the reason says the latter).
uint8_t CheckOutput(const std::string& source, const std::string& destination, bool overwrite,
                    const TRunOutputs& runOutputs, const TOutputCodes& codes, std::string& reason);

// The reason of a job that ended in an exception.
std::string ExceptionReason(const std::exception_ptr& exception);

// Saves lines to fileName. Appending to a file that loads: its lines, two empty lines, then the
// new ones; a file that does not load is replaced. False when the file cannot be written.
bool SaveLogFile(const std::string& fileName, bool append, const TTextData& lines);

// Moves a finished temporary output over its destination (an existing file only with replace):
// 0 when it is in place, else Exists or WriteError with the reason, in the system's words where it
// has them.
uint8_t CommitOutput(platform::TTemporaryFile& output, bool replace, const TOutputCodes& codes,
                     std::string& reason);

// Gives an output that is in place its source's modification time; false with the reason.
bool KeepSourceTime(const std::string& source, const std::string& destination,
                    std::string& reason);

// Removes the source of an output that is in place; false with the text of the failure line.
bool DeleteSource(const std::string& source, std::string& failure);

}  // namespace lym

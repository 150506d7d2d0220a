// The standard streams as a batch's one source or one output.
//
// A source on standard input is read to its end into a scratch file before its job starts: a WAVE
// stream's trailer and its length, and a .lym stream's tag, come last, yet compression needs them
// before the first frame and the decoder looks at the end of a stream first; a pipe cannot be read
// twice. The scratch file lives in the system's temporary folder and goes with the job, also on an
// interruption.
//
// A .lym output for standard output is finished in a scratch file too (the stream's seek table is
// written last, in front of the frames) and sent once it is complete (and verified, when asked),
// so a failed job sends nothing. A WAVE output goes out while it is decoded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/TemporaryFile.h"

namespace lym {

class TStandardInputSpool {
 public:
  // Reads standard input to its end into a new scratch file (an earlier one goes); false with the
  // system's reason.
  bool Fill(std::string& reason);
  const std::string& Path() const { return file_.Name(); }

 private:
  platform::TTemporaryFile file_;
};

// The file that a batch's entry names; empty for standard input, which no output can be.
std::string NamedSource(const std::string& folder, const std::string& entry, bool standardInput);

// The file that a batch's job reads: the entry in its folder or, with standardInput, a new spool
// of standard input; empty with the system's reason when standard input cannot be read.
std::string JobSource(const std::string& folder, const std::string& entry, bool standardInput,
                      std::unique_ptr<TStandardInputSpool>& spool, std::string& reason);

// Where a scratch output is made: a destination in the temporary folder, of which a temporary file
// takes only the folder.
std::string ScratchDestination();
// Only the user's own processes need to read what passes through the temporary folder.
inline constexpr uint32_t kScratchPermissions = 0600;

// Sends a finished file to standard output; false with the system's reason.
bool SendToStandardOutput(const std::string& path, std::string& reason);

}  // namespace lym

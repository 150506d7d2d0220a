// Runs the chosen action over the input files as batches of the library (one per input folder)
// and prints what they report. Returns the exit status: 0 when every file ended well and nothing
// was lost, 1 otherwise.
#pragma once

#include <string>

#include "CliOptions.h"

namespace lym::cli {

// Refuses to read audio from a terminal or to write it to one; false with a message.
bool StandardStreamsFit(const TCliOptions& options, std::string& error);
// Makes the -O folder when the action writes into it; false with a message when it cannot.
bool PrepareOutputFolder(const TCliOptions& options, std::string& error);
int RunBatches(const TCliOptions& options);

}  // namespace lym::cli

// Runs the chosen action over the input files as batches of the library (one per input folder)
// and prints what they report. Returns the exit status: 0 when every file ended well, 1 otherwise.
#pragma once

#include "CliOptions.h"

namespace lym::cli {

int RunBatches(const TCliOptions& options);

}  // namespace lym::cli

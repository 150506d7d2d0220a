// The command line of lym: actions, options and input files, parsed into one record. Parsing never
// exits or prints; a usage error comes back as its message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CliTags.h"

namespace lym::cli {

enum class TAction { Compress, Decompress, Test, TestCompression, Info };

// The information mode of --info=json: the full report's figures as one JSON document.
inline constexpr uint8_t kInfoJson = 3;

struct TCliOptions {
  TAction Action = TAction::Compress;
  int32_t Preset = 2;
  int32_t Level = 0;
  bool Verify = false;
  std::string OutputFile;    // -o: the one output's path
  std::string OutputFolder;  // -O: empty means each input's own folder
  // The one input is "-": standard input.
  bool FromStdin = false;
  // -c, --stdout, -o - (and an input from standard input without -o): the one output goes to
  // standard output, and the lines for people go to standard error.
  bool ToStdout = false;
  bool Overwrite = false;
  bool KeepTime = false;     // each output gets its input's modification time
  bool DeleteInput = false;  // remove each input whose output is complete and checked
  bool WaveMeta = true;  // -wm1: store (compression) or restore (decompression) header and trailer
  bool KeepDamaged = true;
  bool MuteLost = true;
  // --error-log / --no-error-log; unset: written when decompressing, not when testing.
  std::optional<bool> ErrorLog;
  uint8_t Protocol = 0;  // 0 none, 1 results, 2 results and diagnostics
  bool AppendProtocol = false;
  uint8_t InfoMode = 0;  // 0 full, 1 encoder, 2 wave, kInfoJson
  bool Quiet = false;
  bool Help = false;
  bool Version = false;
  std::string Cpu;  // hidden: cap the kernels at this level
  // Tag options: edits in their order, and --list-tags. They act on .lym files, in place.
  std::vector<TTagEdit> TagEdits;
  bool ListTags = false;
  // The tag of every new file when compressing with --tag: made from TagEdits before the batches.
  std::vector<TTagItem> NewFileTag;
  std::vector<std::string> Files;
};

// Fills options from the arguments (without the program name); false with a message for a usage
// error.
bool ParseCommandLine(const std::vector<std::string>& arguments, TCliOptions& options,
                      std::string& error);

// The text of --help.
std::string HelpText(const std::string& programName);

}  // namespace lym::cli

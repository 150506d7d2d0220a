// lym: the command-line front end. It maps its options onto the library's batch jobs and prints
// what they report; all the work and every decision about files is theirs.
#include <cstdio>
#include <string>
#include <vector>

#include "CliBatches.h"
#include "CliOptions.h"
#include "CliTags.h"
#include "Console.h"
#include "lym/Kernels.h"
#include "lym/Outputs.h"
#include "lym/Version.h"

namespace {

#ifdef _WIN32
constexpr const char* kProgramName = "lymc";
#else
constexpr const char* kProgramName = "lym";
#endif

// A report or document that did not reach its reader (one that went away, a full disk) is a loss.
int WithStdoutChecked(int status) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::fprintf(stderr, "%s: error writing standard output\n", kProgramName);
  return status == 0 ? 1 : status;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "%s: %s (try '%s --help')\n", kProgramName, message.c_str(), kProgramName);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  lym::cli::UseUtf8Console();
  const std::vector<std::string> arguments = lym::cli::Utf8Arguments(argc, argv);
  lym::cli::TCliOptions options;
  std::string error;
  if (!lym::cli::ParseCommandLine(arguments, options, error)) return UsageError(error);
  if (options.Help) {
    std::fputs(lym::cli::HelpText(kProgramName).c_str(), stdout);
    return 0;
  }
  if (options.Version) {
    std::printf("%s %s\n", kProgramName, lym::kLymVersionText);
    return 0;
  }
  if (!options.Cpu.empty() && !lym::CapKernelsByName(options.Cpu)) {
    return UsageError("unknown kernel level '" + options.Cpu + "'");
  }
  lym::InstallInterruptCleanup();
  const bool tags = !options.TagEdits.empty() || options.ListTags;
  if (tags && lym::cli::EditsInPlace(options.Files)) {
    return WithStdoutChecked(
        lym::cli::RunTagEdits(options.TagEdits, options.ListTags, options.Files, options.Quiet));
  }
  if (!lym::cli::NewFileTagItems(options.TagEdits, options.NewFileTag, error)) {
    return UsageError(error);
  }
  if (!lym::cli::StandardStreamsFit(options, error)) {
    std::fprintf(stderr, "%s: %s\n", kProgramName, error.c_str());
    return 1;
  }
  if (!lym::cli::PrepareOutputFolder(options, error)) {
    std::fprintf(stderr, "%s: %s\n", kProgramName, error.c_str());
    return 1;
  }
  return WithStdoutChecked(lym::cli::RunBatches(options));
}

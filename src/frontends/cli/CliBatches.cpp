#include "CliBatches.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Console.h"
#include "InfoJson.h"
#include "Progress.h"
#include "lym/Compressor.h"
#include "lym/Decompressor.h"
#include "lym/Informant.h"
#include "lym/Kernels.h"
#include "lym/Outputs.h"

namespace lym::cli {
namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\' || c == ':';
#else
  return c == '/';
#endif
}

struct TPathParts {
  std::string folder;  // with its trailing separator; empty for the current folder
  std::string name;
};

TPathParts SplitPath(const std::string& path) {
  size_t split = path.size();
  while (split > 0 && !IsSeparator(path[split - 1])) --split;
  return {path.substr(0, split), path.substr(split)};
}

// The inputs grouped by folder, folders in the order they first appear.
struct TFolderBatch {
  std::string folder;
  std::vector<std::string> names;
  std::vector<size_t> positions;  // of the names among the input files
};

std::vector<TFolderBatch> GroupByFolder(const std::vector<std::string>& files) {
  std::vector<TFolderBatch> batches;
  for (size_t position = 0; position < files.size(); ++position) {
    const TPathParts parts = SplitPath(files[position]);
    TFolderBatch* batch = nullptr;
    for (TFolderBatch& b : batches) {
      if (b.folder == parts.folder) batch = &b;
    }
    if (batch == nullptr) batch = &batches.emplace_back(TFolderBatch{parts.folder, {}, {}});
    batch->names.push_back(parts.name);
    batch->positions.push_back(position);
  }
  return batches;
}

// Where a batch's outputs go, and the one output's name when -o gave it.
struct TDestination {
  std::string folder;
  std::string outputName;
};

TDestination DestinationFor(const TCliOptions& options, const TFolderBatch& batch) {
  if (!options.OutputFile.empty()) {
    const TPathParts parts = SplitPath(options.OutputFile);
    return {parts.folder, parts.name};
  }
  return {options.OutputFolder.empty() ? batch.folder : options.OutputFolder, {}};
}

bool WritesJson(const TCliOptions& options) {
  return options.Action == TAction::Info && options.InfoMode == kInfoJson;
}

// Audio on standard output leaves it no room for lines meant for people.
bool AudioOnStdout(const TCliOptions& options) {
  return options.ToStdout && options.Action != TAction::Info;
}

// Prints the events of one batch: result lines and log lines on stdout (stderr when stdout carries
// audio), the progress line on stderr; in quiet mode only the result lines of files that did not
// end well and the lines that report a loss, on stderr. A JSON document keeps stdout to itself:
// the lines that report a loss go to stderr, the log lines nowhere. Remembers whether anything did
// not end well, for the exit status.
class TPrinter {
 public:
  explicit TPrinter(const TCliOptions& options)
      : quiet_(options.Quiet),
        showLog_(!options.Quiet && !WritesJson(options)),
        lines_(AudioOnStdout(options) ? stderr : stdout),
        progress_(!options.Quiet && StderrIsTerminal()) {}

  template <class TBatch>
  void Attach(TBatch& batch) {
    batch.OnLogLine = [this](const std::string& text) { LogLine(text); };
    batch.OnFileStart = [this](const std::string& name) {
      name_ = name;
      progress_.Start(name);
    };
    batch.OnProgress = [this](int32_t percent) { progress_.Show(percent); };
    batch.OnFailureLine = [this](const std::string& text) { FailureLine(text); };
  }

  // The batch's text, then the system's reason for a failure.
  void FileResult(const std::string& text, const std::string& reason, bool endedWell) {
    progress_.Clear();
    const std::string line = name_ + text + (reason.empty() ? "" : ": " + reason);
    if (!quiet_) {
      std::fprintf(lines_, "%s\n", line.c_str());
      std::fflush(lines_);
    } else if (!endedWell) {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
    allWell_ = allWell_ && endedWell;
  }

  void SetName(const std::string& name) { name_ = name; }
  bool AllWell() const { return allWell_; }

 private:
  void LogLine(const std::string& text) {
    if (!showLog_) return;
    progress_.Clear();
    std::fprintf(lines_, "%s\n", text.c_str());
    std::fflush(lines_);
  }

  // Shown on stdout with the other log lines already, if they are shown.
  void FailureLine(const std::string& text) {
    if (!showLog_) std::fprintf(stderr, "%s\n", text.c_str());
    allWell_ = false;
  }

  bool quiet_;
  bool showLog_;
  std::FILE* lines_;
  TProgressLine progress_;
  std::string name_;
  bool allWell_ = true;
};

uint32_t ProcessorOptions() { return kCpuFlagVector; }

// A compressed file whose WAVE metadata was too large to store will not come back byte for byte.
bool CompressionEndedWell(uint8_t code) {
  return code < kCompressFailedFrom && code != kCompressMetaTooBig;
}

bool Compress(const TCliOptions& options, const TFolderBatch& batch, TPrinter& printer,
              TRunOutputs& runOutputs) {
  TEncoderSettings settings = PresetSettings(options.Preset, options.Level);
  settings.Verify = options.Verify;
  TEncoderDlgOutputOptions output;
  output.Overwrite = options.Overwrite;
  output.KeepTime = options.KeepTime;
  output.DeleteInput = options.DeleteInput;
  output.TagItems = options.NewFileTag;
  output.SaveWaveMeta = options.WaveMeta;
  output.ProtocolLevel = options.Protocol;
  output.AppendProtocol = options.AppendProtocol;
  TCompressOptions compress;
  compress.NoOutput = options.Action == TAction::TestCompression;
  const TDestination destination = DestinationFor(options, batch);
  TCompressorFilePars pars;
  pars.SourceFolder = batch.folder;
  pars.DestinationFolder = destination.folder;  // where -n puts its protocol too
  pars.OutputName = destination.outputName;
  pars.RunOutputs = &runOutputs;
  pars.StandardInput = options.FromStdin;
  pars.StandardOutput = options.ToStdout;

  TCompressor compressor;
  printer.Attach(compressor);
  compressor.OnFileResult = [&printer](const TCompFileReport& report, const std::string& text) {
    printer.FileResult(text, report.Reason, CompressionEndedWell(report.Code));
  };
  return compressor.Run(settings, output, batch.names, pars, compress);
}

bool Decompress(const TCliOptions& options, const TFolderBatch& batch, TPrinter& printer,
                TRunOutputs& runOutputs) {
  TDecompressorOptions decompress;
  decompress.Overwrite = options.Overwrite;
  decompress.DeleteInput = options.DeleteInput;
  // Decompressing into a pipe leaves no folder of outputs where the log would belong.
  decompress.WriteErrorProtocol =
      options.ErrorLog.value_or(options.Action == TAction::Decompress && !options.ToStdout);
  decompress.WriteProtocol = options.Protocol > 0;
  decompress.AppendProtocol = options.AppendProtocol;
  decompress.File.ProcessorOptions = ProcessorOptions();
  decompress.File.WriteOutput = options.Action == TAction::Decompress;
  decompress.File.KeepDamaged = options.KeepDamaged;
  decompress.File.MuteDamaged = options.MuteLost;
  decompress.File.RestoreWaveMeta = options.WaveMeta;
  decompress.File.KeepTime = options.KeepTime;
  const TDestination destination = DestinationFor(options, batch);
  TDecompressorFilePars pars;
  pars.SourceFolder = batch.folder;
  pars.DestinationFolder = destination.folder;
  pars.OutputName = destination.outputName;
  pars.RunOutputs = &runOutputs;
  pars.StandardInput = options.FromStdin;
  pars.StandardOutput = options.ToStdout;

  TDecompressor decompressor(decompress);
  printer.Attach(decompressor);
  decompressor.OnFileResult = [&printer](const TDecompFileReport& report,
                                         const std::string& text) {
    printer.FileResult(text, report.Reason,
                       report.Code == kDecompOk || report.Code == kDecompWaveMetaMissing);
  };
  return decompressor.Run(pars, batch.names);
}

// document: where the files' objects go for --info=json, null for a text report.
bool Inform(const TCliOptions& options, const TFolderBatch& batch, TPrinter& printer,
            TInfoDocument* document) {
  TInformant informant(document != nullptr ? kInformDetailed : options.InfoMode,
                       options.Protocol > 0);
  printer.Attach(informant);
  informant.OnFileResult = [&](const TInformFileReport& report, const std::string&) {
    const size_t position = batch.positions[size_t(report.Index)];
    if (document != nullptr) document->Set(position, options.Files[position], report);
    if (!options.Quiet || report.Code == kInformOk) return;
    printer.SetName(batch.names[size_t(report.Index)] + ": ");
    printer.FileResult(TInformant::ResultText(report.Code), {}, false);
  };
  TInformantFilePars pars;
  pars.Folder = batch.folder;
  pars.StandardInput = options.FromStdin;
  return informant.Run(pars, batch.names);
}

// Whether anything goes into the -O folder: outputs, or the protocols a test was asked for.
bool WritesIntoOutputFolder(const TCliOptions& options) {
  switch (options.Action) {
    case TAction::Compress:
    case TAction::Decompress: return true;
    case TAction::Test: return options.Protocol > 0 || options.ErrorLog.value_or(false);
    case TAction::TestCompression: return options.Protocol > 0;
    default: return false;
  }
}

}  // namespace

bool StandardStreamsFit(const TCliOptions& options, std::string& error) {
  if (options.FromStdin && StandardInputIsTerminal()) {
    error = "standard input is a terminal; send a stream into it through a pipe";
  } else if (AudioOnStdout(options) && StandardOutputIsTerminal()) {
    error = "standard output is a terminal; send it into a pipe or a file, or use -o FILE";
  }
  return error.empty();
}

bool PrepareOutputFolder(const TCliOptions& options, std::string& error) {
  if (options.OutputFolder.empty() || !WritesIntoOutputFolder(options)) return true;
  std::string reason;
  if (CreateOutputFolder(options.OutputFolder, reason)) return true;
  error = "cannot make the folder '" + options.OutputFolder + "': " + reason;
  return false;
}

int RunBatches(const TCliOptions& options) {
  bool allWell = true;
  TPrinter printer(options);
  TRunOutputs runOutputs;
  std::optional<TInfoDocument> document;
  if (WritesJson(options)) document.emplace(options.Files.size());
  for (const TFolderBatch& batch : GroupByFolder(options.Files)) {
    bool well = false;
    switch (options.Action) {
      case TAction::Compress:
      case TAction::TestCompression: well = Compress(options, batch, printer, runOutputs); break;
      case TAction::Decompress:
      case TAction::Test: well = Decompress(options, batch, printer, runOutputs); break;
      case TAction::Info:
        well = Inform(options, batch, printer, document ? &*document : nullptr);
        break;
    }
    allWell = allWell && well;
  }
  if (document) std::fputs(document->Text().c_str(), stdout);
  return allWell && printer.AllWell() ? 0 : 1;
}

}  // namespace lym::cli

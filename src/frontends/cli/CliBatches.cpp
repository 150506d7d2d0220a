#include "CliBatches.h"

#include <cstdio>
#include <string>
#include <vector>

#include "Console.h"
#include "Progress.h"
#include "lym/Compressor.h"
#include "lym/Decompressor.h"
#include "lym/Informant.h"
#include "lym/Kernels.h"

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
};

std::vector<TFolderBatch> GroupByFolder(const std::vector<std::string>& files) {
  std::vector<TFolderBatch> batches;
  for (const std::string& file : files) {
    const TPathParts parts = SplitPath(file);
    TFolderBatch* batch = nullptr;
    for (TFolderBatch& b : batches) {
      if (b.folder == parts.folder) batch = &b;
    }
    if (batch == nullptr) batch = &batches.emplace_back(TFolderBatch{parts.folder, {}});
    batch->names.push_back(parts.name);
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

// Prints the events of one batch: result lines and log lines on stdout, the progress line on
// stderr; in quiet mode only the result lines of files that did not end well, on stderr.
class TPrinter {
 public:
  explicit TPrinter(const TCliOptions& options)
      : quiet_(options.Quiet), progress_(!options.Quiet && StderrIsTerminal()) {}

  template <class TBatch>
  void Attach(TBatch& batch) {
    batch.OnLogLine = [this](const std::string& text) { LogLine(text); };
    batch.OnFileStart = [this](const std::string& name) {
      name_ = name;
      progress_.Start(name);
    };
    batch.OnProgress = [this](int32_t percent) { progress_.Show(percent); };
  }

  void FileResult(const std::string& text, bool ended_well) {
    progress_.Clear();
    if (!quiet_) {
      std::printf("%s%s\n", name_.c_str(), text.c_str());
      std::fflush(stdout);
    } else if (!ended_well) {
      std::fprintf(stderr, "%s%s\n", name_.c_str(), text.c_str());
    }
  }

  void SetName(const std::string& name) { name_ = name; }

 private:
  void LogLine(const std::string& text) {
    if (quiet_) return;
    progress_.Clear();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }

  bool quiet_;
  TProgressLine progress_;
  std::string name_;
};

uint32_t ProcessorOptions() { return kCpuFlagVector; }

bool Compress(const TCliOptions& options, const TFolderBatch& batch, TPrinter& printer) {
  TEncoderSettings settings = PresetSettings(options.Preset, options.Level);
  settings.Verify = options.Verify;
  TEncoderDlgOutputOptions output;
  output.Overwrite = options.Overwrite;
  output.SaveWaveMeta = options.WaveMeta;
  output.ProtocolLevel = options.Protocol;
  output.AppendProtocol = options.AppendProtocol;
  TCompressOptions compress;
  compress.NoOutput = options.Action == TAction::TestCompression;
  const TDestination destination = DestinationFor(options, batch);
  TCompressorFilePars pars;
  pars.SourceFolder = batch.folder;
  pars.DestinationFolder = compress.NoOutput ? batch.folder : destination.folder;
  pars.OutputName = destination.outputName;

  TCompressor compressor;
  printer.Attach(compressor);
  compressor.OnFileResult = [&printer](const TCompFileReport& report, const std::string& text) {
    printer.FileResult(text, report.Code < kCompressFailedFrom);
  };
  return compressor.Run(settings, output, batch.names, pars, compress);
}

bool Decompress(const TCliOptions& options, const TFolderBatch& batch, TPrinter& printer) {
  TDecompressorOptions decompress;
  decompress.Overwrite = options.Overwrite;
  decompress.WriteErrorProtocol = options.ErrorLog;
  decompress.WriteProtocol = options.Protocol > 0;
  decompress.AppendProtocol = options.AppendProtocol;
  decompress.File.ProcessorOptions = ProcessorOptions();
  decompress.File.WriteOutput = options.Action == TAction::Decompress;
  decompress.File.KeepDamaged = options.KeepDamaged;
  decompress.File.MuteDamaged = options.MuteLost;
  decompress.File.RestoreWaveMeta = options.WaveMeta;
  const TDestination destination = DestinationFor(options, batch);
  TDecompressorFilePars pars;
  pars.SourceFolder = batch.folder;
  pars.DestinationFolder = destination.folder;
  pars.OutputName = destination.outputName;

  TDecompressor decompressor(decompress);
  printer.Attach(decompressor);
  decompressor.OnFileResult = [&printer](const TDecompFileReport& report,
                                         const std::string& text) {
    printer.FileResult(text, report.Code == kDecompOk || report.Code == kDecompWaveMetaMissing);
  };
  return decompressor.Run(pars, batch.names);
}

bool Inform(const TCliOptions& options, const TFolderBatch& batch, TPrinter& printer) {
  TInformant informant(options.InfoMode, options.Protocol > 0);
  printer.Attach(informant);
  informant.OnFileResult = [&](const TInformFileReport& report, const std::string&) {
    if (!options.Quiet || report.Code == kInformOk) return;
    printer.SetName(batch.names[size_t(report.Index)] + ": ");
    printer.FileResult(TInformant::ResultText(report.Code), false);
  };
  TInformantFilePars pars;
  pars.Folder = batch.folder;
  return informant.Run(pars, batch.names);
}

}  // namespace

int RunBatches(const TCliOptions& options) {
  bool allWell = true;
  TPrinter printer(options);
  for (const TFolderBatch& batch : GroupByFolder(options.Files)) {
    bool well = false;
    switch (options.Action) {
      case TAction::Compress:
      case TAction::TestCompression: well = Compress(options, batch, printer); break;
      case TAction::Decompress:
      case TAction::Test: well = Decompress(options, batch, printer); break;
      case TAction::Info: well = Inform(options, batch, printer); break;
    }
    allWell = allWell && well;
  }
  return allWell ? 0 : 1;
}

}  // namespace lym::cli

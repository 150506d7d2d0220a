// The settings of the desktop program: held in memory for one run of the program only, so that
// every start begins with the defaults below. The main window owns one TDesktopSettings; the job
// windows turn it into the option records of the batches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lym/Compressor.h"
#include "lym/Decompressor.h"
#include "lym/EncoderSettings.h"

namespace lym {

inline constexpr uint8_t kDestinationSource = 0;
inline constexpr uint8_t kDestinationUser = 1;

struct TCompressionSettings {
  TEncoderSettings Encoder = DefaultEncoderSettings();
  TEncoderDlgOutputOptions Output;
  TCompressOptions Options;  // NoOutput is set by the job window for each run
};

// Values of TDlgDecoderOpt::DamagedFiles and DamagedFrames.
inline constexpr uint8_t kDamagedFilesSkip = 0;
inline constexpr uint8_t kDamagedFilesRecover = 1;
inline constexpr uint8_t kDamagedFramesCut = 0;
inline constexpr uint8_t kDamagedFramesMute = 1;

struct TDlgDecoderOpt {
  uint8_t DestinationChoice = kDestinationSource;
  std::string UserFolder;
  uint8_t DamagedFiles = kDamagedFilesRecover;
  uint8_t DamagedFrames = kDamagedFramesMute;
  bool SaveErrorLog = true;
  bool RestoreWaveMeta = true;
  bool Overwrite = false;
  uint8_t ProtocolLevel = kProtocolOff;  // Off or Result
  bool AppendProtocol = false;

  bool operator==(const TDlgDecoderOpt&) const = default;
};

struct TDlgFileInfoOpt {
  uint8_t ReportMode = 0;  // kInformDetailed, kInformEncoder or kInformWaveMeta
  bool SaveProtocol = false;

  bool operator==(const TDlgFileInfoOpt&) const = default;
};

struct TDesktopSettings {
  TCompressionSettings Compression;
  TDlgDecoderOpt Decoder;
  TDlgFileInfoOpt FileInfo;
};

// What the processor offers that the "Use MMX" and "Use SSE" switches govern.
struct TProcessorFeatures {
  bool Mmx = false;  // vector kernels of any level
  bool Sse = false;
};
TProcessorFeatures DetectProcessorFeatures();

// The processor flags for decoders: a switch counts only where the processor has its feature.
uint32_t ProcessorOptions(const TProcessorFeatures& features, const TCompressOptions& options);

TDecompressorOptions MakeDecompressorOptions(const TDlgDecoderOpt& settings,
                                             uint32_t processorOptions, bool writeOutput);

// Where a job writes: the user folder when chosen (and chosen at all), else the source folder.
std::string DestinationFolder(uint8_t choice, const std::string& userFolder,
                              const std::string& sourceFolder);

// A folder from the folder dialog as paths are built from it: a drive root "C:\" becomes "C:",
// since the batches add the separator themselves.
std::string ChosenFolder(const std::string& folder);

#ifdef _WIN32
inline constexpr char kFolderSeparator = '\\';
#else
inline constexpr char kFolderSeparator = '/';
#endif
// '/' everywhere, '\' too: Windows accepts both.
inline bool IsFolderSeparator(char c) { return c == '/' || c == '\\'; }

// The folder part of a chosen file's path, without the separator.
std::string FolderOf(const std::string& path);
// The name part of a chosen file's path.
std::string NameOf(const std::string& path);

// The file dialog's answer to a multiple selection: a single choice is one full path, several are
// the folder followed by the names. Full paths in the dialog's order.
std::vector<std::string> ChosenFilePaths(const std::vector<std::string>& dialogStrings);

// The file dialog's filter from "description|pattern|..." pairs: every string ended by a NUL, so
// that the string's own terminator ends the list. The dialog wants patterns without spaces, so
// those around a pattern are dropped; descriptions stay as they are.
std::string FileDialogFilter(const std::string& filter);

// The lines of a text (LF or CR LF), without the empty ones.
std::vector<std::string> NonEmptyLines(const std::string& text);

}  // namespace lym

// The report on one compressed file: opens it with the stream reader, asks the reader what it
// knows, and writes the answers into a diagnostics protocol in one of the three report modes.
// Nothing here decodes audio, so the file's code tells only whether its structure is intact.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "container/lymStream.h"
#include "jobs/DiagProtocol.h"
#include "lym/Informant.h"

namespace lym {

class TadcFileStream;
class TAdcReader;

// "=== name ====...", 63 characters; names longer than 55 keep their first 10 and last 42.
std::string InformTitleLine(const std::string& name);

class TFileInformant {
 public:
  // A mode other than the three report modes reports in detail.
  explicit TFileInformant(uint8_t mode);
  ~TFileInformant();
  TFileInformant(const TFileInformant&) = delete;
  TFileInformant& operator=(const TFileInformant&) = delete;

  // Reports on the file at path into protocol and returns its result code. The report names the
  // file by displayName when it is given (standard input's spool), else by the path's last part.
  uint8_t Inform(const std::string& path, TDiagProtocol& protocol,
                 const std::string& displayName = {});
  uint8_t Mode() const { return mode_; }
  // The figures of the last report.
  const TInformFileFacts& Facts() const { return facts_; }

 private:
  bool OpenSource(const std::string& path);
  void CloseSource();
  void Raise(uint8_t code);
  // Takes the reader's state over into the code; true while the reader is usable.
  bool TakeOverReaderState();
  // What a line shows after a failed query: "Not available" while the reader is usable, else the
  // text of the code the failure led to.
  std::string UnavailableText();

  void WriteReport();
  void WriteDetails();
  // waveMetaBytes: the stored WAVE header and trailer, or a plain header's size.
  void TakeOverStreamInfo(int64_t waveMetaBytes);
  void WriteSizesAndDurations(int64_t waveMetaBytes);
  // False when the block must end because the reader failed.
  bool WriteSeekPointInterval();
  void WriteAudioFormat();
  std::string EncoderOrUnavailable();
  void TakeOverEncoderInfo(const TadcEncoderInfo& info);
  // Reads the stored WAVE metadata's sizes; false when the file has none or the reader failed.
  bool ReadWaveMeta(TadcWaveMetaInfo& info);
  std::string WaveMetaOrUnavailable();
  void WriteFileLine(const std::string& text);

  uint8_t mode_;
  uint8_t code_ = 0;
  std::unique_ptr<TadcFileStream> file_;
  std::unique_ptr<TAdcReader> reader_;
  std::string fileName_;
  TDiagProtocol* protocol_ = nullptr;
  TInformFileFacts facts_;
};

}  // namespace lym

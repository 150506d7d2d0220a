#include "jobs/FileInformant.h"

#include <cmath>

#include "container/lymStreamReader.h"
#include "container/APEv2Tag.h"
#include "io/lymFileIo.h"
#include "jobs/BatchCommon.h"
#include "jobs/StreamTexts.h"
#include "lym/Informant.h"

namespace lym {
namespace {

constexpr int32_t kReadBufferBytes = 2048;
constexpr int32_t kDetailLabelWidth = 25;
// The ratio of a file without stored WAVE metadata is taken against a plain 44-byte header.
constexpr int64_t kPlainWaveHeaderBytes = 44;

constexpr size_t kTitleNameMax = 55;
constexpr size_t kTitleRuleEnd = 58;
constexpr size_t kTitleHead = 10;
constexpr size_t kTitleTail = 42;

constexpr const char* kNotAvailable = "Not available";

std::string WaveMetaText(const TadcWaveMetaInfo& info) {
  return "Header " + std::to_string(info.HeaderBytes) + ", Footer " +
         std::to_string(info.TrailerBytes) + " Bytes";
}

int64_t RoundedMs(double samples, int32_t sampleRate) {
  return std::llround(samples / sampleRate * 1000.0);
}

}  // namespace

std::string InformTitleLine(const std::string& name) {
  const size_t chars = CharCount(name);
  if (chars <= kTitleNameMax) {
    return "=== " + name + " " + std::string(kTitleRuleEnd - chars, '=');
  }
  return "=== " + FirstChars(name, kTitleHead) + "..." + LastChars(name, kTitleTail) + " ===";
}

TFileInformant::TFileInformant(uint8_t mode)
    : mode_(mode == kInformEncoder || mode == kInformWaveMeta ? mode : kInformDetailed) {}

TFileInformant::~TFileInformant() { CloseSource(); }

uint8_t TFileInformant::Inform(const std::string& path, TDiagProtocol& protocol) {
  protocol_ = &protocol;
  fileName_ = FileNamePart(path);
  code_ = kInformOk;
  if (mode_ == kInformDetailed) {
    protocol.Line(InformTitleLine(fileName_));
    protocol.Line("");
  }
  if (OpenSource(path)) {
    WriteReport();
  } else if (mode_ != kInformDetailed) {
    WriteFileLine(TInformant::ResultText(code_));
  }
  CloseSource();
  // Without the detailed block the label width is still the protocol's default.
  if (mode_ == kInformDetailed) protocol.LabelText("Status:", TInformant::ResultText(code_));
  protocol_ = nullptr;
  return code_;
}

bool TFileInformant::OpenSource(const std::string& path) {
  file_ = std::make_unique<TadcFileStream>();
  if (file_->OpenFile(path, kAccessRead, kReadBufferBytes, kShareRead) != 0) {
    Raise(kInformReadError);
    return false;
  }
  reader_ = std::make_unique<TAdcReader>();
  if (!reader_->Open(*file_)) {
    TakeOverReaderState();
    return false;
  }
  // The identifier counts with the metadata: both come before the first frame.
  if ((reader_->DamageFlags() & (kDamageIdentifier | kDamageStreamInfo | kDamageMetaData)) != 0) {
    Raise(kInformMetaDamaged);
  }
  return true;
}

void TFileInformant::CloseSource() {
  reader_.reset();
  if (file_) file_->Close(false);
  file_.reset();
}

void TFileInformant::Raise(uint8_t code) {
  if (code > code_) code_ = code;
}

bool TFileInformant::TakeOverReaderState() {
  switch (reader_->Status()) {
    case kStreamOpen: return true;
    case kStreamIoError: Raise(kInformReadError); break;
    case kStreamUnsupported: Raise(kInformIncompatible); break;
    default: Raise(kInformUndecodable); break;
  }
  return false;
}

std::string TFileInformant::UnavailableText() {
  return TakeOverReaderState() ? kNotAvailable : TInformant::ResultText(code_);
}

void TFileInformant::WriteReport() {
  switch (mode_) {
    case kInformEncoder: WriteFileLine(EncoderOrUnavailable()); break;
    case kInformWaveMeta: WriteFileLine(WaveMetaOrUnavailable()); break;
    default: WriteDetails(); break;
  }
}

void TFileInformant::WriteFileLine(const std::string& text) {
  protocol_->Line(ShortDisplayName(fileName_) + text);
}

void TFileInformant::WriteDetails() {
  protocol_->SetLabelWidth(kDetailLabelWidth);
  TadcWaveMetaInfo waveMeta;
  const bool waveMetaStored = reader_->ReadWaveMetaInfo(waveMeta);
  if (!waveMetaStored) TakeOverReaderState();
  if (code_ >= kInformUndecodable) return;

  WriteSizesAndDurations(waveMetaStored ? int64_t(waveMeta.HeaderBytes) + waveMeta.TrailerBytes
                                        : kPlainWaveHeaderBytes);
  if (!WriteSeekPointInterval()) return;
  WriteAudioFormat();
  // The encoder information is held in memory; asking for it cannot make the reader fail.
  protocol_->LabelText("Encoder:", EncoderOrUnavailable());
  protocol_->LabelText("Wave file meta data:",
                       waveMetaStored ? WaveMetaText(waveMeta) : kNotAvailable);
  TlymAPEv2Tag* tag = reader_->GetApeTag();
  protocol_->LabelText("APEv2-Tag:", tag != nullptr ? ApeTagText(*tag) : "Error");
  // Reading the tag is the one query here that can meet a read error.
  TakeOverReaderState();
}

void TFileInformant::WriteSizesAndDurations(int64_t waveMetaBytes) {
  const TadcStreamInfo& info = reader_->StreamInfo();
  const double fileBytes = double(file_->GetLength());
  protocol_->LabelFloat("File size:", fileBytes / 1048576.0, 2, "MB");
  // The identifier and the metadata objects: known only when the metadata ended cleanly.
  if ((reader_->DamageFlags() & kDamageMetaData) != 0) {
    protocol_->LabelText("Header size:", "Unknown");
  } else {
    const int64_t headerBytes = reader_->MetaData().EndPosition() - reader_->StartPosition();
    protocol_->LabelFloat("Header size:", double(headerBytes) / 1024.0, 2, "KB");
  }
  const double sourceBytes =
      double(info.SampleCount) * info.Format.BlockSize + double(waveMetaBytes);
  protocol_->LabelFloat("Compression:", fileBytes / sourceBytes * 100.0, 2, "%");
  protocol_->LabelInt("Samples per channel:", info.SampleCount);
  // Whole seconds, shown with two decimals, as the file information has always shown them.
  protocol_->LabelFloat("File duration:",
                        std::round(double(info.SampleCount) / info.Format.SampleRate), 2, "sec");
  protocol_->LabelInt("Frame duration:", RoundedMs(info.FrameSamples, info.Format.SampleRate),
                      "ms");
}

bool TFileInformant::WriteSeekPointInterval() {
  const TadcStreamInfo& info = reader_->StreamInfo();
  TadcSeekTableInfo seekTable;
  int32_t tableBytes = 0;
  if (reader_->GetSeekTableInfo(seekTable, tableBytes)) {
    protocol_->LabelInt(
        "Seek point interval:",
        RoundedMs(double(info.FrameSamples) * seekTable.Interval, info.Format.SampleRate), "ms");
    return true;
  }
  protocol_->LabelText("Seek point interval:", UnavailableText());
  return reader_->Status() == kStreamOpen;
}

void TFileInformant::WriteAudioFormat() {
  const TadcAudioFormat& format = reader_->StreamInfo().Format;
  protocol_->LabelText("Audio format:", "PCM, " + std::to_string(format.SampleRate) + " Hz, " +
                                            std::to_string(format.BitsPerSample) + " Bits, " +
                                            std::to_string(format.Channels) + " Channels");
}

std::string TFileInformant::EncoderOrUnavailable() {
  TadcEncoderInfo info;
  return reader_->GetEncoderInfo(info) ? EncoderText(info) : UnavailableText();
}

std::string TFileInformant::WaveMetaOrUnavailable() {
  TadcWaveMetaInfo info;
  return reader_->ReadWaveMetaInfo(info) ? WaveMetaText(info) : UnavailableText();
}

}  // namespace lym

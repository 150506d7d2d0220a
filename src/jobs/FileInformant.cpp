#include "jobs/FileInformant.h"

#include <cmath>
#include <utility>

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

constexpr std::pair<int32_t, const char*> kDamageWords[] = {{kDamageIdentifier, "identifier"},
                                                           {kDamageStreamInfo, "stream_info"},
                                                           {kDamageMetaData, "metadata"},
                                                           {kDamageFirstFrame, "first_frame"}};

std::vector<std::string> DamageWords(int32_t flags) {
  std::vector<std::string> words;
  for (const auto& [flag, word] : kDamageWords) {
    if ((flags & flag) != 0) words.emplace_back(word);
  }
  return words;
}

std::vector<TInformTagItem> TagItems(const TlymAPEv2Tag& tag) {
  std::vector<TInformTagItem> items;
  for (int64_t i = 0; i < tag.Items().Count(); ++i) {
    const TlymAPEv2Item& item = *tag.Items()[i];
    items.push_back({std::string(item.Key()), uint8_t(item.ItemType()),
                     std::string(reinterpret_cast<const char*>(item.Value()),
                                 size_t(item.ValueSize()))});
  }
  return items;
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

uint8_t TFileInformant::Inform(const std::string& path, TDiagProtocol& protocol,
                               const std::string& displayName) {
  protocol_ = &protocol;
  fileName_ = displayName.empty() ? FileNamePart(path) : displayName;
  code_ = kInformOk;
  facts_ = TInformFileFacts{};
  if (mode_ == kInformDetailed) {
    protocol.Line(InformTitleLine(fileName_));
    protocol.Line("");
  }
  if (OpenSource(path)) {
    WriteReport();
  } else if (mode_ != kInformDetailed) {
    WriteFileLine(TInformant::ResultText(code_));
  }
  // Queries may find more damage than opening did.
  if (reader_) facts_.Damage = DamageWords(reader_->DamageFlags());
  CloseSource();
  // Without the detailed block the label width is still the protocol's default.
  if (mode_ == kInformDetailed) protocol.LabelText("Status:", TInformant::ResultText(code_));
  protocol_ = nullptr;
  return code_;
}

bool TFileInformant::OpenSource(const std::string& path) {
  file_ = std::make_unique<TadcFileStream>();
  if (file_->OpenFile(path, kAccessRead, kReadBufferBytes, kShareSource) != 0) {
    Raise(kInformReadError);
    return false;
  }
  facts_.FileBytes = file_->GetLength();
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
  const bool waveMetaStored = ReadWaveMeta(waveMeta);
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
  facts_.TagState = ApeTagState(tag);
  if (facts_.TagState == kInformTagPresent) facts_.TagItems = TagItems(*tag);
  // Reading the tag is the one query here that can meet a read error.
  TakeOverReaderState();
}

void TFileInformant::TakeOverStreamInfo(int64_t waveMetaBytes) {
  const TadcStreamInfo& info = reader_->StreamInfo();
  facts_.SampleRate = info.Format.SampleRate;
  facts_.Channels = info.Format.Channels;
  facts_.BitsPerSample = info.Format.BitsPerSample;
  facts_.Samples = info.SampleCount;
  facts_.DurationSeconds = double(info.SampleCount) / info.Format.SampleRate;
  facts_.FrameSamples = info.FrameSamples;
  const double waveBytes =
      double(info.SampleCount) * info.Format.BlockSize + double(waveMetaBytes);
  facts_.CompressionRatio = double(*facts_.FileBytes) / waveBytes;
}

void TFileInformant::WriteSizesAndDurations(int64_t waveMetaBytes) {
  TakeOverStreamInfo(waveMetaBytes);
  protocol_->LabelFloat("File size:", double(*facts_.FileBytes) / 1048576.0, 2, "MB");
  // The identifier and the metadata objects: known only when the metadata ended cleanly.
  if ((reader_->DamageFlags() & kDamageMetaData) != 0) {
    protocol_->LabelText("Header size:", "Unknown");
  } else {
    const int64_t headerBytes = reader_->MetaData().EndPosition() - reader_->StartPosition();
    protocol_->LabelFloat("Header size:", double(headerBytes) / 1024.0, 2, "KB");
  }
  protocol_->LabelFloat("Compression:", *facts_.CompressionRatio * 100.0, 2, "%");
  protocol_->LabelInt("Samples per channel:", *facts_.Samples);
  // Whole seconds, shown with two decimals, as the file information has always shown them.
  protocol_->LabelFloat("File duration:", std::round(*facts_.DurationSeconds), 2, "sec");
  protocol_->LabelInt("Frame duration:", RoundedMs(*facts_.FrameSamples, *facts_.SampleRate),
                      "ms");
}

bool TFileInformant::WriteSeekPointInterval() {
  const TadcStreamInfo& info = reader_->StreamInfo();
  TadcSeekTableInfo seekTable;
  int32_t tableBytes = 0;
  if (reader_->GetSeekTableInfo(seekTable, tableBytes)) {
    facts_.SeekPoints = seekTable.Points;
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
  if (!reader_->GetEncoderInfo(info)) return UnavailableText();
  TakeOverEncoderInfo(info);
  return EncoderText(info);
}

void TFileInformant::TakeOverEncoderInfo(const TadcEncoderInfo& info) {
  facts_.EncoderVersion = EncoderVersionText(info.EncoderVersion);
  facts_.PresetName = PresetName(info.Preset);
  facts_.Preset = info.Preset;
  facts_.EvaluationName = EvaluationName(info);
  if (info.EncoderVersion > kLastVersionWithoutEvaluation) facts_.Evaluation = info.Evaluation;
}

bool TFileInformant::ReadWaveMeta(TadcWaveMetaInfo& info) {
  if (!reader_->ReadWaveMetaInfo(info)) return false;
  facts_.WaveHeaderBytes = info.HeaderBytes;
  facts_.WaveTrailerBytes = info.TrailerBytes;
  return true;
}

std::string TFileInformant::WaveMetaOrUnavailable() {
  TadcWaveMetaInfo info;
  return ReadWaveMeta(info) ? WaveMetaText(info) : UnavailableText();
}

}  // namespace lym

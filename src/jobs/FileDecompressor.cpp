#include "jobs/FileDecompressor.h"

#include <algorithm>

#include "io/PipeWriteStream.h"
#include "io/TemporaryStream.h"

namespace lym {
namespace {

// Samples move in blocks of at most this many PCM bytes.
constexpr int32_t kSampleBlockBytes = 4096;
constexpr size_t kSampleBufferSlack = 64;
constexpr int32_t kDestinationBufferBytes = 32768;

uint8_t CodeForDecoderState(int32_t state) {
  switch (state) {
    case kDecodeOk: return kDecompOk;
    case kDecodeMetaDamaged: return kDecompMetaDamaged;
    case kDecodeAudioDamaged: return kDecompAudioDamaged;
    case kDecodeReadError: return kDecompReadError;
    case kDecodeIncompatible: return kDecompIncompatible;
    default: return kDecompUndecodable;
  }
}

}  // namespace

void TFileDecompResult::Reset() {
  Code = 0;
  Damage = TadcDecodeResult{};
  ErrorList.Clear();
  Reason.clear();
  platform::ClearFileFailure();
}

void TFileDecompResult::Raise(uint8_t code, std::string reason) {
  if (code <= Code) return;
  Code = code;
  if (code != kDecompReadError && code != kDecompWriteError) return;
  Reason = reason.empty() ? platform::LastFileFailure() : std::move(reason);
}

TFileDecompressor::TFileDecompressor(const TFileDecompOptions& options) : options_(options) {}

TFileDecompressor::~TFileDecompressor() { Finish(true); }

uint8_t TFileDecompressor::Decompress(const std::string& source, const std::string& destination,
                                      bool toStandardOutput) {
  Finish(true);
  result_.Reset();
  result_.Raise(kDecompOk);
  source_ = source;
  destination_ = destination;
  toStandardOutput_ = toStandardOutput;
  waveMetaRestored_ = headerWrittenFirst_ = false;
  sampleRate_ = 0;
  totalSamples_ = 0;
  state_ = TDecompJobState::Running;
  OpenSource();
  if (DecoderUsable()) {
    if (options_.RestoreWaveMeta) RestoreWaveMeta();
    if (Succeeded() && options_.WriteOutput) CreateDestination();
  }
  if (Failed()) Finish(true);
  return result_.Code;
}

void TFileDecompressor::OnDecoderDamage(void* self, const TadcDamageInfo* damage) {
  if (damage == nullptr) return;
  TFileDecompErrorList& list = static_cast<TFileDecompressor*>(self)->result_.ErrorList;
  // Adding beyond the list's limit would raise inside the decoder; the decoder still counts
  // every gap in DamagedBlocks.
  if (list.Count() < list.Limit()) list.Add({damage->Position, damage->Samples});
}

// The job opens the file itself: the decoder's own file opening takes names of limited length
// only, and a path may be longer than a name.
void TFileDecompressor::OpenSource() {
  uint32_t flags = kDecodeSequential;
  if (!options_.MuteDamaged) flags |= kDecodeCutLost;
  sourceStream_ = std::make_unique<TadcFileStream>();
  if (sourceStream_->OpenFile(source_, kAccessRead, 0, kShareSource) != kIoNoError) {
    result_.Raise(kDecompReadError);
    return;
  }
  decoder_ = std::make_unique<TSeekableStreamDecoder>(
      *sourceStream_, TadcDecoderOptions{options_.ProcessorOptions, flags}, &OnDecoderDamage,
      this);
  TakeOverDecoderState();
  if (!DecoderUsable()) return;
  const TadcStreamInfo& info = decoder_->Reader().StreamInfo();
  frameSamples_ = info.FrameSamples;
  totalSamples_ = info.SampleCount;
  sampleRate_ = info.Format.SampleRate;
  format_ = info.Format;
  blockFrames_ = (kSampleBlockBytes / format_.BlockSize) & ~3;
  samples_ = std::make_unique<TAlignedMem>(
      size_t(blockFrames_) * size_t(format_.BlockSize) + kSampleBufferSlack, 64);
}

// A decoder that refused its arguments (a path it cannot take) never opened the file, yet its
// error level stays 0; it must not count as usable.
int32_t TFileDecompressor::DecoderState() const {
  if (decoder_->OpenResult() >= kDecodeInvalidArgument) return kDecodeReadError;
  return decoder_->Result().ErrorLevel;
}

void TFileDecompressor::TakeOverDecoderState() {
  result_.Damage = decoder_->Result();
  result_.Raise(CodeForDecoderState(DecoderState()));
}

bool TFileDecompressor::DecoderUsable() const {
  return decoder_ != nullptr && DecoderState() < kDecodeFatal;
}

void TFileDecompressor::RestoreWaveMeta() {
  TadcWaveMetaInfo info;
  switch (decoder_->ReadWaveMetaInfo(&info)) {
    case kDecodeOk: ReadWaveMeta(info); break;
    case kDecodeNoWaveMeta: result_.Raise(kDecompWaveMetaMissing); break;
    case kDecodeMetaDamaged: result_.Raise(kDecompMetaDamaged); break;
    default: break;
  }
  if (!DecoderUsable()) result_.Raise(kDecompReadError);
}

void TFileDecompressor::ReadWaveMeta(const TadcWaveMetaInfo& info) {
  const int64_t total = int64_t(info.HeaderBytes) + info.TrailerBytes;
  waveMeta_ = std::make_unique<TAlignedMem>(size_t(total));
  // A header that does not describe this stream would make a file that reads back otherwise.
  if (decoder_->ReadWaveMetaData(waveMeta_->Start(), int32_t(total)) != kDecodeOk ||
      !StoredWaveHeaderFits(waveMeta_->As<uint8_t>(), info.HeaderBytes, info.TrailerBytes, format_,
                            totalSamples_)) {
    waveMeta_.reset();
    result_.Raise(kDecompMetaDamaged);
    return;
  }
  headerBytes_ = info.HeaderBytes;
  trailerBytes_ = info.TrailerBytes;
  waveMetaRestored_ = true;
}

// A new file beside the destination, with the source's permissions, or standard output.
void TFileDecompressor::CreateDestination() {
  if (toStandardOutput_) {
    destinationStream_ = std::make_unique<TadcPipeWriteStream>(platform::StandardOutput());
  } else {
    destinationStream_ = CreateTemporaryStream(
        output_, destination_, platform::CopyPermissions(source_), kDestinationBufferBytes);
  }
  if (!destinationStream_ || !OpenWriter()) result_.Raise(kDecompWriteError);
}

// Without restored metadata the writer builds a standard header of its own, over a placeholder
// once the samples are written; an output that cannot go back gets it in advance, for the
// stream's length.
bool TFileDecompressor::OpenWriter() {
  writer_ = std::make_unique<TWaveWriter>();
  if (waveMetaRestored_) {
    headerWrittenFirst_ = true;
    return writer_->Open(format_, destinationStream_.get(), headerBytes_, waveMeta_->Start());
  }
  if (!toStandardOutput_) return writer_->Open(format_, destinationStream_.get(), 0, nullptr);
  uint8_t header[kWaveHeaderBytes];
  headerWrittenFirst_ = true;
  return BuildWaveHeader(format_, totalSamples_ * format_.BlockSize, header) &&
         writer_->Open(format_, destinationStream_.get(), kWaveHeaderBytes, header);
}

TDecompJobState TFileDecompressor::DecodeStep(int64_t& position) {
  if (state_ != TDecompJobState::Running) return state_;
  int32_t remaining = frameSamples_;
  while (remaining > 0) {
    int32_t delivered = 0;
    if (decoder_->DecodeSamples(samples_->Start(), std::min(remaining, blockFrames_), &delivered) !=
        kDecodeOk) {
      TakeOverDecoderState();
      if (Failed()) {
        Finish(true);
        break;
      }
    }
    position = decoder_->SamplePosition();
    if (delivered == 0) {  // end of the stream
      Finish(false);
      break;
    }
    if (!WriteDelivered(delivered)) {
      result_.Raise(kDecompWriteError);
      Finish(true);
      break;
    }
    remaining -= delivered;
  }
  return state_;
}

bool TFileDecompressor::WriteDelivered(int32_t frames) {
  return !options_.WriteOutput || writer_->WriteSamples(samples_->Start(), frames);
}

uint8_t TFileDecompressor::Finish(bool abort) {
  if (state_ != TDecompJobState::Running) return result_.Code;
  if (options_.WriteOutput) CloseDestination(abort);
  CloseSource();
  // Cut-out audio no longer matches the sizes in a header written first.
  if (result_.Code == kDecompAudioDamaged && headerWrittenFirst_ &&
      result_.Damage.WrittenSamples != result_.Damage.HeaderSamples) {
    result_.Raise(kDecompUndecodable);
  }
  state_ = Succeeded() && !abort ? TDecompJobState::Succeeded : TDecompJobState::Failed;
  return result_.Code;
}

void TFileDecompressor::CloseDestination(bool abort) {
  if (writer_) {
    const bool withTrailer = waveMetaRestored_ && !abort && trailerBytes_ > 0;
    const bool closed =
        withTrailer ? writer_->Close(true, waveMeta_->As<uint8_t>() + headerBytes_, trailerBytes_)
                    : writer_->Close(!abort, nullptr, 0);
    if (!closed && !abort) result_.Raise(kDecompWriteError);
    writer_.reset();
  }
  if (destinationStream_) {
    if (destinationStream_->Close(!abort) != kIoNoError && !abort) result_.Raise(kDecompWriteError);
    destinationStream_.reset();
  }
}

void TFileDecompressor::CloseSource() {
  if (decoder_) {
    TakeOverDecoderState();
    decoder_.reset();
  }
  sourceStream_.reset();
  waveMeta_.reset();
  samples_.reset();
}

bool TFileDecompressor::KeepOutput(bool replace) {
  if (toStandardOutput_) return true;  // already out
  std::string reason;
  const uint8_t failure = CommitOutput(output_, replace, kDecompOutputCodes, reason);
  if (failure == 0) {
    if (options_.KeepTime && !KeepSourceTime(source_, destination_, reason)) {
      result_.Raise(kDecompWriteError, reason);
    }
    return true;
  }
  result_.Raise(failure, reason);
  output_.Discard();
  return false;
}

uint8_t TFileDecompressor::CodeWithoutWaveMeta() const {
  // Finish makes cut-out audio beneath a restored header undecodable; the decoder alone saw damage.
  // Standard output gets a header first in any case.
  const uint8_t decoderCode = CodeForDecoderState(result_.Damage.ErrorLevel);
  if (result_.Code == kDecompUndecodable && waveMetaRestored_ && !toStandardOutput_ &&
      decoderCode == kDecompAudioDamaged)
    return kDecompAudioDamaged;
  // Metadata damage that the stream did not show when it was opened was found in the stored
  // header, which only restoring reads.
  constexpr int32_t kDamageSeenAtOpen = kDamageIdentifier | kDamageStreamInfo | kDamageMetaData;
  if (result_.Code == kDecompMetaDamaged && options_.RestoreWaveMeta &&
      (result_.Damage.DamageFlags & kDamageSeenAtOpen) == 0) {
    return kDecompOk;
  }
  return result_.Code;
}

double TFileDecompressor::AudioDuration() const {
  if (sampleRate_ < 1) return 0;
  return double(result_.Damage.HeaderSamples) / double(sampleRate_);
}

}  // namespace lym

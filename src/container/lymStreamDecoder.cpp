#include "container/lymStreamDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "codec/Pcm.h"
#include "container/Crc24.h"
#include "foundation/CpuUtil.h"

namespace lym {

namespace {

// Bytes that hold the largest frame of a stream with its header and CRC.
int32_t FrameBytesCapacity(int32_t bits, int32_t frameLength, int32_t channels) {
  const int64_t bytes =
      std::llround(double(bits + 2) * double(frameLength) * double(channels) / 8.0) + 191;
  return int32_t(bytes & ~int64_t(63));
}

}  // namespace

TSeekableStreamDecoder::TSeekableStreamDecoder(const char* fileName,
                                               const TadcDecoderOptions& options,
                                               TadcDamageCallback OnDamage, void* userData)
    : onDamage_(OnDamage), userData_(userData) {
  Create(options);
  if (openResult_ != kDecodeOk) return;
  if (fileName == nullptr || fileName[0] == '\0' ||
      strnlen(fileName, kMaxDecodeFileNameLength + 1) > kMaxDecodeFileNameLength) {
    openResult_ = kDecodeInvalidArgument;
    return;
  }
  file_ = std::make_unique<TadcFileStream>();
  const int32_t bufferSize = (flags_ & kDecodeBuffered) != 0 ? kDecodeFileBufferBytes : 0;
  if (file_->OpenFile(fileName, kAccessRead, bufferSize, kShareRead) != 0) {
    callResult_ = 0;
    Raise(kDecodeReadError);
    openResult_ = callResult_;
    return;
  }
  OpenStream(*file_);
}

TSeekableStreamDecoder::TSeekableStreamDecoder(TadcIoStream& stream,
                                               const TadcDecoderOptions& options,
                                               TadcDamageCallback OnDamage, void* userData)
    : onDamage_(OnDamage), userData_(userData) {
  Create(options);
  if (openResult_ == kDecodeOk) OpenStream(stream);
}

TSeekableStreamDecoder::~TSeekableStreamDecoder() {
  reader_.Close();
  if (file_) file_->Close(false);
}

void TSeekableStreamDecoder::Create(const TadcDecoderOptions& options) {
  flags_ = options.DecoderFlags;
  processorOptions_ = options.ProcessorOptions;
  if ((flags_ & kDecodeCutLost) != 0 && (flags_ & kDecodeSequential) == 0) {
    openResult_ = kDecodeInvalidArgument;
    return;
  }
  if (SupportedKernelLevel() == TKernelLevel::Portable) processorOptions_ &= ~kCpuFlagVector;
}

void TSeekableStreamDecoder::Raise(int32_t code) {
  callResult_ = std::max(callResult_, code);
  // Codes of invalid calls describe the call, not the stream: they never stop decoding.
  if (code >= 2 && code < kDecodeInvalidArgument)
    result_.ErrorLevel = std::max(result_.ErrorLevel, code);
}

void TSeekableStreamDecoder::OpenStream(TadcIoStream& stream) {
  callResult_ = 0;
  if (!reader_.Open(stream)) {
    result_.DamageFlags = reader_.DamageFlags();
    switch (reader_.Status()) {
      case kStreamUnsupported: Raise(kDecodeIncompatible); break;
      case kStreamUndecodable: Raise(kDecodeUndecodable); break;
      default: Raise(kDecodeReadError); break;
    }
    openResult_ = callResult_;
    return;
  }
  result_.DamageFlags = reader_.DamageFlags();
  if ((result_.DamageFlags & (kDamageIdentifier | kDamageStreamInfo | kDamageMetaData)) != 0)
    Raise(kDecodeMetaDamaged);
  const TadcStreamInfo& info = reader_.StreamInfo();
  frameLength_ = info.FrameSamples;
  channels_ = info.Format.Channels;
  bits_ = info.Format.BitsPerSample;
  sampleRate_ = info.Format.SampleRate;
  blockSize_ = PcmBlockSize(bits_, channels_);
  frameCount_ = reader_.FrameCount();
  result_.HeaderSamples = info.SampleCount;
  if (info.Codec != 0 || frameLength_ < 1 || frameLength_ > kMaxFrameLength || channels_ < 1 ||
      channels_ > 2 || (bits_ != 8 && bits_ != 16 && bits_ != 24) || sampleRate_ <= 0 ||
      info.SampleCount < 0 || frameCount_ != FrameCount(info.SampleCount, frameLength_)) {
    Raise(kDecodeIncompatible);
    openResult_ = callResult_;
    return;
  }
  capacity_ = FrameBytesCapacity(bits_, frameLength_, channels_);
  // Twice the frame capacity: a frame starting anywhere in the first half is wholly inside, and
  // refills move at most half the window, so scanning stays linear in the stream's length.
  window_ = std::make_unique<TAntiAliasArray<uint8_t>>(size_t(2 * capacity_));
  decoder_ = std::make_unique<TFrameDecoder>(processorOptions_, frameLength_, bits_, sampleRate_);
  channel0_ = std::make_unique<TAntiAliasArray<int32_t>>(size_t(frameLength_) + 16);
  channel1_ = std::make_unique<TAntiAliasArray<int32_t>>(size_t(frameLength_) + 16);
  ResetWindow();
  ResetPosition();
  open_ = true;
  openResult_ = callResult_;
}

void TSeekableStreamDecoder::ResetWindow() {
  index_ = 0;
  fill_ = 0;
  dataEnd_ = false;
}

void TSeekableStreamDecoder::ResetPosition() {
  pending_ = 0;
  frameIndex_ = 0;
  frameAvailable_ = 0;
  position_ = 0;
  lastFrameNumber_ = -1;
  end_ = false;
  bitRate_ = int32_t(std::min<int64_t>(int64_t(sampleRate_) * channels_ * bits_, INT32_MAX));
}

bool TSeekableStreamDecoder::Refill() {
  uint8_t* window = window_->Data();
  if (index_ > 0) {
    std::memmove(window, window + index_, size_t(fill_ - index_));
    fill_ -= index_;
    index_ = 0;
  }
  const int32_t size = 2 * capacity_;
  if (dataEnd_ || fill_ >= size) return true;
  int32_t count = size - fill_;
  if (!reader_.ReadData(window + fill_, count)) {
    Raise(kDecodeReadError);
    return false;
  }
  if (count <= 0) dataEnd_ = true;
  fill_ += std::max(count, 0);
  return true;
}

bool TSeekableStreamDecoder::FindSync(int32_t& at) {
  for (;;) {
    const uint8_t* window = window_->Data();
    for (int32_t i = index_; i + 1 < fill_; ++i) {
      if (window[i] == 0xFF && window[i + 1] == 0xA0) {
        at = i;
        return true;
      }
    }
    // Only the last byte may still start a sync.
    index_ = std::max(index_, fill_ - 1);
    if (dataEnd_) return false;
    if (!Refill()) return false;
  }
}

bool TSeekableStreamDecoder::AcceptHeader(const TadcFrameHeader& header, int32_t minimum,
                                          int32_t& samples) const {
  const int64_t number = header.FrameNumber;
  if (number < minimum || number >= frameCount_) return false;
  const bool last = number == frameCount_ - 1;
  if (header.IsLast != last) return false;
  samples = frameLength_;
  if (last) {
    const auto rest = int32_t(result_.HeaderSamples % frameLength_);
    const int32_t expected = rest == 0 ? frameLength_ : rest;
    if (header.LastFrameSamples != expected) return false;
    samples = expected;
  }
  return true;
}

bool TSeekableStreamDecoder::FindFrame(int32_t minimum) {
  for (;;) {
    if (Fatal()) return false;
    int32_t at = 0;
    if (!FindSync(at)) return false;
    index_ = at;
    if (fill_ - index_ < kMaxFrameHeaderBytes && !dataEnd_ && !Refill()) return false;
    TBitInStream bits;
    bits.InitReader(window_->Data() + index_, std::min(fill_ - index_, kMaxFrameHeaderBytes));
    TadcFrameHeader header;
    int32_t samples = 0;
    if (!ReadFrameHeader(bits, header) || !AcceptHeader(header, minimum, samples)) {
      ++index_;
      continue;
    }
    const int32_t headerBytes = bits.BytesRead();
    if (fill_ - index_ < capacity_ && !dataEnd_ && !Refill()) return false;
    const uint8_t* payload = window_->Data() + index_ + headerBytes;
    const int32_t available = fill_ - index_ - headerBytes;
    int32_t used = available;
    const bool decoded =
        channels_ == 1
            ? decoder_->DecodeMono(payload, used, samples, channel0_->Data())
            : decoder_->DecodeStereo(payload, used, samples, channel1_->Data(), channel0_->Data());
    if (!decoded || used < 0 || available - used < kCrc24Bytes ||
        !Crc24Matches(LoadCrc24(payload + used), Crc24(payload, size_t(used)))) {
      ++index_;
      continue;
    }
    index_ += headerBytes + used + kCrc24Bytes;
    bitRate_ = int32_t(std::min<int64_t>(
        std::llround(double(sampleRate_) / samples * (double(used) + 22.0) * 8.0), INT32_MAX));
    frameAvailable_ = samples;
    frameIndex_ = 0;
    lastFrameNumber_ = header.FrameNumber;
    return true;
  }
}

void TSeekableStreamDecoder::ReportGap(int64_t lost) {
  const TadcDamageInfo damage{position_, lost};
  if (onDamage_ != nullptr) onDamage_(userData_, &damage);
  ++result_.DamagedBlocks;
  Raise(kDecodeAudioDamaged);
  if ((flags_ & kDecodeCutLost) != 0) {
    position_ += lost;
  } else {
    pending_ += lost;
  }
}

int32_t TSeekableStreamDecoder::DecodeSamples(void* buffer, int32_t count, int32_t* delivered) {
  callResult_ = 0;
  if (delivered != nullptr) *delivered = 0;
  if (buffer == nullptr || delivered == nullptr || count < 0) return kDecodeInvalidArgument;
  if (!open_) return openResult_;
  if (Fatal()) return result_.ErrorLevel;
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count && !Fatal()) {
    if (pending_ > 0) {
      const auto n = int32_t(std::min<int64_t>(pending_, count - done));
      FillSilence(bits_, channels_, n, out + int64_t(done) * blockSize_);
      pending_ -= n;
      result_.MutedSamples += n;
      position_ += n;
      done += n;
      continue;
    }
    if (frameIndex_ < frameAvailable_) {
      const int32_t n = std::min(frameAvailable_ - frameIndex_, count - done);
      WritePcm(bits_, channels_, channel0_->Data() + frameIndex_, channel1_->Data() + frameIndex_,
               out + int64_t(done) * blockSize_, n);
      frameIndex_ += n;
      position_ += n;
      done += n;
      continue;
    }
    if (lastFrameNumber_ >= frameCount_ - 1) end_ = true;
    if (end_) break;
    const int32_t previous = lastFrameNumber_;
    if (FindFrame(previous + 1)) {
      const int64_t lost = int64_t(lastFrameNumber_ - previous - 1) * frameLength_;
      // The frame's samples come after the gap.
      if (lost > 0) ReportGap(lost);
    } else if (!Fatal()) {
      const int64_t lost = result_.HeaderSamples - position_;
      if (lost > 0) ReportGap(lost);
      end_ = true;
    }
  }
  result_.WrittenSamples += done;
  *delivered = done;
  return callResult_;
}

int32_t TSeekableStreamDecoder::ReadWaveMetaInfo(TadcWaveMetaInfo* info) {
  callResult_ = 0;
  if (info == nullptr) return kDecodeInvalidArgument;
  if (!open_) return openResult_;
  if (Fatal()) return result_.ErrorLevel;
  if ((reader_.MetaData().FoundFlags() & kMetaFoundWaveMeta) == 0) {
    if ((result_.DamageFlags & kDamageMetaData) != 0) {
      Raise(kDecodeMetaDamaged);
      return callResult_;
    }
    return kDecodeNoWaveMeta;
  }
  if (!reader_.ReadWaveMetaInfo(*info))
    Raise(reader_.Status() != kStreamOpen ? kDecodeReadError : kDecodeMetaDamaged);
  return callResult_;
}

int32_t TSeekableStreamDecoder::ReadWaveMetaData(void* buffer, int32_t bufferSize) {
  if (buffer == nullptr || bufferSize < 0) return kDecodeInvalidArgument;
  TadcWaveMetaInfo info;
  const int32_t sizes = ReadWaveMetaInfo(&info);
  if (sizes != kDecodeOk) return sizes;
  if (int64_t(bufferSize) < int64_t(info.HeaderBytes) + info.TrailerBytes)
    return kDecodeBufferTooSmall;
  if (!reader_.ReadWaveMetaData(buffer, bufferSize))
    Raise(reader_.Status() != kStreamOpen ? kDecodeReadError : kDecodeMetaDamaged);
  return callResult_;
}

TlymAPEv2Tag* TSeekableStreamDecoder::GetApeTag() { return open_ ? reader_.GetApeTag() : nullptr; }

int32_t TSeekableStreamDecoder::SeekSample(int64_t position) {
  callResult_ = 0;
  if (!open_) return openResult_;
  if (Fatal()) return result_.ErrorLevel;
  if ((flags_ & kDecodeSequential) != 0) return kDecodeNotAllowed;
  if (position < 0 || position >= result_.HeaderSamples) return kDecodeInvalidArgument;
  const auto target = int32_t(position / frameLength_);
  const auto rest = int32_t(position % frameLength_);

  int32_t seekFrame = 0;
  int64_t offset = 0;
  if (!reader_.FindSeekPoint(target, seekFrame, offset) || seekFrame < 0 ||
      seekFrame > target) {
    if (reader_.Status() == kStreamIoError) {
      Raise(kDecodeReadError);
      return callResult_;
    }
    // No usable seek table: search forward from the first frame.
    seekFrame = 0;
    offset = reader_.FirstFramePosition() - reader_.StartPosition();
  }
  if (!reader_.SeekRelative(offset)) {
    Raise(kDecodeReadError);
    return callResult_;
  }
  ResetWindow();
  ResetPosition();
  position_ = position;
  lastFrameNumber_ = seekFrame - 1;
  result_.WrittenSamples = 0;
  result_.MutedSamples = 0;
  result_.DamagedBlocks = 0;

  // Frames lost at the target are damage like any other: reported and muted up to the next frame
  // (or the end), so that the decoder goes on.
  if (!FindFrame(target)) {
    if (!Fatal()) {
      ReportGap(result_.HeaderSamples - position_);
      end_ = true;
    }
    return callResult_;
  }
  if (lastFrameNumber_ > target) {
    ReportGap(int64_t(lastFrameNumber_ - target) * frameLength_ - rest);
  } else if (rest > frameAvailable_) {
    Raise(kDecodeUndecodable);
  } else {
    frameIndex_ = rest;
  }
  return callResult_;
}

}  // namespace lym

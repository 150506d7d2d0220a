#include "container/lymStreamEncoder.h"

#include <algorithm>
#include <cstring>

#include "codec/Pcm.h"
#include "foundation/CpuUtil.h"
#include "foundation/zqExceptions.h"
#include "lym/Version.h"

namespace lym {
namespace {

// Two decoded-channel buffers of one frame each, plus slack.
constexpr size_t kDecodedBlockBytes = 0x20004;

bool SupportedFormat(const TadcAudioFormat& format) {
  return format.DataType == 0 &&
         (format.BitsPerSample == 8 || format.BitsPerSample == 16 ||
          format.BitsPerSample == 24) &&
         format.SampleRate >= kMinEncodeRate && format.SampleRate <= kMaxEncodeRate &&
         ValidateAudioFormat(format);
}

bool Answers(int32_t (*entry)(void*), void* userData) {
  return entry != nullptr && entry(userData) != 0;
}

}  // namespace

TSeekableStreamEncoder::TSeekableStreamEncoder(const TadcAudioFormat* format,
                                               const TadcEncoderOptions* options,
                                               const char* fileName, int64_t totalSamples) {
  fileOutput_ = true;
  Initialise(format, options, totalSamples);
  if (ok_ && (fileName == nullptr || fileName[0] == '\0' ||
              strnlen(fileName, kMaxEncodeFileNameLength + 1) > kMaxEncodeFileNameLength)) {
    Raise(kEncodeInvalidArgument);
  }
  if (ok_) fileName_ = fileName;
  createResult_ = callResult_;
}

TSeekableStreamEncoder::TSeekableStreamEncoder(const TadcAudioFormat* format,
                                               const TadcEncoderOptions* options,
                                               const TadcStreamCallbacks* callbacks,
                                               void* userData, int64_t totalSamples) {
  Initialise(format, options, totalSamples);
  if (ok_) {
    if (callbacks == nullptr) {
      Raise(kEncodeInvalidArgument);
    } else {
      const TadcStreamCallbacks& c = *callbacks;
      if (c.CanRead == nullptr || c.CanWrite == nullptr || c.CanSeek == nullptr ||
          c.Write == nullptr || c.Flush == nullptr || c.Seek == nullptr ||
          c.GetLength == nullptr || !Answers(c.CanWrite, userData) ||
          !Answers(c.CanSeek, userData)) {
        Raise(kEncodeBadCallbacks);
      } else {
        callbacks_ = c;
        userData_ = userData;
      }
    }
  }
  createResult_ = callResult_;
}

TSeekableStreamEncoder::TSeekableStreamEncoder(const TadcAudioFormat* format,
                                               const TadcEncoderOptions* options,
                                               std::unique_ptr<TadcBufferedIoStream> output,
                                               int64_t totalSamples) {
  Initialise(format, options, totalSamples);
  if (ok_ && (output == nullptr || output->HasError() || !output->CanWrite() ||
              !output->CanSeek())) {
    Raise(kEncodeInvalidArgument);
  }
  if (ok_) givenOutput_ = std::move(output);
  createResult_ = callResult_;
}

TSeekableStreamEncoder::~TSeekableStreamEncoder() { Close(true); }

void TSeekableStreamEncoder::Raise(int32_t code) {
  callResult_ = std::max(callResult_, code);
  highest_ = std::max(highest_, code);
  if (highest_ >= kEncodeFatal) ok_ = false;
}

bool TSeekableStreamEncoder::BeginCall() {
  callResult_ = 0;
  if (ok_) return true;
  callResult_ = highest_;
  return false;
}

void TSeekableStreamEncoder::Initialise(const TadcAudioFormat* format,
                                        const TadcEncoderOptions* options, int64_t totalSamples) {
  callResult_ = 0;
  if (format == nullptr || options == nullptr || totalSamples < 1 || options->Preset < 0 ||
      options->Preset >= kPresetCount || options->Evaluation < 0 ||
      options->Evaluation >= kLevelCount) {
    Raise(kEncodeInvalidArgument);
    return;
  }
  format_ = *format;
  total_ = totalSamples;
  processorOptions_ = options->ProcessorOptions;
  flags_ = options->Flags;
  // A format the frame length cannot even be derived for is refused before deriving it.
  if (!SupportedFormat(format_)) {
    Raise(kEncodeUnsupportedFormat);
    return;
  }
  format_.BlockSize = BlockSizeOf(format_);
  settings_ = PresetSettings(options->Preset, options->Evaluation);
  if (!Derive()) return;
  encoderInfo_.EncoderVersion = kLymVersion;
  encoderInfo_.Preset = options->Preset;
  encoderInfo_.Evaluation = options->Evaluation;
  if (SupportedKernelLevel() == TKernelLevel::Portable) processorOptions_ &= ~kCpuFlagVector;

  channel0_ = std::make_unique<TAntiAliasArray<int32_t>>(size_t(kMaxFrameSamples));
  channel1_ = std::make_unique<TAntiAliasArray<int32_t>>(size_t(kMaxFrameSamples));
  decoded_ = std::make_unique<TAlignedMem>(kDecodedBlockBytes);
}

bool TSeekableStreamEncoder::Derive() {
  if (settings_.FrameSizeCode < 0 || settings_.FrameSizeCode > kMaxFrameSizeCode) {
    Raise(kEncodeInvalidArgument);
    return false;
  }
  TEncoderSettings settings = settings_;
  TFrameEncoderOptions frameOptions;
  try {
    frameOptions = MakeFrameEncoderOptions(settings, format_.SampleRate);
  } catch (const EzqException&) {
    Raise(kEncodeInvalidArgument);
    return false;
  }
  int32_t code = settings.FrameSizeCode;
  int32_t length = 0;
  CalcFrameSamples(format_.SampleRate, code, length);
  if (length < 1 || length > kMaxFrameSamples) {
    Raise(kEncodeUnsupportedFormat);
    return false;
  }
  settings.FrameSizeCode = code;
  settings_ = settings;
  frameOptions_ = frameOptions;
  frameLength_ = length;
  totalFrames_ = FrameCount(total_, frameLength_);
  streamInfo_.Codec = 0;
  streamInfo_.Profile = ClassifyPreset(settings_);
  streamInfo_.FrameSizeCode = settings_.FrameSizeCode;
  streamInfo_.FrameSamples = frameLength_;
  streamInfo_.SampleCount = total_;
  streamInfo_.Format = format_;
  // Frame numbers have 21 bits and sample counts 31 bits: longer streams cannot be written.
  if (total_ > kMaxSampleCount || totalFrames_ > kMaxStreamFrames) {
    Raise(kEncodeUnsupportedFormat);
    return false;
  }
  return true;
}

int32_t TSeekableStreamEncoder::SetParameters(const TEncoderSettings& settings) {
  if (!BeginCall()) return callResult_;
  if (state_ != kEncoderCreated) {
    Raise(kEncodeNotAllowed);
    return callResult_;
  }
  const TEncoderSettings previous = settings_;
  settings_ = settings;
  if (!Derive()) {
    settings_ = previous;
    return callResult_;
  }
  encoderInfo_.Preset = ClassifyPreset(settings_);
  encoderInfo_.Evaluation = ClassifyLevel(settings_);
  return callResult_;
}

int32_t TSeekableStreamEncoder::GetFrameSamples() const { return ok_ ? frameLength_ : -1; }

bool TSeekableStreamEncoder::OpenOutput() {
  const int32_t bufferSize = (flags_ & kEncodeBuffered) != 0 ? kEncodeOutputBufferBytes : 0;
  if (givenOutput_) {
    output_ = std::move(givenOutput_);
  } else if (fileOutput_) {
    auto file = std::make_unique<TadcFileStream>();
    if (file->CreateNewFile(fileName_, kAccessWrite, bufferSize, kShareNone) != 0) {
      Raise(kEncodeWriteError);
      return false;
    }
    createdOutput_ = true;
    output_ = std::move(file);
  } else {
    auto stream = std::make_unique<TadcInterfaceStream>();
    if (stream->OpenInterface(callbacks_, userData_, bufferSize) != 0) {
      stream->Close(false);
      Raise(kEncodeWriteError);
      return false;
    }
    output_ = std::move(stream);
  }
  state_ = kEncoderOutputOpen;
  const int32_t seekInterval = format_.SampleRate / frameLength_;
  writer_ = std::make_unique<TAdcWriter>();
  if (!writer_->Open(streamInfo_, frameLength_, seekInterval, *output_, totalFrames_) ||
      !writer_->WriteEncoderInfo(encoderInfo_)) {
    Raise(kEncodeWriteError);
    return false;
  }
  return true;
}

bool TSeekableStreamEncoder::StartEncoding() {
  encoder_ = std::make_unique<TFrameEncoder>(format_.SampleRate, format_.BitsPerSample,
                                             processorOptions_, frameOptions_,
                                             settings_.Predictors);
  if (settings_.Verify) {
    decoder_ = std::make_unique<TFrameDecoder>(processorOptions_, frameLength_,
                                               format_.BitsPerSample, format_.SampleRate);
  }
  state_ = kEncoderEncoding;
  return true;
}

int32_t TSeekableStreamEncoder::WriteWaveMetaData(const TadcWaveMetaInfo* info,
                                                  const void* bytes) {
  if (!BeginCall()) return callResult_;
  if (info == nullptr || bytes == nullptr || info->HeaderBytes < 0 || info->TrailerBytes < 0) {
    Raise(kEncodeInvalidArgument);
    return callResult_;
  }
  if (state_ >= kEncoderEncoding) {
    Raise(kEncodeNotAllowed);
    return callResult_;
  }
  if (state_ == kEncoderCreated && !OpenOutput()) return callResult_;
  const int64_t size = int64_t(info->HeaderBytes) + info->TrailerBytes;
  if (size > kMaxWaveMetaBytes) {
    Raise(kEncodeWaveMetaTooLarge);
    return callResult_;
  }
  if (!writer_->WriteWaveMetaData(*info, bytes)) {
    Raise(kEncodeWriteError);
    return callResult_;
  }
  sourceBytes_ += size;
  return callResult_;
}

int32_t TSeekableStreamEncoder::EncodeSamples(const void* samples, int32_t count) {
  if (!BeginCall()) return callResult_;
  if (samples == nullptr || count < 0) {
    Raise(kEncodeInvalidArgument);
    return callResult_;
  }
  if (state_ == kEncoderClosed) {
    Raise(kEncodeNotAllowed);
    return callResult_;
  }
  if (state_ == kEncoderCreated && !OpenOutput()) return callResult_;
  if (state_ == kEncoderOutputOpen && !StartEncoding()) return callResult_;
  if (given_ + count > total_) {
    Raise(kEncodeTooManySamples);
    return callResult_;
  }
  const uint8_t* source = static_cast<const uint8_t*>(samples);
  int32_t remaining = count;
  while (remaining > 0 && ok_) {
    const int32_t take = std::min(remaining, frameLength_ - buffered_);
    ReadPcm(format_.BitsPerSample, format_.Channels, source, take, channel0_->Data() + buffered_,
            channel1_->Data() + buffered_);
    buffered_ += take;
    given_ += take;
    remaining -= take;
    source += int64_t(take) * format_.BlockSize;
    if (buffered_ == frameLength_) EncodeFrame();
  }
  return callResult_;
}

void TSeekableStreamEncoder::EncodeFrame() {
  const bool isLast = given_ == total_;
  const int32_t n = buffered_;
  int32_t consumed = n;
  int32_t byteCount = 0;
  const uint8_t* payload = nullptr;
  if (format_.Channels == 1) {
    encoder_->EncodeMono(channel0_->Data(), consumed, byteCount, payload);
  } else {
    encoder_->EncodeStereo(channel0_->Data(), channel1_->Data(), byteCount, payload, consumed);
  }
  LYM_ASSERT(consumed == n, "Internal error in encoder");
  if (!writer_->WriteFrame(payload, byteCount, isLast, n)) {
    Raise(kEncodeWriteError);
    return;
  }
  if (decoder_) Verify(payload, byteCount, n);
  if (ok_) {
    ++framesEncoded_;
    sourceBytes_ += int64_t(n) * format_.BlockSize;
  }
  buffered_ = 0;
}

void TSeekableStreamEncoder::Verify(const uint8_t* payload, int32_t byteCount, int32_t n) {
  int32_t* decoded0 = decoded_->As<int32_t>();
  int32_t* decoded1 = decoded0 + kMaxFrameSamples;
  int32_t used = byteCount;
  const bool decodedOk = format_.Channels == 1
                             ? decoder_->DecodeMono(payload, used, n, decoded0)
                             : decoder_->DecodeStereo(payload, used, n, decoded1, decoded0);
  if (!decodedOk) {
    verifyFailure_ = TVerifyFailure{};
    verifyFailure_.Frame = framesEncoded_;
    Raise(kEncodeVerifyFailed);
    return;
  }
  for (int32_t channel = 0; channel < format_.Channels; ++channel) {
    const int32_t* input = channel == 0 ? channel0_->Data() : channel1_->Data();
    const int32_t* output = channel == 0 ? decoded0 : decoded1;
    for (int32_t i = 0; i < n; ++i) {
      if (input[i] != output[i]) {
        verifyFailure_ = TVerifyFailure{channel, framesEncoded_, i, input[i], output[i]};
        Raise(kEncodeVerifyFailed);
        return;
      }
    }
  }
}

int32_t TSeekableStreamEncoder::Close(bool abandon) {
  callResult_ = 0;
  if (state_ == kEncoderClosed) return 0;
  const bool wasOk = ok_;
  if (ok_ && !abandon) {
    if (state_ != kEncoderEncoding) {
      Raise(kEncodeNotAllowed);
    } else if (given_ < total_) {
      Raise(kEncodeTooFewSamples);
    } else {
      if (buffered_ > 0) EncodeFrame();
      if (ok_ && !writer_->Close(true)) Raise(kEncodeWriteError);
    }
  }
  const bool update = !abandon && ok_;
  if (writer_ && writer_->Status() != kStreamWriterClosed) writer_->Close(update);
  if (output_) {
    outputSize_ = output_->GetLength();
    bool closed = true;
    if (update && !output_->Flush()) closed = false;
    if (output_->Close(update) != kIoNoError) closed = false;
    if (!closed && !abandon) Raise(kEncodeWriteError);
  }
  writer_.reset();
  decoder_.reset();
  encoder_.reset();
  state_ = kEncoderClosed;
  if (wasOk && abandon) {
    Raise(kEncodeAbandoned);
    return 0;
  }
  if (!wasOk) callResult_ = std::max(callResult_, highest_);
  return callResult_;
}

int64_t TSeekableStreamEncoder::GetOutputSize() {
  if (output_ && state_ != kEncoderClosed && !output_->IsClosed()) {
    outputSize_ = output_->GetLength();
  }
  return outputSize_;
}

}  // namespace lym

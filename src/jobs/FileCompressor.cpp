#include "jobs/FileCompressor.h"

#include <algorithm>
#include <vector>

#include "foundation/CpuUtil.h"
#include "io/TemporaryStream.h"
#include "jobs/BatchCommon.h"
#include "jobs/NewFileTag.h"
#include "jobs/StandardStreams.h"

namespace lym {
namespace {

constexpr size_t kSampleBufferAlignment = 64;
constexpr int32_t kSourceBufferBytes = 32768;

TCountingSink& SinkOf(void* user) { return *static_cast<TCountingSink*>(user); }

int32_t Yes(void*) { return 1; }
int32_t No(void*) { return 0; }

int32_t CountWrite(void* user, const void*, int32_t count) {
  if (count < 0) return 0;
  TCountingSink& sink = SinkOf(user);
  sink.Position += count;
  sink.Size = std::max(sink.Size, sink.Position);
  return 1;
}

int32_t CountSeek(void* user, int64_t position) {
  TCountingSink& sink = SinkOf(user);
  if (position < 0 || position > sink.Size) return 0;
  sink.Position = position;
  return 1;
}

int32_t CountLength(void* user, int64_t* length) {
  *length = SinkOf(user).Size;
  return 1;
}

uint8_t CodeOfReaderState(uint8_t readerState) {
  switch (readerState) {
    case kReaderOpen: return kCompressOk;
    case kReaderUnsupportedFormat: return kCompressAudioFormat;
    case kReaderIoError: return kCompressReadError;
    default: return kCompressWaveFile;
  }
}

// Invalid arguments and misuse count as a failed output too: the batch has no other code for them.
uint8_t CodeOfEncoderError(int32_t encoderError) {
  switch (encoderError) {
    case kEncodeOk: return kCompressOk;
    case kEncodeWaveMetaTooLarge: return kCompressMetaTooBig;
    case kEncodeUnsupportedFormat: return kCompressAudioFormat;
    case kEncodeVerifyFailed: return kCompressVerifyFailed;
    default: return kCompressWriteError;
  }
}

}  // namespace

const TadcStreamCallbacks& CountingSinkCallbacks() {
  static const TadcStreamCallbacks callbacks{No,  Yes,     Yes,       nullptr,    CountWrite,
                                             Yes, nullptr, CountSeek, CountLength};
  return callbacks;
}

TFileCompressor::TFileCompressor(const TEncoderSettings& settings,
                                 const TEncoderDlgOutputOptions& outputOptions,
                                 const TCompressOptions& options)
    : settings_(settings),
      outputOptions_(outputOptions),
      options_(options),
      samples_(kCompSampleBufferBytes, kSampleBufferAlignment) {}

TFileCompressor::~TFileCompressor() { Finish(true); }

void TFileCompressor::Raise(uint8_t code, std::string reason) {
  if (code <= code_) return;
  code_ = code;
  if (code != kCompressReadError && code != kCompressWriteError) return;
  reason_ = reason.empty() ? platform::LastFileFailure() : std::move(reason);
}

uint8_t TFileCompressor::Compress(const std::string& source, const std::string& destination,
                                  bool toStandardOutput) {
  Finish(true);
  source_ = source;
  destination_ = destination;
  toStandardOutput_ = toStandardOutput;
  jobState_ = kCompJobRunning;
  code_ = kCompressOk;
  reason_.clear();
  platform::ClearFileFailure();
  sourceBytes_ = sampleCount_ = compressedBytes_ = 0;
  duration_ = 0;
  sink_ = TCountingSink{};

  OpenSource(source);
  if (Succeeded()) CreateEncoder(source);
  if (Succeeded() && outputOptions_.SaveWaveMeta) StoreWaveMeta();
  if (!Succeeded()) Finish(true);
  return code_;
}

void TFileCompressor::OpenSource(const std::string& source) {
  sourceAcceptances_ = sourceDeclaredDataSize_ = 0;
  sourceStream_ = std::make_unique<TadcFileStream>();
  if (sourceStream_->OpenFile(source, kAccessRead, kSourceBufferBytes, kShareSource) != 0) {
    Raise(kCompressReadError);
    return;
  }
  reader_ = std::make_unique<TWaveReader>();
  Raise(CodeOfReaderState(reader_->Open(sourceStream_.get())));
  if (!Succeeded()) return;
  sourceAcceptances_ = reader_->Acceptances();
  sourceDeclaredDataSize_ = reader_->DeclaredDataSize();
  sourceBytes_ = sourceStream_->GetLength();
  sampleCount_ = reader_->GetTotalSamples();
  // A stream holds at least one frame; a WAVE file without samples has nothing to hold.
  if (sampleCount_ < 1) {
    Raise(kCompressWaveFile);
    return;
  }
  duration_ = double(sampleCount_) / reader_->Format().SampleRate;
}

void TFileCompressor::CreateEncoder(const std::string& source) {
  TadcEncoderOptions encoderOptions;
  encoderOptions.ProcessorOptions = options_.UseMmx ? kCpuFlagVector : 0;
  encoderOptions.Flags = options_.NoOutput ? 0 : kEncodeBuffered;
  encoderOptions.Preset = kDefaultPreset;
  encoderOptions.Evaluation = kDefaultLevel;
  const TadcAudioFormat* format = &reader_->Format();
  if (options_.NoOutput) {
    encoder_ = std::make_unique<TSeekableStreamEncoder>(
        format, &encoderOptions, &CountingSinkCallbacks(), &sink_, sampleCount_);
  } else {
    const uint32_t permissions =
        toStandardOutput_ ? kScratchPermissions : platform::CopyPermissions(source);
    std::unique_ptr<TadcFileStream> output =
        CreateTemporaryStream(output_, destination_, permissions, kEncodeOutputBufferBytes);
    if (!output) {
      Raise(kCompressWriteError);
      return;
    }
    encoder_ = std::make_unique<TSeekableStreamEncoder>(format, &encoderOptions, std::move(output),
                                                        sampleCount_);
  }
  encoder_->SetParameters(settings_);
  if (encoder_->Ok()) {
    frameSamples_ = encoder_->GetFrameSamples();
  } else {
    Raise(CodeOfEncoderError(encoder_->HighestError()));
  }
}

void TFileCompressor::StoreWaveMeta() {
  const int64_t headerBytes = reader_->GetHeaderSize();
  const int64_t trailerBytes = reader_->GetTrailerSize();
  if (headerBytes + trailerBytes > kMaxWaveMetaBytes) {
    Raise(kCompressMetaTooBig);
    return;
  }
  std::vector<uint8_t> meta(size_t(headerBytes + trailerBytes));
  if (!reader_->ReadHeaderBytes(meta.data()) ||
      !reader_->ReadTrailerBytes(meta.data() + headerBytes)) {
    Raise(kCompressReadError);
    return;
  }
  const TadcWaveMetaInfo info{int32_t(headerBytes), int32_t(trailerBytes)};
  Raise(CodeOfEncoderError(encoder_->WriteWaveMetaData(&info, meta.data())));
}

int32_t TFileCompressor::EncodeStep(int64_t& position) {
  if (jobState_ != kCompJobRunning) return jobState_;
  const int32_t blockSize = reader_->Format().BlockSize;
  framesRead_ = std::min(frameSamples_, int32_t(kCompSampleBufferBytes / size_t(blockSize)));
  if (!reader_->ReadSamples(samples_.Start(), framesRead_) || framesRead_ == 0) {
    // A source that ends before its announced samples counts as unreadable too.
    Raise(kCompressReadError);
  } else {
    Raise(CodeOfEncoderError(encoder_->EncodeSamples(samples_.Start(), framesRead_)));
  }
  position = encoder_->SamplesGiven();
  if (!Succeeded()) {
    Finish(true);
  } else if (position == sampleCount_) {
    Finish(false);
  }
  return jobState_;
}

uint8_t TFileCompressor::Finish(bool abort) {
  if (jobState_ != kCompJobRunning) return code_;
  if (encoder_) {
    Raise(CodeOfEncoderError(encoder_->Close(abort)));
    if (Succeeded()) compressedBytes_ = options_.NoOutput ? sink_.Size : encoder_->GetOutputSize();
    encoder_.reset();
  }
  if (!abort && Succeeded() && !options_.NoOutput) AppendTag();
  CloseSource();
  SettleOutput(!abort && Succeeded());
  jobState_ = kCompJobFinished;
  return code_;
}

void TFileCompressor::AppendTag() {
  if (outputOptions_.TagItems.empty()) return;
  std::vector<uint8_t> tag;
  std::string fault;
  if (!BuildNewFileTag(outputOptions_.TagItems, tag, fault)) {
    Raise(kCompressWriteError, fault);
    return;
  }
  TadcFileStream file;
  const bool appended = file.OpenFile(output_.Name(), kAccessWrite, 0, kShareDelete) == 0 &&
                        file.Seek(kSeekFromEnd, 0) &&
                        file.WriteExact(tag.data(), int32_t(tag.size())) &&
                        file.Close(true) == kIoNoError;
  if (!appended) {
    Raise(kCompressWriteError, platform::LastFileFailure());
    return;
  }
  compressedBytes_ += int64_t(tag.size());
}

void TFileCompressor::CloseSource() {
  if (reader_) reader_->Close();
  reader_.reset();
  if (sourceStream_) sourceStream_->Close(false);
  sourceStream_.reset();
}

void TFileCompressor::SettleOutput(bool keep) {
  keep = keep && output_.Exists();
  if (keep && !toStandardOutput_) return PutInPlace();
  std::string reason;
  if (keep && !SendToStandardOutput(output_.Name(), reason)) Raise(kCompressWriteError, reason);
  output_.Discard();
}

void TFileCompressor::PutInPlace() {
  std::string reason;
  const uint8_t failure =
      CommitOutput(output_, outputOptions_.Overwrite, kCompressOutputCodes, reason);
  if (failure != 0) {
    Raise(failure, reason);
    output_.Discard();
  } else if (outputOptions_.KeepTime && !KeepSourceTime(source_, destination_, reason)) {
    Raise(kCompressWriteError, reason);
  }
}

}  // namespace lym

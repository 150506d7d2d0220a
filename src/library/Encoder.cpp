// lym_encoder: the stream encoder behind the C interface, writing a file (complete or absent), a
// caller's medium, or memory for a medium that cannot seek.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "codec/EncoderPresets.h"
#include "container/lymStreamEncoder.h"
#include "foundation/CpuUtil.h"
#include "io/MemoryStream.h"
#include "io/TemporaryStream.h"
#include "library/Calls.h"
#include "library/FileOutput.h"
#include "library/Medium.h"
#include "platform/TemporaryFile.h"

using lym::library::Guarded;
using lym::library::TLastError;

namespace {

// Sample frames packed per call of the stream encoder.
constexpr size_t kScratchFrames = 4096;

enum class TEncoderState { Encoding, Finished, Failed };

}  // namespace

struct lym_encoder {
  TLastError error;
  uint64_t total = 0;
  uint64_t written = 0;
  uint32_t channels = 0;
  uint32_t bits = 0;
  size_t frameBytes = 0;
  TEncoderState state = TEncoderState::Encoding;
  uint64_t outputBytes = 0;

  // The output: a temporary file put in place by lym_encoder_finish, the caller's medium, or memory
  // written to the caller's medium at the end.
  std::unique_ptr<lym::platform::TTemporaryFile> temporary;
  bool overwrite = false;
  lym::library::TCallerMedium medium;
  bool toMemory = false;
  lym::TMemoryMedium memory;

  std::unique_ptr<lym::TSeekableStreamEncoder> encoder;
  std::vector<uint8_t> scratch;  // packed PCM from lym_encoder_write_s32
};

namespace {

lym_status StatusOf(int32_t code) {
  switch (code) {
    case lym::kEncodeOk:
    case lym::kEncodeAbandoned: return LYM_OK;
    case lym::kEncodeUnsupportedFormat: return LYM_ERROR_UNSUPPORTED;
    case lym::kEncodeWriteError: return LYM_ERROR_IO;
    case lym::kEncodeVerifyFailed: return LYM_ERROR_VERIFY_FAILED;
    case lym::kEncodeNotAllowed: return LYM_ERROR_WRONG_STATE;
    case lym::kEncodeTooFewSamples:
    case lym::kEncodeTooManySamples: return LYM_ERROR_SAMPLE_COUNT;
    case lym::kEncodeWaveMetaTooLarge:
    case lym::kEncodeInvalidArgument:
    case lym::kEncodeBadCallbacks: return LYM_ERROR_INVALID_ARGUMENT;
    default: return LYM_ERROR_INTERNAL;
  }
}

std::string VerifyText(const lym::TVerifyFailure& failure) {
  if (failure.Channel < 0) return "frame " + std::to_string(failure.Frame) + " cannot be decoded";
  return "frame " + std::to_string(failure.Frame) + ", channel " +
         std::to_string(failure.Channel) + ", sample " + std::to_string(failure.Index) + ": " +
         std::to_string(failure.Decoded) + " instead of " + std::to_string(failure.Input);
}

// The stream encoder's answer as a status; a failure that ends encoding ends the handle too.
lym_status Report(lym_encoder& e, int32_t code) {
  const lym_status status = StatusOf(code);
  if (status == LYM_OK) return status;
  if (!e.encoder->Ok()) e.state = TEncoderState::Failed;
  if (status == LYM_ERROR_VERIFY_FAILED)
    return e.error.Set(status, VerifyText(e.encoder->VerifyFailure()));
  return e.error.Set(status);
}

const char* OptionsFault(const lym_encoder_options* o) {
  if (o == nullptr) return "no options";
  if (o->sample_rate < uint32_t(lym::kMinEncodeRate) ||
      o->sample_rate > uint32_t(lym::kMaxEncodeRate)) {
    return "sample rate";
  }
  if (o->channels < 1 || o->channels > 2) return "channels";
  if (o->bits_per_sample != 8 && o->bits_per_sample != 16 && o->bits_per_sample != 24)
    return "bits per sample";
  if (o->total_samples < 1 || o->total_samples > uint64_t(lym::kMaxSampleCount))
    return "total samples";
  if (o->preset < 0 || o->preset >= lym::kPresetCount) return "preset";
  if (o->evaluation < 0 || o->evaluation >= lym::kLevelCount) return "evaluation";
  if ((o->wave_header == nullptr && o->wave_header_bytes > 0) ||
      (o->wave_trailer == nullptr && o->wave_trailer_bytes > 0) ||
      uint64_t(o->wave_header_bytes) + o->wave_trailer_bytes > uint64_t(lym::kMaxWaveMetaBytes))
    return "stored WAVE header and trailer";
  return nullptr;
}

lym::TadcAudioFormat FormatOf(const lym_encoder_options& o) {
  lym::TadcAudioFormat format;
  format.SampleRate = int32_t(o.sample_rate);
  format.Channels = int32_t(o.channels);
  format.BitsPerSample = int32_t(o.bits_per_sample);
  format.BlockSize = lym::BlockSizeOf(format);
  return format;
}

lym::TadcEncoderOptions EncoderOptionsOf(const lym_encoder_options& o) {
  lym::TadcEncoderOptions options;
  options.ProcessorOptions = o.no_vector_kernels != 0 ? 0 : lym::kCpuFlagVector;
  options.Preset = o.preset;
  options.Evaluation = o.evaluation;
  return options;
}

std::unique_ptr<lym_encoder> NewEncoder(const lym_encoder_options& o) {
  auto e = std::make_unique<lym_encoder>();
  e->total = o.total_samples;
  e->channels = o.channels;
  e->bits = o.bits_per_sample;
  e->frameBytes = size_t(o.bits_per_sample + 7) / 8 * o.channels;
  e->overwrite = o.overwrite != 0;
  return e;
}

// Settles the new stream encoder's settings and stores the WAVE header and trailer.
lym_status Prepare(lym_encoder& e, const lym_encoder_options& o) {
  lym_status status = StatusOf(e.encoder->CreateResult());
  if (status != LYM_OK) return status;
  lym::TEncoderSettings settings = lym::PresetSettings(o.preset, o.evaluation);
  settings.Verify = o.verify != 0;
  if ((status = StatusOf(e.encoder->SetParameters(settings))) != LYM_OK) return status;
  const uint32_t metaBytes = o.wave_header_bytes + o.wave_trailer_bytes;
  if (metaBytes == 0) return LYM_OK;
  std::vector<uint8_t> meta(metaBytes);
  std::copy_n(static_cast<const uint8_t*>(o.wave_header), o.wave_header_bytes, meta.data());
  std::copy_n(static_cast<const uint8_t*>(o.wave_trailer), o.wave_trailer_bytes,
              meta.data() + o.wave_header_bytes);
  const lym::TadcWaveMetaInfo info{int32_t(o.wave_header_bytes), int32_t(o.wave_trailer_bytes)};
  return StatusOf(e.encoder->WriteWaveMetaData(&info, meta.data()));
}

// The checks and the guard every open shares; arguments says whether the call's own are valid.
template <class Create>
lym_status OpenEncoder(bool arguments, const lym_encoder_options* options, lym_encoder** encoder,
                       Create&& create) {
  if (encoder == nullptr) return LYM_ERROR_INVALID_ARGUMENT;
  *encoder = nullptr;
  if (!arguments || OptionsFault(options) != nullptr) return LYM_ERROR_INVALID_ARGUMENT;
  return Guarded(nullptr, [&] {
    std::unique_ptr<lym_encoder> e = NewEncoder(*options);
    lym_status status = create(*e);
    if (status == LYM_OK) status = Prepare(*e, *options);
    if (status == LYM_OK) *encoder = e.release();
    return status;
  });
}

lym_status CreateFileEncoder(lym_encoder& e, const char* path,
                             const lym_encoder_options& o) {
  namespace platform = lym::platform;
  if (!platform::IsReplaceableOutput(path)) return LYM_ERROR_INVALID_ARGUMENT;
  if (platform::KindOf(path) != platform::FileKind::Missing && !e.overwrite)
    return LYM_ERROR_EXISTS;
  e.temporary = std::make_unique<platform::TTemporaryFile>();
  std::unique_ptr<lym::TadcFileStream> stream = lym::CreateTemporaryStream(
      *e.temporary, path, platform::kDefaultPermissions, lym::kEncodeOutputBufferBytes);
  if (!stream) return LYM_ERROR_IO;
  const lym::TadcAudioFormat format = FormatOf(o);
  const lym::TadcEncoderOptions options = EncoderOptionsOf(o);
  e.encoder = std::make_unique<lym::TSeekableStreamEncoder>(&format, &options, std::move(stream),
                                                            int64_t(o.total_samples));
  return LYM_OK;
}

lym_status CreateMediumEncoder(lym_encoder& e, const lym_io& io, void* userData,
                               const lym_encoder_options& o) {
  e.toMemory = !lym::library::CanWriteInPlace(io);
  if (e.toMemory) {
    e.medium.Bind(io, userData);
  } else if (!e.medium.OpenForWriting(io, userData)) {
    return LYM_ERROR_IO;
  }
  const lym::TadcAudioFormat format = FormatOf(o);
  const lym::TadcEncoderOptions options = EncoderOptionsOf(o);
  if (e.toMemory) {
    e.encoder = std::make_unique<lym::TSeekableStreamEncoder>(
        &format, &options, &lym::MemoryMediumCallbacks(), &e.memory, int64_t(o.total_samples));
  } else {
    e.encoder = std::make_unique<lym::TSeekableStreamEncoder>(
        &format, &options, &lym::library::TCallerMedium::Callbacks(), &e.medium,
        int64_t(o.total_samples));
  }
  return LYM_OK;
}

// Checks a call that adds frames sample frames.
lym_status BeginWrite(lym_encoder& e, size_t frames) {
  if (e.state != TEncoderState::Encoding) return e.error.Set(LYM_ERROR_WRONG_STATE);
  if (frames > e.total - e.written)
    return e.error.Set(LYM_ERROR_SAMPLE_COUNT, "more samples than announced");
  return LYM_OK;
}

lym_status EncodePacked(lym_encoder& e, const uint8_t* bytes, size_t frames) {
  for (size_t done = 0; done < frames;) {
    const size_t n = std::min(frames - done, kScratchFrames);
    const lym_status status =
        Report(e, e.encoder->EncodeSamples(bytes + done * e.frameBytes, int32_t(n)));
    if (status != LYM_OK) return status;
    done += n;
    e.written += n;
  }
  return LYM_OK;
}

bool FitsBits(const int32_t* values, size_t count, uint32_t bits) {
  const int32_t high = int32_t((uint32_t(1) << (bits - 1)) - 1);
  const int32_t low = -high - 1;
  return std::all_of(values, values + count, [&](int32_t v) { return v >= low && v <= high; });
}

void StoreSample(int32_t value, uint8_t* bytes, uint32_t width) {
  if (width == 1) {
    bytes[0] = uint8_t(value + 128);
    return;
  }
  for (uint32_t i = 0; i < width; ++i) bytes[i] = uint8_t(uint32_t(value) >> (8 * i));
}

lym_status WriteS32(lym_encoder& e, const int32_t* interleaved, size_t frames) {
  lym_status status = BeginWrite(e, frames);
  if (status != LYM_OK) return status;
  if (!FitsBits(interleaved, frames * e.channels, e.bits))
    return e.error.Set(LYM_ERROR_INVALID_ARGUMENT, "a sample beyond the bits per sample");
  const uint32_t width = (e.bits + 7) / 8;
  e.scratch.resize(kScratchFrames * e.frameBytes);
  for (size_t done = 0; done < frames && status == LYM_OK;) {
    const size_t n = std::min(frames - done, kScratchFrames);
    const int32_t* values = interleaved + done * e.channels;
    for (size_t i = 0; i < n * e.channels; ++i)
      StoreSample(values[i], e.scratch.data() + i * width, width);
    status = EncodePacked(e, e.scratch.data(), n);
    done += n;
  }
  return status;
}

// Puts the finished stream where it belongs: the file in place, or memory to the caller's medium.
lym_status Deliver(lym_encoder& e) {
  if (e.temporary) return lym::library::PutInPlace(*e.temporary, e.overwrite, e.error);
  if (e.toMemory && !lym::library::WriteAll(e.medium.Io(), e.medium.UserData(),
                                            e.memory.bytes.data(), e.memory.bytes.size())) {
    return e.error.Set(LYM_ERROR_IO);
  }
  return LYM_OK;
}

}  // namespace

extern "C" {

void lym_encoder_options_init(lym_encoder_options* options) {
  if (options == nullptr) return;
  *options = lym_encoder_options{};
  options->preset = lym::kDefaultPreset;
  options->evaluation = lym::kDefaultLevel;
}

lym_status lym_encoder_open_file(const char* path_utf8, const lym_encoder_options* options,
                                 lym_encoder** encoder) {
  const bool arguments = path_utf8 != nullptr && *path_utf8 != '\0';
  return OpenEncoder(arguments, options, encoder, [&](lym_encoder& e) {
    return CreateFileEncoder(e, path_utf8, *options);
  });
}

lym_status lym_encoder_open_io(const lym_io* io, void* user_data,
                               const lym_encoder_options* options, lym_encoder** encoder) {
  const bool arguments = io != nullptr && io->write != nullptr;
  return OpenEncoder(arguments, options, encoder, [&](lym_encoder& e) {
    return CreateMediumEncoder(e, *io, user_data, *options);
  });
}

lym_status lym_encoder_write_pcm(lym_encoder* encoder, const void* buffer, size_t frames) {
  if (encoder == nullptr || (buffer == nullptr && frames > 0)) return LYM_ERROR_INVALID_ARGUMENT;
  lym_encoder& e = *encoder;
  return Guarded(&e.error, [&] {
    const lym_status status = BeginWrite(e, frames);
    return status != LYM_OK ? status : EncodePacked(e, static_cast<const uint8_t*>(buffer), frames);
  });
}

lym_status lym_encoder_write_s32(lym_encoder* encoder, const int32_t* interleaved, size_t frames) {
  if (encoder == nullptr || (interleaved == nullptr && frames > 0))
    return LYM_ERROR_INVALID_ARGUMENT;
  lym_encoder& e = *encoder;
  return Guarded(&e.error, [&] { return WriteS32(e, interleaved, frames); });
}

lym_status lym_encoder_finish(lym_encoder* encoder) {
  if (encoder == nullptr) return LYM_ERROR_INVALID_ARGUMENT;
  lym_encoder& e = *encoder;
  return Guarded(&e.error, [&] {
    if (e.state != TEncoderState::Encoding) return e.error.Set(LYM_ERROR_WRONG_STATE);
    if (e.written != e.total)
      return e.error.Set(LYM_ERROR_SAMPLE_COUNT, "fewer samples than announced");
    lym_status status = Report(e, e.encoder->Close(false));
    e.outputBytes = e.toMemory ? e.memory.bytes.size()
                               : uint64_t(std::max<int64_t>(e.encoder->GetOutputSize(), 0));
    if (status == LYM_OK) status = Deliver(e);
    e.state = status == LYM_OK ? TEncoderState::Finished : TEncoderState::Failed;
    return status;
  });
}

uint64_t lym_encoder_output_bytes(const lym_encoder* encoder) {
  if (encoder == nullptr) return 0;
  if (encoder->state == TEncoderState::Finished) return encoder->outputBytes;
  return uint64_t(std::max<int64_t>(encoder->encoder->GetOutputSize(), 0));
}

const char* lym_encoder_error_text(const lym_encoder* encoder) {
  return encoder == nullptr ? "" : encoder->error.Text();
}

void lym_encoder_close(lym_encoder* encoder) {
  // The stream encoder abandons an unfinished stream before its file is removed.
  if (encoder != nullptr) encoder->encoder.reset();
  delete encoder;
}

}  // extern "C"

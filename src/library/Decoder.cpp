// lym_decoder: the stream decoder behind the C interface, on a file, a caller's medium or memory.
#include <algorithm>
#include <memory>
#include <vector>

#include "container/lymStreamDecoder.h"
#include "foundation/CpuUtil.h"
#include "library/Calls.h"
#include "library/Medium.h"
#include "library/Tag.h"

using lym::library::Guarded;
using lym::library::TLastError;

namespace {

// Sample frames converted per step of lym_decoder_read_s32.
constexpr size_t kScratchFrames = 4096;
// Sample frames per call of the stream decoder, whose counts are 32-bit.
constexpr size_t kMaxFramesPerCall = size_t(1) << 20;

}  // namespace

struct lym_decoder {
  TLastError error;
  lym_decoder_options options{};
  // The medium: one of these, owned here; the stream decoder reads through stream.
  std::unique_ptr<lym::TadcFileStream> file;
  std::unique_ptr<lym::library::TCallerMedium> medium;
  std::vector<uint8_t> ownedBytes;  // a medium that cannot seek, read whole
  lym::library::TMemoryCursor cursor;
  lym::TadcIoStream* stream = nullptr;
  int64_t streamStart = 0;

  std::unique_ptr<lym::TSeekableStreamDecoder> decoder;
  lym_info info{};
  std::vector<lym_gap> gaps;
  std::vector<uint8_t> scratch;  // packed PCM on its way to lym_decoder_read_s32
  size_t bytesPerSample = 0;
  bool atEnd = false;  // sought to the end: reads deliver nothing
  bool decodedAny = false;
  // The stored WAVE header and trailer, read and checked when the decoder opens.
  std::vector<uint8_t> waveMeta;
  bool waveMetaDamaged = false;
  lym_tag tag;
};

namespace {

lym_status StatusOf(int32_t code) {
  switch (code) {
    case lym::kDecodeOk:
    case lym::kDecodeNoWaveMeta: return LYM_OK;
    case lym::kDecodeMetaDamaged:
    case lym::kDecodeAudioDamaged: return LYM_DAMAGED;
    case lym::kDecodeReadError: return LYM_ERROR_IO;
    case lym::kDecodeIncompatible: return LYM_ERROR_UNSUPPORTED;
    case lym::kDecodeUndecodable: return LYM_ERROR_NOT_A_STREAM;
    case lym::kDecodeInvalidArgument: return LYM_ERROR_INVALID_ARGUMENT;
    case lym::kDecodeNotAllowed: return LYM_ERROR_NOT_SEEKABLE;
    case lym::kDecodeBufferTooSmall: return LYM_ERROR_BUFFER_TOO_SMALL;
    default: return LYM_ERROR_INTERNAL;
  }
}

lym_status Report(lym_decoder& d, int32_t code) {
  const lym_status status = StatusOf(code);
  return status > LYM_DAMAGED ? d.error.Set(status) : status;
}

bool Within(const lym_gap& inner, const lym_gap& outer) {
  return inner.position >= outer.position &&
         inner.position + inner.samples <= outer.position + outer.samples;
}

// Lists each gap once, however often seeking passes it again. Called from inside the stream
// decoder, so nothing may escape: a gap the list has no room for stays unlisted, yet muted.
void OnGap(void* userData, const lym::TadcDamageInfo* damage) noexcept {
  auto& d = *static_cast<lym_decoder*>(userData);
  const lym_gap gap{uint64_t(damage->Position), uint64_t(damage->Samples)};
  const bool known = std::any_of(d.gaps.begin(), d.gaps.end(),
                                 [&](const lym_gap& listed) { return Within(gap, listed); });
  try {
    if (!known) d.gaps.push_back(gap);
  } catch (...) {
  }
  if (d.options.on_gap != nullptr) d.options.on_gap(d.options.gap_user_data, &gap);
}

uint32_t DamageFlags(const lym_decoder& d) {
  const int32_t reader = d.decoder->Result().DamageFlags;
  uint32_t flags = 0;
  if ((reader & lym::kDamageIdentifier) != 0) flags |= LYM_DAMAGE_IDENTIFIER;
  if ((reader & lym::kDamageStreamInfo) != 0) flags |= LYM_DAMAGE_STREAM_INFO;
  if ((reader & lym::kDamageMetaData) != 0 || d.waveMetaDamaged) flags |= LYM_DAMAGE_METADATA;
  if ((reader & lym::kDamageFirstFrame) != 0) flags |= LYM_DAMAGE_FIRST_FRAME;
  if (!d.gaps.empty()) flags |= LYM_DAMAGE_AUDIO;
  return flags;
}

int32_t KnownOrMinusOne(int32_t value, int32_t count) {
  return value >= 0 && value < count ? value : -1;
}

// Streams without encoder information still name their preset in the stream information.
void DescribeEncoder(lym_info& info, lym::TAdcReader& reader) {
  lym::TadcEncoderInfo encoder;
  if (reader.GetEncoderInfo(encoder)) {
    info.encoder_version = uint32_t(encoder.EncoderVersion);
    info.preset = KnownOrMinusOne(encoder.Preset, lym::kPresetCount);
    info.evaluation = encoder.EncoderVersion <= lym::kLastVersionWithoutEvaluation
                          ? -1
                          : KnownOrMinusOne(encoder.Evaluation, lym::kLevelCount);
  } else {
    info.encoder_version = 0;
    info.preset = KnownOrMinusOne(reader.StreamInfo().Profile, lym::kPresetCount);
    info.evaluation = -1;
  }
}

// Reads and checks the stored WAVE header and trailer. Sizes that the stream could not hold are
// damage, not a reason to allocate. LYM_ERROR_IO when the medium failed.
lym_status ReadWaveMeta(lym_decoder& d) {
  lym::TadcWaveMetaInfo wave;
  int32_t result = d.decoder->ReadWaveMetaInfo(&wave);
  if (result == lym::kDecodeNoWaveMeta) return LYM_OK;
  const uint64_t bytes = uint64_t(wave.HeaderBytes) + uint64_t(wave.TrailerBytes);
  if (result == lym::kDecodeOk && bytes <= d.info.stream_bytes) {
    d.waveMeta.resize(size_t(bytes));
    result = d.decoder->ReadWaveMetaData(d.waveMeta.data(), int32_t(bytes));
    if (result == lym::kDecodeOk) {
      d.info.wave_header_bytes = uint32_t(wave.HeaderBytes);
      d.info.wave_trailer_bytes = uint32_t(wave.TrailerBytes);
      return LYM_OK;
    }
  }
  d.waveMeta.clear();
  if (result == lym::kDecodeReadError) return LYM_ERROR_IO;
  d.waveMetaDamaged = true;
  return LYM_DAMAGED;
}

lym_status Describe(lym_decoder& d) {
  lym::TAdcReader& reader = d.decoder->Reader();
  const lym::TadcStreamInfo& stream = reader.StreamInfo();
  d.info.sample_rate = uint32_t(stream.Format.SampleRate);
  d.info.channels = uint32_t(stream.Format.Channels);
  d.info.bits_per_sample = uint32_t(stream.Format.BitsPerSample);
  d.info.total_samples = uint64_t(stream.SampleCount);
  d.info.frame_length = uint32_t(stream.FrameSamples);
  d.bytesPerSample = (d.info.bits_per_sample + 7) / 8;
  DescribeEncoder(d.info, reader);
  lym::TadcSeekTableInfo table;
  int32_t tableBytes = 0;
  if (reader.ValidateSeekTable() && reader.GetSeekTableInfo(table, tableBytes))
    d.info.seek_points = uint32_t(table.Points);
  d.info.stream_bytes = uint64_t(std::max<int64_t>(d.stream->GetLength() - d.streamStart, 0));
  return ReadWaveMeta(d);
}

uint32_t DecoderFlags(const lym_decoder_options& options) {
  return options.damage == LYM_DAMAGE_CUT ? lym::kDecodeSequential | lym::kDecodeCutLost : 0;
}

// Opens the stream decoder on d.stream and hands the decoder over when it can decode.
lym_status OpenOnStream(std::unique_ptr<lym_decoder> d, lym_decoder** decoder) {
  d->streamStart = d->stream->GetPosition();
  const uint32_t processor = d->options.no_vector_kernels != 0 ? 0 : lym::kCpuFlagVector;
  d->decoder = std::make_unique<lym::TSeekableStreamDecoder>(
      *d->stream, lym::TadcDecoderOptions{processor, DecoderFlags(d->options)}, OnGap, d.get());
  const lym_status opened = StatusOf(d->decoder->OpenResult());
  if (opened > LYM_DAMAGED) return opened;
  const lym_status described = Describe(*d);
  if (described > LYM_DAMAGED) return described;
  *decoder = d.release();
  return std::max(opened, described);
}

lym_status OpenMemory(std::unique_ptr<lym_decoder> d, lym_decoder** decoder) {
  d->medium = std::make_unique<lym::library::TCallerMedium>();
  if (!d->medium->OpenForReading(lym::library::MemoryIo(), &d->cursor)) return LYM_ERROR_IO;
  d->stream = &d->medium->Stream();
  return OpenOnStream(std::move(d), decoder);
}

// The checks and the guard every open shares; arguments says whether the call's own are valid.
template <class Open>
lym_status OpenDecoder(bool arguments, const lym_decoder_options* options,
                       lym_decoder** decoder, Open&& open) {
  if (decoder == nullptr) return LYM_ERROR_INVALID_ARGUMENT;
  *decoder = nullptr;
  const bool validOptions =
      options == nullptr || options->damage == LYM_DAMAGE_MUTE || options->damage == LYM_DAMAGE_CUT;
  if (!arguments || !validOptions) return LYM_ERROR_INVALID_ARGUMENT;
  return Guarded(nullptr, [&] {
    auto d = std::make_unique<lym_decoder>();
    if (options != nullptr) d->options = *options;
    return open(std::move(d));
  });
}

// Delivers up to frames sample frames of packed PCM; the status of the whole request.
lym_status ReadPacked(lym_decoder& d, uint8_t* buffer, size_t frames, size_t& done) {
  done = 0;
  if (d.atEnd) return LYM_OK;
  lym_status status = LYM_OK;
  const size_t frameBytes = d.bytesPerSample * d.info.channels;
  while (done < frames) {
    const auto ask = int32_t(std::min(frames - done, kMaxFramesPerCall));
    int32_t delivered = 0;
    const int32_t result = d.decoder->DecodeSamples(buffer + done * frameBytes, ask, &delivered);
    status = std::max(status, Report(d, result));
    done += size_t(std::max(delivered, 0));
    d.decodedAny = d.decodedAny || delivered > 0;
    if (status > LYM_DAMAGED || delivered < ask) break;
  }
  return status;
}

int32_t LoadSample(const uint8_t* bytes, size_t width) {
  switch (width) {
    case 1: return int32_t(bytes[0]) - 128;
    case 2: return int16_t(uint16_t(bytes[0] | bytes[1] << 8));
    default: return int32_t(uint32_t(bytes[0]) << 8 | uint32_t(bytes[1]) << 16 |
                            uint32_t(bytes[2]) << 24) >> 8;
  }
}

lym_status ReadS32(lym_decoder& d, int32_t* interleaved, size_t frames, size_t& done) {
  d.scratch.resize(kScratchFrames * d.bytesPerSample * d.info.channels);
  lym_status status = LYM_OK;
  done = 0;
  while (done < frames) {
    const size_t ask = std::min(frames - done, kScratchFrames);
    size_t step = 0;
    status = std::max(status, ReadPacked(d, d.scratch.data(), ask, step));
    const uint8_t* packed = d.scratch.data();
    int32_t* out = interleaved + done * d.info.channels;
    for (size_t i = 0; i < step * d.info.channels; ++i, packed += d.bytesPerSample)
      out[i] = LoadSample(packed, d.bytesPerSample);
    done += step;
    if (status > LYM_DAMAGED || step < ask) break;
  }
  return status;
}

lym_status Seek(lym_decoder& d, uint64_t sample) {
  if (d.options.damage == LYM_DAMAGE_CUT) return d.error.Set(LYM_ERROR_NOT_SEEKABLE);
  if (sample > d.info.total_samples) return d.error.Set(LYM_ERROR_INVALID_ARGUMENT);
  d.atEnd = sample == d.info.total_samples;
  if (d.atEnd) return LYM_OK;
  return Report(d, d.decoder->SeekSample(int64_t(sample)));
}

lym_status CopyWaveMeta(lym_decoder& d, bool trailer, void* buffer, size_t capacity,
                        size_t* bytes) {
  const uint32_t headerBytes = d.info.wave_header_bytes;
  const uint32_t size = trailer ? d.info.wave_trailer_bytes : headerBytes;
  *bytes = size;
  if (size == 0) return d.waveMetaDamaged ? LYM_DAMAGED : LYM_ERROR_NOT_FOUND;
  if (capacity < size) return d.error.Set(LYM_ERROR_BUFFER_TOO_SMALL);
  std::copy_n(d.waveMeta.data() + (trailer ? headerBytes : 0), size,
              static_cast<uint8_t*>(buffer));
  return LYM_OK;
}

}  // namespace

extern "C" {

lym_status lym_decoder_open_file(const char* path_utf8, const lym_decoder_options* options,
                                 lym_decoder** decoder) {
  const bool arguments = path_utf8 != nullptr && *path_utf8 != '\0';
  return OpenDecoder(arguments, options, decoder, [&](std::unique_ptr<lym_decoder> d) {
    d->file = std::make_unique<lym::TadcFileStream>();
    if (d->file->OpenFile(path_utf8, lym::kAccessRead, lym::kDecodeFileBufferBytes,
                          lym::kShareRead) != 0) {
      return LYM_ERROR_IO;
    }
    d->stream = d->file.get();
    return OpenOnStream(std::move(d), decoder);
  });
}

lym_status lym_decoder_open_io(const lym_io* io, void* user_data,
                               const lym_decoder_options* options, lym_decoder** decoder) {
  const bool arguments = io != nullptr && io->read != nullptr;
  return OpenDecoder(arguments, options, decoder, [&](std::unique_ptr<lym_decoder> d) {
    if (!lym::library::CanReadInPlace(*io, user_data)) {
      if (!lym::library::ReadToEnd(*io, user_data, d->ownedBytes)) return LYM_ERROR_IO;
      d->cursor = {d->ownedBytes.data(), int64_t(d->ownedBytes.size()), 0};
      return OpenMemory(std::move(d), decoder);
    }
    d->medium = std::make_unique<lym::library::TCallerMedium>();
    if (!d->medium->OpenForReading(*io, user_data)) return LYM_ERROR_IO;
    d->stream = &d->medium->Stream();
    return OpenOnStream(std::move(d), decoder);
  });
}

lym_status lym_decoder_open_memory(const void* data, size_t bytes,
                                   const lym_decoder_options* options, lym_decoder** decoder) {
  const bool arguments = data != nullptr && bytes <= size_t(INT64_MAX);
  return OpenDecoder(arguments, options, decoder, [&](std::unique_ptr<lym_decoder> d) {
    d->cursor = {static_cast<const uint8_t*>(data), int64_t(bytes), 0};
    return OpenMemory(std::move(d), decoder);
  });
}

lym_status lym_decoder_get_info(const lym_decoder* decoder, lym_info* info) {
  if (decoder == nullptr || info == nullptr) return LYM_ERROR_INVALID_ARGUMENT;
  *info = decoder->info;
  info->damage_flags = DamageFlags(*decoder);
  return LYM_OK;
}

lym_status lym_decoder_read_pcm(lym_decoder* decoder, void* buffer, size_t frames,
                                size_t* frames_read) {
  if (frames_read != nullptr) *frames_read = 0;
  if (decoder == nullptr || buffer == nullptr || frames_read == nullptr)
    return LYM_ERROR_INVALID_ARGUMENT;
  return Guarded(&decoder->error, [&] {
    return ReadPacked(*decoder, static_cast<uint8_t*>(buffer), frames, *frames_read);
  });
}

lym_status lym_decoder_read_s32(lym_decoder* decoder, int32_t* interleaved, size_t frames,
                                size_t* frames_read) {
  if (frames_read != nullptr) *frames_read = 0;
  if (decoder == nullptr || interleaved == nullptr || frames_read == nullptr)
    return LYM_ERROR_INVALID_ARGUMENT;
  return Guarded(&decoder->error,
                 [&] { return ReadS32(*decoder, interleaved, frames, *frames_read); });
}

lym_status lym_decoder_seek(lym_decoder* decoder, uint64_t sample) {
  if (decoder == nullptr) return LYM_ERROR_INVALID_ARGUMENT;
  return Guarded(&decoder->error, [&] { return Seek(*decoder, sample); });
}

lym_status lym_decoder_tell(const lym_decoder* decoder, uint64_t* sample) {
  if (decoder == nullptr || sample == nullptr) return LYM_ERROR_INVALID_ARGUMENT;
  *sample = decoder->atEnd ? decoder->info.total_samples
                           : uint64_t(std::max<int64_t>(decoder->decoder->SamplePosition(), 0));
  return LYM_OK;
}

lym_status lym_decoder_get_wave_header(lym_decoder* decoder, void* buffer, size_t capacity,
                                       size_t* bytes) {
  if (decoder == nullptr || buffer == nullptr || bytes == nullptr)
    return LYM_ERROR_INVALID_ARGUMENT;
  return CopyWaveMeta(*decoder, false, buffer, capacity, bytes);
}

lym_status lym_decoder_get_wave_trailer(lym_decoder* decoder, void* buffer, size_t capacity,
                                        size_t* bytes) {
  if (decoder == nullptr || buffer == nullptr || bytes == nullptr)
    return LYM_ERROR_INVALID_ARGUMENT;
  return CopyWaveMeta(*decoder, true, buffer, capacity, bytes);
}

size_t lym_decoder_gap_count(const lym_decoder* decoder) {
  return decoder == nullptr ? 0 : decoder->gaps.size();
}

lym_status lym_decoder_get_gap(const lym_decoder* decoder, size_t index, lym_gap* gap) {
  if (decoder == nullptr || gap == nullptr || index >= decoder->gaps.size())
    return LYM_ERROR_INVALID_ARGUMENT;
  *gap = decoder->gaps[index];
  return LYM_OK;
}

uint32_t lym_decoder_bit_rate(const lym_decoder* decoder) {
  if (decoder == nullptr || !decoder->decodedAny) return 0;
  return uint32_t(std::max(decoder->decoder->BitRate(), 0));
}

// The stream reader reads the tag once and then answers for it; the handle keeps the answer.
lym_status lym_decoder_get_tag(lym_decoder* decoder, const lym_tag** tag) {
  if (tag != nullptr) *tag = nullptr;
  if (decoder == nullptr || tag == nullptr) return LYM_ERROR_INVALID_ARGUMENT;
  return Guarded(&decoder->error, [&] {
    if (decoder->tag.tag == nullptr) decoder->tag.tag = decoder->decoder->GetApeTag();
    if (decoder->tag.tag == nullptr) return decoder->error.Set(LYM_ERROR_IO);
    *tag = &decoder->tag;
    return LYM_OK;
  });
}

const char* lym_decoder_error_text(const lym_decoder* decoder) {
  return decoder == nullptr ? "" : decoder->error.Text();
}

void lym_decoder_close(lym_decoder* decoder) {
  // The stream decoder lets go of the stream before the stream closes.
  if (decoder != nullptr) decoder->decoder.reset();
  delete decoder;
}

}  // extern "C"

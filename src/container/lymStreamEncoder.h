// Compressing interleaved PCM into a seekable stream: the one encoder object of the desktop
// program. The total number of samples is announced at creation, because it fixes the number of
// frames, the size of the seek table and the stream information written first. The encoder cuts
// the samples into frames, has TFrameEncoder compress each one, writes it through TAdcWriter and,
// when the settings ask for it, decodes every frame again and compares it with the input.
//
// Errors accumulate: every public call returns the highest code it raised, the encoder keeps the
// highest code so far, and once that reaches 2 every later call does nothing. An output that cannot
// be written, flushed or closed is always reported (3), never passed off as a finished stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "codec/EncoderPresets.h"
#include "codec/FrameDecoder.h"
#include "codec/FrameEncoder.h"
#include "container/lymStream.h"
#include "container/lymStreamWriter.h"
#include "io/lymFileIo.h"
#include "foundation/zqAlignedMem.h"

namespace lym {

// Call results and HighestError().
inline constexpr int32_t kEncodeOk = 0;
inline constexpr int32_t kEncodeWaveMetaTooLarge = 1;  // a warning: encoding goes on
inline constexpr int32_t kEncodeUnsupportedFormat = 2;
inline constexpr int32_t kEncodeWriteError = 3;
inline constexpr int32_t kEncodeVerifyFailed = 4;
inline constexpr int32_t kEncodeAbandoned = 5;
inline constexpr int32_t kEncodeInvalidArgument = 2048;
inline constexpr int32_t kEncodeBadCallbacks = 2049;
inline constexpr int32_t kEncodeNotAllowed = 2050;
inline constexpr int32_t kEncodeTooFewSamples = 2052;
inline constexpr int32_t kEncodeTooManySamples = 2053;
// The encoder stops working once the highest error reaches this.
inline constexpr int32_t kEncodeFatal = 2;

// The sample rates the encoder takes.
inline constexpr int32_t kMinEncodeRate = 8000;
inline constexpr int32_t kMaxEncodeRate = 96000;

// Encoder flags (TadcEncoderOptions::Flags).
inline constexpr uint32_t kEncodeBuffered = 1;  // write through a 2048-byte output buffer
inline constexpr int32_t kEncodeOutputBufferBytes = 2048;
inline constexpr size_t kMaxEncodeFileNameLength = 256;

// States of State().
inline constexpr int32_t kEncoderCreated = 0;
inline constexpr int32_t kEncoderOutputOpen = 1;  // WAVE metadata may still be written
inline constexpr int32_t kEncoderEncoding = 2;
inline constexpr int32_t kEncoderClosed = 4;

struct TadcEncoderOptions {
  uint32_t ProcessorOptions = 0;  // for the frame coders; the vector bit is dropped if useless
  uint32_t Flags = 0;
  int32_t Preset = kDefaultPreset;     // 0..4
  int32_t Evaluation = kDefaultLevel;  // 0..2
  uint32_t Reserved = 0;               // read, never used
};

// Where verification found the first difference. Channel and index are -1 when the frame could
// not be decoded at all.
struct TVerifyFailure {
  int32_t Channel = -1;
  int32_t Frame = -1;
  int32_t Index = -1;
  int32_t Input = 0;
  int32_t Decoded = 0;
};

class TSeekableStreamEncoder {
 public:
  // Writes a new file (UTF-8 name of 1..256 characters). CreateResult() tells how creation went.
  TSeekableStreamEncoder(const TadcAudioFormat* format, const TadcEncoderOptions* options,
                         const char* fileName, int64_t totalSamples);
  // Writes through the caller's callbacks, which must be able to write and seek.
  TSeekableStreamEncoder(const TadcAudioFormat* format, const TadcEncoderOptions* options,
                         const TadcStreamCallbacks* callbacks, void* userData,
                         int64_t totalSamples);
  // Writes to a stream the caller opened for writing and seeking (a temporary file, say); the
  // encoder owns and closes it.
  TSeekableStreamEncoder(const TadcAudioFormat* format, const TadcEncoderOptions* options,
                         std::unique_ptr<TadcBufferedIoStream> output, int64_t totalSamples);
  // Abandons an unfinished stream.
  ~TSeekableStreamEncoder();
  TSeekableStreamEncoder(const TSeekableStreamEncoder&) = delete;
  TSeekableStreamEncoder& operator=(const TSeekableStreamEncoder&) = delete;

  int32_t CreateResult() const { return createResult_; }

  // Before the output is opened only.
  int32_t SetParameters(const TEncoderSettings& settings);
  // The frame length, or -1 once the encoder has failed.
  int32_t GetFrameSamples() const;
  // bytes holds info->HeaderBytes header bytes followed by info->TrailerBytes trailer bytes.
  int32_t WriteWaveMetaData(const TadcWaveMetaInfo* info, const void* bytes);
  // count sample frames of interleaved PCM.
  int32_t EncodeSamples(const void* samples, int32_t count);
  // Finishes the stream, or abandons it (then the result is 0). Afterwards every call fails.
  int32_t Close(bool abandon);
  // The compressed output length, refreshed from the output while it is open.
  int64_t GetOutputSize();

  int32_t HighestError() const { return highest_; }
  bool Ok() const { return ok_; }
  int32_t State() const { return state_; }
  const TVerifyFailure& VerifyFailure() const { return verifyFailure_; }
  // True when the output is a file this encoder created; the caller decides whether to delete it.
  bool CreatedOutput() const { return createdOutput_; }
  const TEncoderSettings& Settings() const { return settings_; }
  const TadcStreamInfo& StreamInfo() const { return streamInfo_; }
  const TadcEncoderInfo& EncoderInfo() const { return encoderInfo_; }
  uint32_t ProcessorOptions() const { return processorOptions_; }
  int64_t TotalFrames() const { return totalFrames_; }
  int64_t SamplesGiven() const { return given_; }
  int32_t FramesEncoded() const { return framesEncoded_; }
  int64_t SourceBytes() const { return sourceBytes_; }

 private:
  void Initialise(const TadcAudioFormat* format, const TadcEncoderOptions* options,
                  int64_t totalSamples);
  // Recomputes the derived values from settings_; raises and returns false when they do not fit.
  bool Derive();
  void Raise(int32_t code);
  // Starts a public call: false (after setting the result) once the encoder has failed.
  bool BeginCall();
  bool OpenOutput();
  bool StartEncoding();
  void EncodeFrame();
  void Verify(const uint8_t* payload, int32_t byteCount, int32_t n);

  // Common state.
  int32_t createResult_ = 0;
  int32_t highest_ = 0;
  bool ok_ = true;
  int32_t callResult_ = 0;
  int32_t state_ = kEncoderCreated;

  TadcAudioFormat format_;
  int64_t total_ = 0;
  uint32_t processorOptions_ = 0;
  uint32_t flags_ = 0;
  TEncoderSettings settings_;
  TFrameEncoderOptions frameOptions_;
  TadcStreamInfo streamInfo_;
  TadcEncoderInfo encoderInfo_;
  int32_t frameLength_ = 0;
  int64_t totalFrames_ = 0;

  // Output.
  bool fileOutput_ = false;
  std::string fileName_;
  TadcStreamCallbacks callbacks_{};
  void* userData_ = nullptr;
  std::unique_ptr<TadcBufferedIoStream> givenOutput_;
  std::unique_ptr<TadcBufferedIoStream> output_;
  std::unique_ptr<TAdcWriter> writer_;
  bool createdOutput_ = false;
  int64_t outputSize_ = 0;

  // Coding.
  std::unique_ptr<TFrameEncoder> encoder_;
  std::unique_ptr<TFrameDecoder> decoder_;
  std::unique_ptr<TAntiAliasArray<int32_t>> channel0_;
  std::unique_ptr<TAntiAliasArray<int32_t>> channel1_;
  std::unique_ptr<TAlignedMem> decoded_;
  int32_t buffered_ = 0;
  int64_t given_ = 0;
  int32_t framesEncoded_ = 0;
  int64_t sourceBytes_ = 0;
  TVerifyFailure verifyFailure_;
};

}  // namespace lym

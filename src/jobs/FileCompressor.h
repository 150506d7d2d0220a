// Compressing one WAVE file: the source through a file stream and the WAVE reader, the output
// through the seekable stream encoder, one frame's worth of samples per step, so that the batch
// can show progress and ask for a cancel between steps.
//
// The output is written to a temporary file beside the destination and moved over the destination
// only when the whole file was compressed; a failed or aborted job removes its temporary file and
// leaves whatever was at the destination untouched. In no-output mode the encoder writes into a
// counting sink and no file is touched at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "container/lymStreamEncoder.h"
#include "files/WaveFile.h"
#include "io/lymFileIo.h"
#include "foundation/zqAlignedMem.h"
#include "jobs/BatchCommon.h"
#include "lym/Compressor.h"
#include "platform/TemporaryFile.h"

namespace lym {

// A medium that only counts: writes move the position and raise the size, seeks within the size
// are allowed, nothing can be read back. It tells the compressed size without storing a byte.
struct TCountingSink {
  int64_t Size = 0;
  int64_t Position = 0;
};
const TadcStreamCallbacks& CountingSinkCallbacks();  // user data: a TCountingSink

// Job states.
inline constexpr int32_t kCompJobIdle = 0;
inline constexpr int32_t kCompJobRunning = 1;
inline constexpr int32_t kCompJobFinished = 2;

inline constexpr size_t kCompSampleBufferBytes = 131072;
inline constexpr TOutputCodes kCompressOutputCodes{kCompressExists, kCompressWriteError};

class TFileCompressor {
 public:
  TFileCompressor(const TEncoderSettings& settings, const TEncoderDlgOutputOptions& outputOptions,
                  const TCompressOptions& options);
  // Aborts a running job.
  ~TFileCompressor();
  TFileCompressor(const TFileCompressor&) = delete;
  TFileCompressor& operator=(const TFileCompressor&) = delete;

  // Starts a job; a job that fails here is already finished. Returns the code. With
  // toStandardOutput the output is finished beside destination (a scratch name) and sent to
  // standard output instead of being put in place.
  uint8_t Compress(const std::string& source, const std::string& destination,
                   bool toStandardOutput);
  // Encodes up to one frame; position is the number of sample frames taken so far. Finishes the
  // job at the end of the source or on failure. Returns the job state.
  int32_t EncodeStep(int64_t& position);
  // Ends a running job: a normal end keeps the output, an abort discards it. Returns the code.
  uint8_t Finish(bool abort);

  uint8_t Code() const { return code_; }
  // Why reading or writing failed, in the system's words; empty when it did not say.
  const std::string& Reason() const { return reason_; }
  bool Succeeded() const { return code_ < kCompressFailedFrom; }
  int32_t JobState() const { return jobState_; }
  int64_t SourceBytes() const { return sourceBytes_; }
  int64_t SampleCount() const { return sampleCount_; }
  double Duration() const { return duration_; }  // seconds
  int64_t CompressedBytes() const { return compressedBytes_; }
  // What the WAVE reader accepted of the source beyond a well-formed file (kWave... bits).
  uint32_t SourceAcceptances() const { return sourceAcceptances_; }
  uint32_t SourceDeclaredDataSize() const { return sourceDeclaredDataSize_; }

 private:
  // The code only rises; the system's reason for the first read or write error is kept.
  void Raise(uint8_t code, std::string reason = {});
  void OpenSource(const std::string& source);
  void CreateEncoder(const std::string& source);
  void StoreWaveMeta();
  // Appends the new file's tag behind its last frame, before the file is put in place.
  void AppendTag();
  void CloseSource();
  // Moves a complete output over the destination, with the source's time if asked for, or sends
  // it to standard output; removes an incomplete one.
  void SettleOutput(bool keep);
  void PutInPlace();

  const TEncoderSettings settings_;
  const TEncoderDlgOutputOptions outputOptions_;
  const TCompressOptions options_;

  int32_t jobState_ = kCompJobIdle;
  uint8_t code_ = kCompressOk;
  std::string reason_;
  std::string source_;
  std::string destination_;
  bool toStandardOutput_ = false;
  platform::TTemporaryFile output_;
  std::unique_ptr<TadcFileStream> sourceStream_;
  std::unique_ptr<TWaveReader> reader_;
  std::unique_ptr<TSeekableStreamEncoder> encoder_;
  int32_t frameSamples_ = 0;
  TAlignedMem samples_;
  int32_t framesRead_ = 0;
  int64_t sourceBytes_ = 0;
  uint32_t sourceAcceptances_ = 0;
  uint32_t sourceDeclaredDataSize_ = 0;
  int64_t sampleCount_ = 0;
  double duration_ = 0;
  int64_t compressedBytes_ = 0;
  TCountingSink sink_;
};

}  // namespace lym

// Decompressing one .lym file into one WAVE file (or only decoding it in test mode), step by step
// so that the batch can show progress and be canceled between steps.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "container/lymStreamDecoder.h"
#include "files/WaveFile.h"
#include "io/lymFileIo.h"
#include "foundation/zqAlignedMem.h"
#include "foundation/zqArrayList.h"
#include "jobs/BatchCommon.h"
#include "lym/Decompressor.h"
#include "platform/TemporaryFile.h"

namespace lym {

// One gap in the decoded audio: where it begins and how many samples per channel are missing.
struct TFileDecompError {
  int64_t SamplePos = 0;
  int64_t Count = 0;
};

class TFileDecompErrorList : public TzqArrayList<TFileDecompError> {
 public:
  TFileDecompErrorList() : TzqArrayList<TFileDecompError>(16) {}
  void Clear() { SetSize(0); }
};

struct TFileDecompResult {
  uint8_t Code = 0;
  TadcDecodeResult Damage;  // the decoder's record as last taken over
  TFileDecompErrorList ErrorList;
  // Why reading or writing failed, in the system's words; empty when it did not say.
  std::string Reason;

  void Reset();
  // Codes only rise; the system's reason for the first read or write error is kept.
  void Raise(uint8_t code, std::string reason = {});
};

inline constexpr TOutputCodes kDecompOutputCodes{kDecompAlreadyExists, kDecompWriteError};

enum class TDecompJobState : uint8_t { Idle, Running, Succeeded, Failed };

class TFileDecompressor {
 public:
  explicit TFileDecompressor(const TFileDecompOptions& options);
  ~TFileDecompressor();
  TFileDecompressor(const TFileDecompressor&) = delete;
  TFileDecompressor& operator=(const TFileDecompressor&) = delete;

  // Opens the source and, unless in test mode, creates a temporary file beside the destination, or
  // starts writing to standard output. Returns the code so far; a job that has failed here is
  // already finished.
  uint8_t Decompress(const std::string& source, const std::string& destination,
                     bool toStandardOutput);
  // Decodes up to one frame's worth of samples; position is the decoder's sample position after
  // the step. Returns the job state, which leaves Running once the job is finished.
  TDecompJobState DecodeStep(int64_t& position);
  // Ends a running job, closing the destination and the source.
  uint8_t Finish(bool abort);

  // Seconds of audio that the stream states; 0 without a usable sample rate.
  double AudioDuration() const;
  int64_t TotalSamples() const { return totalSamples_; }
  bool Succeeded() const { return !DecompFailed(result_.Code); }
  bool Failed() const { return DecompFailed(result_.Code); }
  const TFileDecompResult& Result() const { return result_; }
  // After Finish: moves the output over the destination (an existing file only with replace), or
  // removes it. A failed move is the job's write error, or "already exists". True when the output
  // is in place, even when giving it the source's time then failed (a write error too).
  bool KeepOutput(bool replace);
  void DiscardOutput() { output_.Discard(); }
  // After Finish: the code that the job would have ended with had the stored WAVE metadata not
  // been restored, for a job that restoring it made worse (a stored header that does not fit, or
  // audio cut out beneath a restored header); else the job's code.
  uint8_t CodeWithoutWaveMeta() const;

 private:
  static void OnDecoderDamage(void* self, const TadcDamageInfo* damage);
  void OpenSource();
  int32_t DecoderState() const;
  void TakeOverDecoderState();
  bool DecoderUsable() const;
  void RestoreWaveMeta();
  void ReadWaveMeta(const TadcWaveMetaInfo& info);
  void CreateDestination();
  bool OpenWriter();
  bool WriteDelivered(int32_t frames);
  void CloseDestination(bool abort);
  void CloseSource();

  TFileDecompOptions options_;
  TFileDecompResult result_;
  std::string source_;
  std::string destination_;
  bool toStandardOutput_ = false;
  std::unique_ptr<TadcFileStream> sourceStream_;  // read by the decoder
  std::unique_ptr<TSeekableStreamDecoder> decoder_;
  platform::TTemporaryFile output_;
  std::unique_ptr<TadcIoStream> destinationStream_;
  std::unique_ptr<TWaveWriter> writer_;
  TDecompJobState state_ = TDecompJobState::Idle;

  int32_t frameSamples_ = 0;
  int32_t sampleRate_ = 0;
  int64_t totalSamples_ = 0;
  TadcAudioFormat format_;
  int32_t blockFrames_ = 0;  // sample frames per decode call
  std::unique_ptr<TAlignedMem> samples_;
  std::unique_ptr<TAlignedMem> waveMeta_;  // stored header, then trailer
  int32_t headerBytes_ = 0;
  int32_t trailerBytes_ = 0;
  bool waveMetaRestored_ = false;
  // The WAVE header went out before the samples, stating the stream's length.
  bool headerWrittenFirst_ = false;
};

}  // namespace lym

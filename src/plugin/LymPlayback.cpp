#include "plugin/LymPlayback.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <system_error>

#include "platform/Thread.h"
#include "plugin/HostCalls.h"

namespace lym::plugin {
namespace {

// Every optional processor feature; the decoder drops what the processor lacks.
constexpr uint32_t kAllProcessorOptions = 7;
// A seek never lands closer to the end than this, so that something is still heard.
constexpr int32_t kSeekEndMarginMs = 1000;
constexpr auto kFullOutputWait = std::chrono::milliseconds(20);
constexpr auto kDrainPollWait = std::chrono::milliseconds(10);

// The decoder can go on after these answers; a damaged frame is played as silence.
bool Usable(int32_t decoderResult) {
  return decoderResult == kDecodeOk || decoderResult == kDecodeAudioDamaged;
}

}  // namespace

int32_t DurationMs(int64_t samples, int32_t sampleRate) {
  if (sampleRate <= 0 || samples <= 0) return 0;
  const int64_t ms = (samples * 1000 + sampleRate / 2) / sampleRate;
  return int32_t(std::min<int64_t>(ms, INT32_MAX));
}

TLymPlayback::~TLymPlayback() {
  kill_.store(true);
  if (thread_.joinable()) thread_.join();
}

int TLymPlayback::Play(winamp::In_Module& module, const char* fileName) {
  // The player stops before it plays; should it not, the old stream must not keep running.
  if (decoder_ || thread_.joinable()) Stop();
  module_ = &module;
  fileName_ = fileName != nullptr ? fileName : "";
  decodePositionMs_.store(0);
  paused_.store(0);
  seekRequest_.store(kNoSeek);
  try {
    if (OpenDecoder(fileName) && OpenOutput() && StartThread()) return 0;
  } catch (...) {
    // Out of memory while setting up: no playback, as for an unreadable file.
  }
  CloseOutput();
  decoder_.reset();
  tag_ = nullptr;
  return 1;
}

bool TLymPlayback::OpenDecoder(const char* fileName) {
  const TadcDecoderOptions options{kAllProcessorOptions, 0};
  decoder_ = std::make_unique<TSeekableStreamDecoder>(fileName, options, nullptr, nullptr);
  if (decoder_->OpenResult() >= kDecodeFatal) return false;
  // Read now, while no other thread uses the decoder: title queries of the playing file use it.
  tag_ = decoder_->GetApeTag();
  if (decoder_->Result().ErrorLevel >= kDecodeFatal) return false;

  const TadcStreamInfo& info = decoder_->Reader().StreamInfo();
  channels_ = info.Format.Channels;
  bits_ = info.Format.BitsPerSample;
  sampleRate_ = info.Format.SampleRate;
  sampleCount_ = info.SampleCount;
  bytesPerFrame_ = channels_ * (bits_ / 8);
  lengthMs_ = DurationMs(sampleCount_, sampleRate_);
  buffer_.assign(size_t(kDspBlockFrames) * size_t(bytesPerFrame_), 0);
  return true;
}

bool TLymPlayback::OpenOutput() {
  output_ = module_->outMod;
  if (output_ == nullptr) return false;
  const int latency = output_->Open(sampleRate_, channels_, bits_, -1, -1);
  if (latency < 0) return false;
  outputOpen_ = true;
  module_->SetInfo(sampleRate_ * bits_ * channels_ / 1000, sampleRate_ / 1000, channels_, 1);
  module_->SAVSAInit(latency, sampleRate_);
  module_->VSASetInfo(sampleRate_, channels_);
  output_->SetVolume(winamp::kCurrentVolume);
  return true;
}

bool TLymPlayback::StartThread() {
  kill_.store(false);
  try {
    thread_ = std::thread(&TLymPlayback::DecodeThread, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void TLymPlayback::CloseOutput() {
  if (!outputOpen_) return;
  outputOpen_ = false;
  output_->Close();
  module_->SAVSADeInit();
}

void TLymPlayback::Stop() {
  if (thread_.joinable()) {
    kill_.store(true);
    try {
      thread_.join();
    } catch (const std::system_error&) {
      // Called from the decoding thread itself (through one of the player's hooks): it ends as
      // soon as that hook returns, and the next Stop from the player's thread frees everything.
      HostCalls().ShowMessage(module_->hMainWindow, kThreadDieText, kThreadDieCaption,
                              TMessageIcon::None);
      return;
    }
  }
  decoder_.reset();
  tag_ = nullptr;
  CloseOutput();
}

void TLymPlayback::Pause() {
  paused_.store(1);
  if (outputOpen_) output_->Pause(1);
}

void TLymPlayback::UnPause() {
  paused_.store(0);
  if (outputOpen_) output_->Pause(0);
}

int TLymPlayback::GetOutputTime() const {
  if (!outputOpen_) return 0;
  return decodePositionMs_.load() + output_->GetOutputTime() - output_->GetWrittenTime();
}

void TLymPlayback::DecodeThread() {
  platform::RaiseCurrentThreadPriority();
  bool streamDone = false;
  while (!kill_.load()) {
    const int32_t request = seekRequest_.exchange(kNoSeek);
    if (request != kNoSeek) {
      streamDone = !CarryOutSeek(request);
    } else if (streamDone) {
      if (OutputDrained()) {
        HostCalls().PostToWindow(module_->hMainWindow, winamp::kEndOfFileMessage);
        return;
      }
      std::this_thread::sleep_for(kDrainPollWait);
    } else if (OutputHasRoomForBlock()) {
      streamDone = !DeliverBlock();
    } else {
      std::this_thread::sleep_for(kFullOutputWait);
    }
  }
}

bool TLymPlayback::CarryOutSeek(int32_t requestMs) {
  const int32_t ms = std::max(std::min(requestMs, lengthMs_ - kSeekEndMarginMs), 0);
  decodePositionMs_.store(ms);
  output_->Flush(ms);
  const int64_t target =
      std::min<int64_t>((int64_t(ms) * sampleRate_ + 500) / 1000, sampleCount_ - 1);
  if (!Usable(decoder_->SeekSample(target))) return false;
  const auto landedMs = int32_t(target * 1000 / sampleRate_);
  decodePositionMs_.store(landedMs);
  output_->Flush(landedMs);
  return true;
}

bool TLymPlayback::OutputHasRoomForBlock() const {
  const int32_t frames = module_->dsp_isactive() != 0 ? kDspBlockFrames : kBlockFrames;
  return output_->CanWrite() >= frames * bytesPerFrame_;
}

bool TLymPlayback::OutputDrained() const {
  output_->CanWrite();  // lets outputs that work only when asked move their buffers on
  return output_->IsPlaying() == 0;
}

bool TLymPlayback::DeliverBlock() {
  int32_t frames = 0;
  try {
    if (!Usable(decoder_->DecodeSamples(buffer_.data(), kBlockFrames, &frames))) frames = 0;
  } catch (...) {
    frames = 0;  // the track ends early rather than taking the player down
  }
  if (frames <= 0) return false;

  module_->SAAddPCMData(buffer_.data(), channels_, bits_, decodePositionMs_.load());
  module_->VSAAddPCMData(buffer_.data(), channels_, bits_, decodePositionMs_.load());
  decodePositionMs_.store(int32_t(decoder_->SamplePosition() * 1000 / sampleRate_));
  if (module_->dsp_isactive() != 0) frames = FramesAfterDsp(frames);
  output_->Write(reinterpret_cast<char*>(buffer_.data()), frames * bytesPerFrame_);
  module_->SetInfo(int(std::lround(decoder_->BitRate() / 1000.0)), -1, -1, 1);
  return true;
}

int32_t TLymPlayback::FramesAfterDsp(int32_t frames) {
  const int out = module_->dsp_dosamples(reinterpret_cast<short*>(buffer_.data()), frames, bits_,
                                         channels_, sampleRate_);
  // A DSP that claims more than the buffer holds must not make us write past it.
  return std::clamp(out, 0, kDspBlockFrames);
}

}  // namespace lym::plugin

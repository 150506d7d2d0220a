#include "plugin/LymPlayback.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <system_error>

#include "plugin/HostCalls.h"
#include "plugin/TagTexts.h"

namespace lym::plugin {
namespace {

// A seek never lands closer to the end than this, so that something is still heard.
constexpr int32_t kSeekEndMarginMs = 1000;
constexpr auto kFullOutputWait = std::chrono::milliseconds(20);
constexpr auto kDrainPollWait = std::chrono::milliseconds(10);

}  // namespace

int32_t DurationMs(uint64_t samples, uint32_t sampleRate) {
  if (sampleRate == 0) return 0;
  // Whole seconds first, so that no product overflows however many samples a stream announces.
  const uint64_t seconds = samples / sampleRate;
  if (seconds > uint64_t(INT32_MAX) / 1000) return INT32_MAX;
  const uint64_t ms =
      seconds * 1000 + ((samples % sampleRate) * 1000 + sampleRate / 2) / sampleRate;
  return int32_t(std::min<uint64_t>(ms, INT32_MAX));
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
  tagTitle_.reset();
  return 1;
}

bool TLymPlayback::OpenDecoder(const char* fileName) {
  lym_info info{};
  decoder_ = OpenStream(fileName, info);
  if (!decoder_) return false;
  const lym_tag* tag = StreamTag(*decoder_);
  if (tag == nullptr) return false;
  tagTitle_ = plugin::TagTitle(tag);

  channels_ = int32_t(info.channels);
  bits_ = int32_t(info.bits_per_sample);
  sampleRate_ = int32_t(info.sample_rate);
  sampleCount_ = info.total_samples;
  // The library packs samples as WAVE files do, in whole bytes.
  bytesPerFrame_ = channels_ * ((bits_ + 7) / 8);
  lengthMs_ = DurationMs(sampleCount_, info.sample_rate);
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
  tagTitle_.reset();
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
  RaiseCurrentThreadPriority();
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
  const uint64_t target =
      std::min<uint64_t>((uint64_t(ms) * uint64_t(sampleRate_) + 500) / 1000, sampleCount_ - 1);
  if (!Usable(lym_decoder_seek(decoder_.get(), target))) return false;
  const auto landedMs = int32_t(target * 1000 / uint64_t(sampleRate_));
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
  size_t decoded = 0;
  uint64_t position = 0;
  // A read error ends the track early; damaged frames arrive as silence and play on.
  if (!Usable(lym_decoder_read_pcm(decoder_.get(), buffer_.data(), kBlockFrames, &decoded)) ||
      decoded == 0 || !Usable(lym_decoder_tell(decoder_.get(), &position))) {
    return false;
  }

  module_->SAAddPCMData(buffer_.data(), channels_, bits_, decodePositionMs_.load());
  module_->VSAAddPCMData(buffer_.data(), channels_, bits_, decodePositionMs_.load());
  decodePositionMs_.store(int32_t(position * 1000 / uint64_t(sampleRate_)));
  auto frames = int32_t(decoded);
  if (module_->dsp_isactive() != 0) frames = FramesAfterDsp(frames);
  output_->Write(reinterpret_cast<char*>(buffer_.data()), frames * bytesPerFrame_);
  module_->SetInfo(int(std::lround(lym_decoder_bit_rate(decoder_.get()) / 1000.0)), -1, -1, 1);
  return true;
}

int32_t TLymPlayback::FramesAfterDsp(int32_t frames) {
  const int out = module_->dsp_dosamples(reinterpret_cast<short*>(buffer_.data()), frames, bits_,
                                         channels_, sampleRate_);
  // A DSP that claims more than the buffer holds must not make us write past it.
  return std::clamp(out, 0, kDspBlockFrames);
}

}  // namespace lym::plugin

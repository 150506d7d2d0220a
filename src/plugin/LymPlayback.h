// The playing file: its decoder, the output it feeds and the thread that decodes it. One file plays
// at a time; every call but the thread's own comes from the player's thread.
//
// The two threads share only the atomics below. The player's thread writes the seek request and
// the kill and paused flags; the decoding thread takes the seek request and writes the decode
// position. The decoder, the sample buffer and the format belong to the decoding thread while it
// runs; Play sets them up before starting it and Stop frees them only after joining it.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "plugin/Stream.h"
#include "plugin/WinampInterface.h"

namespace lym::plugin {

// Sample frames per decoder call; an active DSP may return twice as many.
inline constexpr int32_t kBlockFrames = 576;
inline constexpr int32_t kDspBlockFrames = 2 * kBlockFrames;
// No seek pending.
inline constexpr int32_t kNoSeek = -1;
// Shown when Stop is called from the decoding thread itself, which it cannot wait for.
inline constexpr const char* kThreadDieText = "error asking thread to die!";
inline constexpr const char* kThreadDieCaption = "error killing decode thread";

// Samples per channel as milliseconds, rounded, limited to what 32 bits hold.
int32_t DurationMs(uint64_t samples, uint32_t sampleRate);

class TLymPlayback {
 public:
  TLymPlayback() = default;
  ~TLymPlayback();
  TLymPlayback(const TLymPlayback&) = delete;
  TLymPlayback& operator=(const TLymPlayback&) = delete;

  // module is the player's record: its output, hooks and main window; fileName is UTF-8. 0 when
  // playback started.
  int Play(winamp::In_Module& module, const char* fileName);
  void Stop();
  void Pause();
  void UnPause();
  int IsPaused() const { return paused_.load(); }
  int GetLength() const { return decoder_ ? lengthMs_ : 0; }
  int GetOutputTime() const;
  void SetOutputTime(int ms) { seekRequest_.store(ms); }

  const std::string& FileName() const { return fileName_; }
  // The playing stream's title from its tag (see TagTitle), taken before the thread started so
  // that title queries need not touch the decoder the thread uses; none when nothing plays.
  const std::optional<std::string>& TagTitle() const { return tagTitle_; }

 private:
  bool OpenDecoder(const char* fileName);
  bool OpenOutput();
  bool StartThread();
  void CloseOutput();
  void DecodeThread();
  // The steps of the thread's loop; CarryOutSeek and DeliverBlock return false when the stream
  // is done.
  bool CarryOutSeek(int32_t requestMs);
  bool DeliverBlock();
  bool OutputHasRoomForBlock() const;
  // True once the output has played everything it was given.
  bool OutputDrained() const;
  int32_t FramesAfterDsp(int32_t frames);

  winamp::In_Module* module_ = nullptr;
  winamp::Out_Module* output_ = nullptr;  // the one opened by Play
  TDecoder decoder_;
  std::optional<std::string> tagTitle_;
  std::string fileName_;
  std::vector<uint8_t> buffer_;
  int32_t bytesPerFrame_ = 0;
  int32_t channels_ = 0;
  int32_t bits_ = 0;
  int32_t sampleRate_ = 0;
  uint64_t sampleCount_ = 0;
  int32_t lengthMs_ = 0;
  bool outputOpen_ = false;

  std::atomic<int32_t> decodePositionMs_{0};
  std::atomic<int32_t> paused_{0};
  std::atomic<int32_t> seekRequest_{kNoSeek};
  std::atomic<bool> kill_{false};
  std::thread thread_;
};

}  // namespace lym::plugin

// The output plug-in that the stand-in player hands to in_lym: it keeps every byte written, one
// segment per Open or Flush, and plays its buffer against the clock, so that CanWrite, IsPlaying,
// the two times and Pause behave as a sound card's output would; by default twenty times faster,
// to keep the tests short. It never blocks the plug-in: the player's real output has room most of
// the time.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "plugin/WinampInterface.h"

namespace lym::test {

// What the plug-in did to the output.
struct OutputLog {
  int opens = 0;
  int closes = 0;
  int rate = 0, channels = 0, bits = 0;  // of the last Open
  int volume = 0;
  std::vector<int> pauses;  // Pause's arguments
  std::vector<int> flushes;
  // The bytes written after Open (the first) and after each Flush (one each).
  std::vector<std::vector<uint8_t>> segments;
  int largestWrite = 0;
  int overruns = 0;  // writes of more than CanWrite offered
};

class SimulatedOutput {
 public:
  // Only one output exists at a time: the record's entries are plain functions.
  SimulatedOutput();
  ~SimulatedOutput();
  SimulatedOutput(const SimulatedOutput&) = delete;
  SimulatedOutput& operator=(const SimulatedOutput&) = delete;

  winamp::Out_Module& Record() { return record_; }

  // Milliseconds of sound played per millisecond of real time; may change while playing.
  void SetSpeed(int speed);
  // Open's answer from now on: the latency, or < 0 to refuse.
  void SetOpenAnswer(int answer);

  OutputLog Log() const;
  bool IsOpen() const;

  // The record's entries.
  int Open(int rate, int channels, int bits, int bufferMs, int prebufferMs);
  void Close();
  int Write(const char* buffer, int length);
  int CanWrite();
  int IsPlaying();
  int Pause(int pause);
  void SetVolume(int volume);
  void Flush(int ms);
  int GetOutputTime();
  int GetWrittenTime();

 private:
  using Clock = std::chrono::steady_clock;
  // Room for a few blocks, as a sound card's buffer has.
  static constexpr int kBufferMs = 500;

  // Plays what the time since the last call allows.
  void Advance();
  int64_t Buffered() const { return written_ - int64_t(played_); }
  int64_t Room() const { return capacity_ - Buffered(); }
  int Milliseconds(int64_t bytes) const { return int(bytes * 1000 / bytesPerSecond_); }

  mutable std::mutex mutex_;
  winamp::Out_Module record_{};
  OutputLog log_;
  int speed_ = 20;
  int openAnswer_ = 0;
  bool open_ = false;
  bool paused_ = false;
  int64_t bytesPerSecond_ = 1;
  int64_t capacity_ = 0;
  int64_t written_ = 0;  // since Open or the last Flush
  double played_ = 0;    // of those
  int baseMs_ = 0;       // the time at Open (0) or the last Flush
  Clock::time_point lastTick_;
};

}  // namespace lym::test

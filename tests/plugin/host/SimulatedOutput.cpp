#include "SimulatedOutput.h"

#include <algorithm>

namespace lym::test {
namespace {

SimulatedOutput* current = nullptr;

int OpenEntry(int rate, int channels, int bits, int bufferMs, int prebufferMs) {
  return current->Open(rate, channels, bits, bufferMs, prebufferMs);
}
void CloseEntry() { current->Close(); }
int WriteEntry(char* buffer, int length) { return current->Write(buffer, length); }
int CanWriteEntry() { return current->CanWrite(); }
int IsPlayingEntry() { return current->IsPlaying(); }
int PauseEntry(int pause) { return current->Pause(pause); }
void SetVolumeEntry(int volume) { current->SetVolume(volume); }
void SetPanEntry(int) {}
void FlushEntry(int ms) { current->Flush(ms); }
int GetOutputTimeEntry() { return current->GetOutputTime(); }
int GetWrittenTimeEntry() { return current->GetWrittenTime(); }
void NoWindowEntry(winamp::Window) {}
void NothingEntry() {}

}  // namespace

SimulatedOutput::SimulatedOutput() {
  current = this;
  static char description[] = "lymhost simulated output";
  record_.version = winamp::kOutputVersion;
  record_.description = description;
  record_.Config = NoWindowEntry, record_.About = NoWindowEntry;
  record_.Init = NothingEntry, record_.Quit = NothingEntry;
  record_.Open = OpenEntry, record_.Close = CloseEntry, record_.Write = WriteEntry;
  record_.CanWrite = CanWriteEntry, record_.IsPlaying = IsPlayingEntry, record_.Pause = PauseEntry;
  record_.SetVolume = SetVolumeEntry, record_.SetPan = SetPanEntry, record_.Flush = FlushEntry;
  record_.GetOutputTime = GetOutputTimeEntry, record_.GetWrittenTime = GetWrittenTimeEntry;
}

SimulatedOutput::~SimulatedOutput() { current = nullptr; }

void SimulatedOutput::SetSpeed(int speed) {
  std::lock_guard lock(mutex_);
  Advance();  // what played so far played at the old speed
  speed_ = speed;
}

void SimulatedOutput::SetOpenAnswer(int answer) {
  std::lock_guard lock(mutex_);
  openAnswer_ = answer;
}

OutputLog SimulatedOutput::Log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

bool SimulatedOutput::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

int SimulatedOutput::Open(int rate, int channels, int bits, int, int) {
  std::lock_guard lock(mutex_);
  ++log_.opens;
  log_.rate = rate, log_.channels = channels, log_.bits = bits;
  if (openAnswer_ < 0) return openAnswer_;
  open_ = true;
  paused_ = false;
  bytesPerSecond_ = std::max<int64_t>(int64_t(rate) * channels * (bits / 8), 1);
  capacity_ = bytesPerSecond_ * kBufferMs / 1000;
  written_ = 0, played_ = 0, baseMs_ = 0;
  lastTick_ = Clock::now();
  log_.segments.emplace_back();
  return openAnswer_;
}

void SimulatedOutput::Close() {
  std::lock_guard lock(mutex_);
  ++log_.closes;
  open_ = false;
}

int SimulatedOutput::Write(const char* buffer, int length) {
  std::lock_guard lock(mutex_);
  Advance();
  if (!open_ || log_.segments.empty()) return -1;
  if (length > Room()) ++log_.overruns;
  log_.segments.back().insert(log_.segments.back().end(), buffer, buffer + length);
  log_.largestWrite = std::max(log_.largestWrite, length);
  written_ += length;
  return 0;
}

int SimulatedOutput::CanWrite() {
  std::lock_guard lock(mutex_);
  Advance();
  return open_ ? int(std::max<int64_t>(Room(), 0)) : 0;
}

int SimulatedOutput::IsPlaying() {
  std::lock_guard lock(mutex_);
  Advance();
  return open_ && Buffered() > 0 ? 1 : 0;
}

int SimulatedOutput::Pause(int pause) {
  std::lock_guard lock(mutex_);
  Advance();
  log_.pauses.push_back(pause);
  const bool previous = paused_;
  paused_ = pause != 0;
  return previous ? 1 : 0;
}

void SimulatedOutput::SetVolume(int volume) {
  std::lock_guard lock(mutex_);
  log_.volume = volume;
}

void SimulatedOutput::Flush(int ms) {
  std::lock_guard lock(mutex_);
  log_.flushes.push_back(ms);
  log_.segments.emplace_back();
  written_ = 0, played_ = 0, baseMs_ = ms;
  lastTick_ = Clock::now();
}

int SimulatedOutput::GetOutputTime() {
  std::lock_guard lock(mutex_);
  Advance();
  return baseMs_ + Milliseconds(int64_t(played_));
}

int SimulatedOutput::GetWrittenTime() {
  std::lock_guard lock(mutex_);
  return baseMs_ + Milliseconds(written_);
}

void SimulatedOutput::Advance() {
  const Clock::time_point now = Clock::now();
  if (open_ && !paused_) {
    const double seconds = std::chrono::duration<double>(now - lastTick_).count();
    played_ = std::min(played_ + seconds * speed_ * double(bytesPerSecond_), double(written_));
  }
  lastTick_ = now;
}

}  // namespace lym::test

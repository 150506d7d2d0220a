#include "FakeHost.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace lym::test {
namespace {

std::unique_ptr<FakeHost> host;

template <class F>
void Locked(F&& change) {
  std::lock_guard<std::mutex> lock(host->mutex);
  change(*host);
}

int Open(int rate, int channels, int bits, int, int) {
  Locked([&](FakeHost& h) {
    ++h.opens;
    h.openRate = rate, h.openChannels = channels, h.openBits = bits;
  });
  return host->openAnswer;
}

void Close() {
  Locked([](FakeHost& h) { ++h.closes; });
}

int Write(char* buffer, int length) {
  Locked([&](FakeHost& h) {
    h.pcm.insert(h.pcm.end(), buffer, buffer + length);
    h.largestWrite = std::max(h.largestWrite, length);
  });
  host->room -= length;
  ++host->writes;
  return 0;
}

int CanWrite() { return std::max(host->room.load(), 0); }
int IsPlaying() { return host->stillPlaying.load(); }

int Pause(int pause) {
  Locked([&](FakeHost& h) { h.pauses.push_back(pause); });
  return 0;
}

void SetVolume(int volume) {
  Locked([&](FakeHost& h) { h.volume = volume; });
}
void SetPan(int pan) {
  Locked([&](FakeHost& h) { h.pan = pan; });
}
void Flush(int ms) {
  Locked([&](FakeHost& h) { h.flushes.push_back(ms); });
}
int GetOutputTime() { return host->outputTimeMs; }
int GetWrittenTime() { return host->writtenTimeMs; }

void SAVSAInit(int, int) {
  Locked([](FakeHost& h) { ++h.savsaInits; });
}
void SAVSADeInit() {
  Locked([](FakeHost& h) { ++h.savsaDeInits; });
}
void SAAddPCMData(void*, int, int, int timestamp) {
  Locked([&](FakeHost& h) { h.visualTimestamps.push_back(timestamp); });
}
void VSAAddPCMData(void*, int, int, int) {}
void VSASetInfo(int, int) {}
int DspIsActive() { return host->dspActive.load(); }

// Repeats every sample frame, as a DSP that slows the sound down to half speed might.
int DspDoSamples(short* samples, int frames, int bits, int channels, int) {
  const int frameBytes = channels * bits / 8;
  auto* bytes = reinterpret_cast<uint8_t*>(samples);
  for (int frame = frames - 1; frame >= 0; --frame) {
    std::copy_n(bytes + frame * frameBytes, frameBytes, bytes + 2 * frame * frameBytes);
    std::copy_n(bytes + frame * frameBytes, frameBytes, bytes + (2 * frame + 1) * frameBytes);
  }
  return 2 * frames;
}

void SetInfo(int kbps, int, int, int) {
  Locked([&](FakeHost& h) { h.bitRates.push_back(kbps); });
}

void ShowMessage(winamp::Window owner, const char* text, const char* caption,
                 plugin::TMessageIcon icon) {
  Locked([&](FakeHost& h) { h.messages.push_back({owner, text, caption, icon}); });
}

void PostToWindow(winamp::Window window, unsigned message) {
  if (window == kMainWindow && message == winamp::kEndOfFileMessage) ++host->endOfFilePosts;
}

template <class Condition>
bool WaitFor(Condition done) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

}  // namespace

FakeHost& InstallFakeHost(winamp::In_Module& module) {
  host = std::make_unique<FakeHost>();
  winamp::Out_Module& out = host->output;
  out.version = winamp::kOutputVersion;
  out.Open = Open, out.Close = Close, out.Write = Write, out.CanWrite = CanWrite;
  out.IsPlaying = IsPlaying, out.Pause = Pause, out.SetVolume = SetVolume, out.SetPan = SetPan;
  out.Flush = Flush, out.GetOutputTime = GetOutputTime, out.GetWrittenTime = GetWrittenTime;

  module.hMainWindow = kMainWindow;
  module.outMod = &out;
  module.SAVSAInit = SAVSAInit, module.SAVSADeInit = SAVSADeInit;
  module.SAAddPCMData = SAAddPCMData, module.VSAAddPCMData = VSAAddPCMData;
  module.VSASetInfo = VSASetInfo, module.dsp_isactive = DspIsActive;
  module.dsp_dosamples = DspDoSamples, module.SetInfo = SetInfo;
  plugin::HostCalls() = {ShowMessage, PostToWindow};
  return *host;
}

void UninstallFakeHost(winamp::In_Module& module) {
  module.Stop();
  module.hMainWindow = nullptr;
  module.outMod = nullptr;
  module.SAVSAInit = nullptr, module.SAVSADeInit = nullptr;
  module.SAAddPCMData = nullptr, module.VSAAddPCMData = nullptr;
  module.VSASetInfo = nullptr, module.dsp_isactive = nullptr;
  module.dsp_dosamples = nullptr, module.SetInfo = nullptr;
  plugin::HostCalls() = plugin::SystemHostCalls();
  host.reset();
}

bool WaitForEndOfFile(FakeHost& h) {
  return WaitFor([&] { return h.endOfFilePosts.load() > 0; });
}

bool WaitForWrites(FakeHost& h, int count) {
  return WaitFor([&] { return h.writes.load() >= count; });
}

}  // namespace lym::test

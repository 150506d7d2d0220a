// A stand-in for the player around the plug-in's record: an output that captures the PCM it gets
// and lets a test decide how much room it has and whether it still plays, visualisation and DSP
// hooks (the DSP doubles every sample frame while active), and captured message boxes and posted
// messages. The record's entry points are C function pointers, so the host is a single global.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/HostCalls.h"
#include "plugin/WinampInterface.h"

namespace lym::test {

struct ShownMessage {
  winamp::Window owner;
  std::string text;
  std::string caption;
  plugin::TMessageIcon icon;
};

struct FakeHost {
  // Set by the test.
  std::atomic<int> room{1 << 30};  // bytes the output can take; Write uses them up
  std::atomic<int> stillPlaying{0};
  std::atomic<int> dspActive{0};
  int openAnswer = 0;  // latency, or < 0 for a refusal
  int outputTimeMs = 100;
  int writtenTimeMs = 300;

  // Seen by the output and the hooks (guarded by mutex while a thread may call them).
  std::mutex mutex;
  std::vector<uint8_t> pcm;
  std::vector<int> flushes;
  std::vector<int> visualTimestamps;
  std::vector<int> bitRates;  // SetInfo's kbit/s, the first from Play
  int largestWrite = 0;
  int opens = 0, closes = 0, savsaInits = 0, savsaDeInits = 0;
  int openRate = 0, openChannels = 0, openBits = 0;
  int volume = 0, pan = 0;
  std::vector<int> pauses;
  std::atomic<int> endOfFilePosts{0};
  std::atomic<int> writes{0};
  std::vector<ShownMessage> messages;

  winamp::Out_Module output{};
};

inline const auto kMainWindow = reinterpret_cast<winamp::Window>(0x1234);

// Fills the record's player fields with the fake host and the plug-in's host calls with capturing
// ones; Uninstall stops playback and empties them again.
FakeHost& InstallFakeHost(winamp::In_Module& module);
void UninstallFakeHost(winamp::In_Module& module);

// Polls until the end-of-file message arrived (true) or a few seconds passed (false).
bool WaitForEndOfFile(FakeHost& host);
// Polls until at least count blocks were written.
bool WaitForWrites(FakeHost& host, int count);

}  // namespace lym::test

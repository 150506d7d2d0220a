#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "FakeHost.h"
#include "TestFiles.h"
#include "plugin/InLym.h"
#include "plugin/LymPlayback.h"

namespace lym {
namespace {

using plugin::kBlockFrames;

// 2.5 s of stereo at a rate where rounding and truncating milliseconds differ.
const test::WaveSpec kStereo{16, 2, 11025, 27562, 7};
constexpr int kStereoLengthMs = 2500;  // 27562 / 11025 s = 2499.95 ms, rounded

class PluginPlayback : public ::testing::Test {
 protected:
  void SetUp() override { host_ = &test::InstallFakeHost(module_); }
  void TearDown() override { test::UninstallFakeHost(module_); }

  std::string MakeLym(const test::WaveSpec& spec) {
    const std::string wave = folder_ / "source.wav";
    const std::string lym = folder_ / "song.lym";
    test::WriteFileBytes(wave, test::MakeWaveFile(spec));
    EXPECT_EQ(test::EncodeWaveFile(wave, lym, PresetSettings(0, 0)), 0);
    return lym;
  }

  std::vector<uint8_t> Captured() {
    std::lock_guard<std::mutex> lock(host_->mutex);
    return host_->pcm;
  }

  void PlayToEnd(const std::string& lym) {
    ASSERT_EQ(module_.Play(lym.c_str()), 0);
    ASSERT_TRUE(test::WaitForEndOfFile(*host_));
    module_.Stop();
  }

  static void Wait(std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }

  test::TempFolder folder_;
  winamp::In_Module& module_ = *winampGetInModule2();
  test::FakeHost* host_ = nullptr;
};

std::vector<uint8_t> Tail(const std::vector<uint8_t>& pcm, int64_t frames, int frameBytes) {
  return {pcm.begin() + frames * frameBytes, pcm.end()};
}

TEST_F(PluginPlayback, PlaysEveryFormatToTheEndAndTellsThePlayerOnce) {
  for (const test::WaveSpec spec : {kStereo, test::WaveSpec{8, 1, 8000, 9000, 2},
                                    test::WaveSpec{24, 2, 48000, 20000, 3}}) {
    SCOPED_TRACE(spec.bits);
    test::UninstallFakeHost(module_);
    host_ = &test::InstallFakeHost(module_);
    const std::string lym = MakeLym(spec);
    PlayToEnd(lym);
    EXPECT_EQ(Captured(), test::MakePcmBytes(spec));
    EXPECT_EQ(host_->endOfFilePosts.load(), 1);
    EXPECT_EQ(host_->openRate, spec.rate);
    EXPECT_EQ(host_->openChannels, spec.channels);
    EXPECT_EQ(host_->openBits, spec.bits);
    EXPECT_EQ(host_->largestWrite, kBlockFrames * spec.channels * spec.bits / 8);
    EXPECT_EQ(host_->volume, winamp::kCurrentVolume);
    EXPECT_EQ(host_->closes, 1);
    EXPECT_EQ(host_->savsaInits, 1);
    EXPECT_EQ(host_->savsaDeInits, 1);
  }
}

TEST_F(PluginPlayback, ReportsFormatRateAndPositions) {
  const std::string lym = MakeLym(kStereo);
  PlayToEnd(lym);
  // Play announces the PCM rate; every block then reports the frame's compressed rate.
  ASSERT_GE(host_->bitRates.size(), 2u);
  EXPECT_EQ(host_->bitRates[0], 11025 * 16 * 2 / 1000);
  EXPECT_LT(host_->bitRates.back(), host_->bitRates[0]);
  // Each block's time stamp is where it starts.
  ASSERT_GE(host_->visualTimestamps.size(), 2u);
  EXPECT_EQ(host_->visualTimestamps[0], 0);
  EXPECT_EQ(host_->visualTimestamps[1], kBlockFrames * 1000 / 11025);
}

TEST_F(PluginPlayback, LengthAndOutputTimeFollowThePlayingFile) {
  EXPECT_EQ(module_.GetLength(), 0);
  const std::string lym = MakeLym(kStereo);
  ASSERT_EQ(module_.Play(lym.c_str()), 0);
  EXPECT_EQ(module_.GetLength(), kStereoLengthMs);
  ASSERT_TRUE(test::WaitForEndOfFile(*host_));
  // The decode position (all samples) plus what the output played minus what it was given.
  EXPECT_EQ(module_.GetOutputTime(), 27562 * 1000 / 11025 + 100 - 300);
  module_.Stop();
  EXPECT_EQ(module_.GetLength(), 0);
}

TEST_F(PluginPlayback, EndOfFileWaitsUntilTheOutputHasPlayedEverything) {
  host_->stillPlaying = 1;
  const std::string lym = MakeLym(kStereo);
  ASSERT_EQ(module_.Play(lym.c_str()), 0);
  ASSERT_TRUE(test::WaitForWrites(*host_, 27562 / kBlockFrames + 1));
  Wait(std::chrono::milliseconds(60));
  EXPECT_EQ(host_->endOfFilePosts.load(), 0);
  host_->stillPlaying = 0;
  EXPECT_TRUE(test::WaitForEndOfFile(*host_));
}

TEST_F(PluginPlayback, SeeksToTheRoundedSampleAndPlaysOnFromThere) {
  const std::string lym = MakeLym(kStereo);
  host_->room = 0;  // nothing is decoded before the seek is carried out
  ASSERT_EQ(module_.Play(lym.c_str()), 0);
  module_.SetOutputTime(1237);
  Wait(std::chrono::milliseconds(50));
  host_->room = 1 << 30;
  ASSERT_TRUE(test::WaitForEndOfFile(*host_));
  module_.Stop();

  const int64_t target = 13638;  // 1237 ms × 11.025 = 13637.9, rounded
  EXPECT_EQ(Captured(), Tail(test::MakePcmBytes(kStereo), target, 4));
  EXPECT_EQ(host_->flushes, (std::vector<int>{1237, int(target * 1000 / 11025)}));
  EXPECT_EQ(host_->visualTimestamps.at(0), 1237);
}

TEST_F(PluginPlayback, SeeksAreClampedToTheStreamsFirstAndLastSecond) {
  const std::string lym = MakeLym(kStereo);
  const std::vector<uint8_t> pcm = test::MakePcmBytes(kStereo);
  for (const int request : {kStereoLengthMs + 5000, kStereoLengthMs, -300}) {
    SCOPED_TRACE(request);
    test::UninstallFakeHost(module_);
    host_ = &test::InstallFakeHost(module_);
    host_->room = 0;
    ASSERT_EQ(module_.Play(lym.c_str()), 0);
    module_.SetOutputTime(request);
    Wait(std::chrono::milliseconds(50));
    host_->room = 1 << 30;
    ASSERT_TRUE(test::WaitForEndOfFile(*host_));
    module_.Stop();

    const int clamped = request < 0 ? 0 : kStereoLengthMs - 1000;
    EXPECT_EQ(host_->flushes.at(0), clamped);
    EXPECT_EQ(Captured(), Tail(pcm, (int64_t(clamped) * 11025 + 500) / 1000, 4));
  }
}

TEST_F(PluginPlayback, ASeekAfterTheEndPlaysAgain) {
  const std::string lym = MakeLym(kStereo);
  host_->stillPlaying = 1;  // keeps the thread waiting after the end
  ASSERT_EQ(module_.Play(lym.c_str()), 0);
  ASSERT_TRUE(test::WaitForWrites(*host_, 27562 / kBlockFrames + 1));
  const size_t firstRun = Captured().size();
  module_.SetOutputTime(0);
  host_->stillPlaying = 0;
  ASSERT_TRUE(test::WaitForEndOfFile(*host_));
  module_.Stop();
  EXPECT_EQ(Captured().size(), 2 * firstRun);
}

TEST_F(PluginPlayback, PauseAndStopInTheMiddleLeaveTheOutputClosed) {
  const std::string lym = MakeLym(kStereo);
  const int blockBytes = kBlockFrames * 4;
  host_->room = 3 * blockBytes;  // the output fills up after three blocks
  ASSERT_EQ(module_.Play(lym.c_str()), 0);
  ASSERT_TRUE(test::WaitForWrites(*host_, 3));

  module_.Pause();
  EXPECT_EQ(module_.IsPaused(), 1);
  module_.UnPause();
  EXPECT_EQ(module_.IsPaused(), 0);
  module_.Pause();
  module_.Stop();  // while paused, the thread waiting for room

  EXPECT_EQ(host_->pauses, (std::vector<int>{1, 0, 1}));
  const std::vector<uint8_t> pcm = test::MakePcmBytes(kStereo);
  EXPECT_EQ(Captured(), std::vector<uint8_t>(pcm.begin(), pcm.begin() + 3 * blockBytes));
  EXPECT_EQ(host_->endOfFilePosts.load(), 0);
  EXPECT_EQ(host_->closes, 1);
  EXPECT_EQ(host_->savsaDeInits, 1);
  EXPECT_EQ(module_.GetOutputTime(), 0);
}

TEST_F(PluginPlayback, ActiveDspGetsRoomForTwiceTheBlockAndItsOutputIsWritten) {
  const std::string lym = MakeLym(kStereo);
  const int blockBytes = kBlockFrames * 4;
  host_->dspActive = 1;
  host_->room = 2 * blockBytes - 1;  // enough for a plain block, not for a doubled one
  ASSERT_EQ(module_.Play(lym.c_str()), 0);
  Wait(std::chrono::milliseconds(80));
  EXPECT_EQ(host_->writes.load(), 0);
  host_->room = 1 << 30;
  ASSERT_TRUE(test::WaitForEndOfFile(*host_));
  module_.Stop();

  std::vector<uint8_t> doubled;
  const std::vector<uint8_t> pcm = test::MakePcmBytes(kStereo);
  for (size_t frame = 0; frame < pcm.size(); frame += 4) {
    for (int copy = 0; copy < 2; ++copy) doubled.insert(doubled.end(), &pcm[frame], &pcm[frame + 4]);
  }
  EXPECT_EQ(Captured(), doubled);
  EXPECT_EQ(host_->largestWrite, 2 * blockBytes);
}

TEST_F(PluginPlayback, DamagedFramesPlayAsSilenceAndKeepTheLength) {
  const std::string lym = MakeLym(kStereo);
  std::vector<uint8_t> bytes = test::ReadFileBytes(lym);
  std::fill_n(bytes.begin() + std::ptrdiff_t(bytes.size() / 2), 200, uint8_t(0xFF));
  test::WriteFileBytes(lym, bytes);
  PlayToEnd(lym);

  const std::vector<uint8_t> pcm = test::MakePcmBytes(kStereo);
  const std::vector<uint8_t> played = Captured();
  ASSERT_EQ(played.size(), pcm.size());
  EXPECT_NE(played, pcm);
  size_t soundInsteadOfSilence = 0;
  for (size_t i = 0; i < pcm.size(); ++i) {
    if (played[i] != pcm[i] && played[i] != 0) ++soundInsteadOfSilence;
  }
  EXPECT_EQ(soundInsteadOfSilence, 0u);
  EXPECT_EQ(host_->endOfFilePosts.load(), 1);
}

TEST_F(PluginPlayback, PlayFailsCleanlyForBadFilesAndRefusingOutputs) {
  const std::string missing = folder_ / "missing.lym";
  EXPECT_EQ(module_.Play(missing.c_str()), 1);
  EXPECT_EQ(host_->opens, 0);

  const std::string notLym = folder_ / "noise.lym";
  test::WriteFileBytes(notLym, std::vector<uint8_t>(5000, 0x5A));
  EXPECT_EQ(module_.Play(notLym.c_str()), 1);

  const std::string lym = MakeLym(kStereo);
  host_->openAnswer = -1;
  EXPECT_EQ(module_.Play(lym.c_str()), 1);
  EXPECT_EQ(host_->opens, 1);
  EXPECT_EQ(module_.GetLength(), 0);
  module_.Stop();  // the player stops after a failed play: nothing was opened, nothing to close
  EXPECT_EQ(host_->closes, 0);
  EXPECT_EQ(host_->savsaDeInits, 0);
  EXPECT_TRUE(host_->messages.empty());
}

TEST_F(PluginPlayback, PlayWithoutStopEndsThePreviousPlayback) {
  const std::string lym = MakeLym(kStereo);
  host_->room = 0;
  ASSERT_EQ(module_.Play(lym.c_str()), 0);
  ASSERT_EQ(module_.Play(lym.c_str()), 0);
  EXPECT_EQ(host_->opens, 2);
  EXPECT_EQ(host_->closes, 1);
  module_.Stop();
  EXPECT_EQ(host_->closes, 2);
}

TEST(PluginDuration, RoundsToMillisecondsWithinThirtyTwoBits) {
  EXPECT_EQ(plugin::DurationMs(27562, 11025), 2500);
  EXPECT_EQ(plugin::DurationMs(441, 44100), 10);
  EXPECT_EQ(plugin::DurationMs(0, 44100), 0);
  EXPECT_EQ(plugin::DurationMs(int64_t(1) << 40, 8000), INT32_MAX);
}

}  // namespace
}  // namespace lym

// Playback through the loaded DLL: what reaches the output, the hooks and the main window.
#include <algorithm>
#include <chrono>
#include <ostream>
#include <vector>

#include "HostTest.h"

namespace lym::test {

void PrintTo(const WaveSpec& spec, std::ostream* out) {
  *out << spec.bits << " bits, " << spec.channels << " channels, " << spec.rate << " Hz";
}

namespace {

using namespace std::chrono_literals;

constexpr int kBlockFrames = 576;
// Output speeds: a sound card's, and the fast default that keeps the tests short.
constexpr int kRealTime = 1;
constexpr int kFast = 20;
// A second and a half of stereo at a rate where rounding and truncating milliseconds differ.
const WaveSpec kStereo{16, 2, 11025, 16538, 7};
constexpr int kStereoLengthMs = 1500;  // 16538 / 11025 s = 1500.05 ms, rounded

int FrameBytes(const WaveSpec& spec) { return spec.channels * spec.bits / 8; }

std::vector<uint8_t> From(const std::vector<uint8_t>& pcm, int64_t frame, const WaveSpec& spec) {
  return {pcm.begin() + frame * FrameBytes(spec), pcm.end()};
}

bool IsPrefix(const std::vector<uint8_t>& part, const std::vector<uint8_t>& whole) {
  return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

class LymHostPlayback : public LymHostTest {
 protected:
  // Pumps until the output has played 50 ms; at real-time speed the stream is then in its middle.
  bool PlayingMidStream() {
    return host_.PumpUntil([this] { return host_.Module().GetOutputTime() > 50; });
  }
  // The player's answer to the end-of-file message; afterwards a second message would be here.
  void StopAfterEndOfFile() {
    ASSERT_TRUE(host_.WaitForEndOfFile());
    host_.Module().Stop();
    host_.PumpFor(50ms);
  }
};

class LymHostFormats : public LymHostPlayback, public ::testing::WithParamInterface<WaveSpec> {};

TEST_P(LymHostFormats, PlaysTheWholeStreamAndPostsOneEndOfFileMessage) {
  const WaveSpec spec = GetParam();
  const std::string lym = MakeLym("song.lym", spec);
  ASSERT_EQ(host_.Play(lym), 0);
  EXPECT_EQ(host_.Module().GetLength(), int((spec.samples * 1000 + spec.rate / 2) / spec.rate));
  ASSERT_TRUE(host_.WaitForEndOfFile());
  EXPECT_EQ(host_.Module().GetOutputTime(), PlayedMs(spec));
  StopAfterEndOfFile();
  EXPECT_EQ(host_.EndOfFileMessages(), 1);

  const OutputLog output = host_.Output().Log();
  EXPECT_EQ(output.segments, PcmSegments{MakePcmBytes(spec)});
  EXPECT_EQ(output.opens, 1);
  EXPECT_EQ(output.closes, 1);
  EXPECT_EQ(output.rate, spec.rate);
  EXPECT_EQ(output.channels, spec.channels);
  EXPECT_EQ(output.bits, spec.bits);
  EXPECT_EQ(output.volume, winamp::kCurrentVolume);
  EXPECT_EQ(output.largestWrite, kBlockFrames * FrameBytes(spec));
  EXPECT_EQ(output.overruns, 0);

  const HookLog hooks = host_.Hooks();
  const size_t blocks = size_t((spec.samples + kBlockFrames - 1) / kBlockFrames);
  EXPECT_EQ(hooks.savsaInits, 1);
  EXPECT_EQ(hooks.savsaDeInits, 1);
  ASSERT_EQ(hooks.visualTimestamps.size(), blocks);
  EXPECT_EQ(hooks.visualTimestamps[1], kBlockFrames * 1000 / spec.rate);
  EXPECT_EQ(hooks.vsaBlocks, int(blocks));
  // Play announces the PCM rate, each block the compressed one.
  ASSERT_EQ(hooks.kbps.size(), blocks + 1);
  EXPECT_EQ(hooks.kbps[0], spec.rate * spec.bits * spec.channels / 1000);
  EXPECT_LT(hooks.kbps[1], hooks.kbps[0]);
  EXPECT_TRUE(host_.TakeMessageBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(EightSixteenTwentyFourBits, LymHostFormats,
                         ::testing::Values(WaveSpec{8, 1, 8000, 12000, 2},
                                           WaveSpec{8, 2, 16000, 20000, 3}, kStereo,
                                           WaveSpec{16, 1, 22050, 30000, 4},
                                           WaveSpec{24, 1, 32000, 40000, 5},
                                           WaveSpec{24, 2, 48000, 60000, 6}));

TEST_F(LymHostPlayback, AnActiveDspGetsTwiceTheBlockAndItsOutputIsPlayed) {
  const std::string lym = MakeLym("dsp.lym", kStereo);
  host_.SetDspActive(true);
  ASSERT_EQ(host_.Play(lym), 0);
  StopAfterEndOfFile();

  std::vector<uint8_t> doubled;
  const std::vector<uint8_t> pcm = MakePcmBytes(kStereo);
  const int frameBytes = FrameBytes(kStereo);
  for (auto frame = pcm.begin(); frame != pcm.end(); frame += frameBytes) {
    doubled.insert(doubled.end(), frame, frame + frameBytes);
    doubled.insert(doubled.end(), frame, frame + frameBytes);
  }
  const OutputLog output = host_.Output().Log();
  EXPECT_EQ(output.segments, PcmSegments{doubled});
  EXPECT_EQ(output.largestWrite, 2 * kBlockFrames * frameBytes);
  EXPECT_EQ(output.overruns, 0);  // it waited for room for the doubled block
  EXPECT_EQ(host_.EndOfFileMessages(), 1);
}

struct SeekCase {
  int requestMs;
  int clampedMs;
};

void PrintTo(const SeekCase& seek, std::ostream* out) { *out << seek.requestMs << " ms"; }

class LymHostSeeks : public LymHostPlayback, public ::testing::WithParamInterface<SeekCase> {};

TEST_P(LymHostSeeks, SeekFlushesTheOutputAndPlaysOnFromTheRoundedSample) {
  const SeekCase seek = GetParam();
  const std::string lym = MakeLym("seek.lym", kStereo);
  host_.Output().SetSpeed(kRealTime);
  ASSERT_EQ(host_.Play(lym), 0);
  host_.Module().SetOutputTime(seek.requestMs);
  ASSERT_TRUE(host_.PumpUntil([this] { return host_.Output().Log().flushes.size() == 2; }));
  host_.Output().SetSpeed(kFast);
  ASSERT_TRUE(host_.WaitForEndOfFile());
  EXPECT_EQ(host_.Module().GetOutputTime(), PlayedMs(kStereo));
  host_.Module().Stop();

  const int64_t target = (int64_t(seek.clampedMs) * kStereo.rate + 500) / 1000;
  const OutputLog output = host_.Output().Log();
  EXPECT_EQ(output.flushes, (std::vector<int>{seek.clampedMs, int(target * 1000 / kStereo.rate)}));
  const std::vector<uint8_t> pcm = MakePcmBytes(kStereo);
  ASSERT_EQ(output.segments.size(), 3u);
  EXPECT_TRUE(IsPrefix(output.segments[0], pcm));  // whatever came before the seek
  EXPECT_TRUE(output.segments[1].empty());
  EXPECT_EQ(output.segments[2], From(pcm, target, kStereo));
  EXPECT_EQ(output.overruns, 0);
}

INSTANTIATE_TEST_SUITE_P(
    ClampedToTheStream, LymHostSeeks,
    ::testing::Values(SeekCase{321, 321}, SeekCase{-300, 0},
                      SeekCase{kStereoLengthMs, kStereoLengthMs - 1000},
                      SeekCase{kStereoLengthMs + 5000, kStereoLengthMs - 1000}));

TEST_F(LymHostPlayback, PauseHoldsTheClockAndLosesNothing) {
  const std::string lym = MakeLym("pause.lym", kStereo);
  host_.Output().SetSpeed(kRealTime);
  ASSERT_EQ(host_.Play(lym), 0);
  ASSERT_TRUE(PlayingMidStream());
  host_.Module().Pause();
  EXPECT_EQ(host_.Module().IsPaused(), 1);
  // The paused output fills up and the plug-in waits for room.
  const int blockBytes = kBlockFrames * FrameBytes(kStereo);
  ASSERT_TRUE(host_.PumpUntil([&] { return host_.Output().CanWrite() < blockBytes; }));
  const int pausedAt = host_.Module().GetOutputTime();
  const size_t writtenBytes = host_.Output().Log().segments[0].size();
  host_.PumpFor(100ms);
  EXPECT_EQ(host_.Module().GetOutputTime(), pausedAt);
  EXPECT_EQ(host_.Output().Log().segments[0].size(), writtenBytes);
  EXPECT_LT(pausedAt, kStereoLengthMs);

  host_.Module().UnPause();
  EXPECT_EQ(host_.Module().IsPaused(), 0);
  host_.Output().SetSpeed(kFast);
  StopAfterEndOfFile();
  const OutputLog output = host_.Output().Log();
  EXPECT_EQ(output.pauses, (std::vector<int>{1, 0}));
  EXPECT_EQ(output.segments, PcmSegments{MakePcmBytes(kStereo)});
  EXPECT_EQ(host_.EndOfFileMessages(), 1);
}

TEST_F(LymHostPlayback, StopMidStreamPlayingOrPausedClosesEverything) {
  const std::string lym = MakeLym("stop.lym", kStereo);
  const std::vector<uint8_t> pcm = MakePcmBytes(kStereo);
  host_.Output().SetSpeed(kRealTime);
  for (const bool paused : {false, true}) {
    SCOPED_TRACE(paused ? "paused" : "playing");
    ASSERT_EQ(host_.Play(lym), 0);
    ASSERT_TRUE(PlayingMidStream());
    if (paused) host_.Module().Pause();
    host_.Module().Stop();

    EXPECT_FALSE(host_.Output().IsOpen());
    const OutputLog output = host_.Output().Log();
    EXPECT_EQ(output.closes, output.opens);
    EXPECT_FALSE(output.segments.back().empty());
    EXPECT_LT(output.segments.back().size(), pcm.size());
    EXPECT_TRUE(IsPrefix(output.segments.back(), pcm));
    const HookLog hooks = host_.Hooks();
    EXPECT_EQ(hooks.savsaDeInits, hooks.savsaInits);
    EXPECT_EQ(host_.Module().GetLength(), 0);
    EXPECT_EQ(host_.Module().GetOutputTime(), 0);
  }
  host_.PumpFor(100ms);
  EXPECT_EQ(host_.EndOfFileMessages(), 0);
}

// The player unloads the DLL after Quit; a thread still decoding then would hang the unloading.
TEST_F(LymHostPlayback, QuitWhilePlayingStopsFirst) {
  host_.Output().SetSpeed(kRealTime);
  ASSERT_EQ(host_.Play(MakeLym("quit.lym", kStereo)), 0);
  ASSERT_TRUE(PlayingMidStream());
  host_.Module().Quit();
  EXPECT_FALSE(host_.Output().IsOpen());
  EXPECT_EQ(host_.Hooks().savsaDeInits, 1);
  EXPECT_EQ(host_.Module().GetLength(), 0);
}

TEST_F(LymHostPlayback, PlayRefusesUnreadableFilesAndARefusingOutputQuietly) {
  EXPECT_EQ(host_.Play(folder_ / "missing.lym"), 1);
  const std::string noise = folder_ / "noise.lym";
  WriteFileBytes(noise, std::vector<uint8_t>(5000, 0x5A));
  EXPECT_EQ(host_.Play(noise), 1);
  EXPECT_EQ(host_.Output().Log().opens, 0);

  host_.Output().SetOpenAnswer(-1);
  EXPECT_EQ(host_.Play(MakeLym("refused.lym", kStereo)), 1);
  host_.Module().Stop();  // the player stops after a failed play
  const OutputLog output = host_.Output().Log();
  EXPECT_EQ(output.opens, 1);
  EXPECT_EQ(output.closes, 0);
  EXPECT_EQ(host_.Hooks().savsaInits, 0);
  EXPECT_TRUE(host_.TakeMessageBoxes().empty());
}

}  // namespace
}  // namespace lym::test

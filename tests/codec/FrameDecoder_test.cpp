#include "codec/FrameDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "FrameWriter.h"
#include "KernelHarness.h"
#include "codec/FramePositions.h"

namespace lym {
namespace {

using test::CoefficientSpec;
using test::FrameWriter;
using test::SubFrameSpec;
using test::Values;

constexpr int32_t kRate = 44100;
constexpr int32_t kMaxFrame = 4096;

// How one channel block is coded.
struct ChannelPlan {
  int shift = 0;
  bool preFilter = false;
  int preFilterShift = 0;
  CoefficientSpec preFilterSet;
  std::vector<SubFrameSpec> subFrames;
};

SubFrameSpec DifferenceSubFrame(int cell, int order = 0) {
  SubFrameSpec spec;
  spec.cell = cell;
  spec.differenceOrder = order;
  return spec;
}

SubFrameSpec PredictorSubFrame(int cell, int orderIndex, int scaleShift, CoefficientSpec set,
                               int warmUpOrder = 0) {
  SubFrameSpec spec = DifferenceSubFrame(cell, warmUpOrder);
  spec.predictor = true;
  spec.orderIndex = orderIndex;
  spec.scaleShift = scaleShift;
  spec.set = std::move(set);
  return spec;
}

ChannelPlan Plain(std::vector<SubFrameSpec> subFrames = {DifferenceSubFrame(0)}) {
  ChannelPlan plan;
  plan.subFrames = std::move(subFrames);
  return plan;
}

ChannelPlan PreFiltered(int shift, CoefficientSpec set) {
  ChannelPlan plan = Plain();
  plan.preFilter = true;
  plan.preFilterShift = shift;
  plan.preFilterSet = std::move(set);
  return plan;
}

// A noisy sine, in steps of 2^shift.
Values Signal(std::mt19937& random, int32_t n, int32_t amplitude, int shift = 0) {
  Values pcm(static_cast<size_t>(n));
  std::uniform_int_distribution<int32_t> noise(-amplitude / 50 - 1, amplitude / 50 + 1);
  const double step = 0.02 + (random() % 100) / 1000.0;
  for (int32_t i = 0; i < n; ++i) {
    const auto value = int32_t(amplitude * 0.9 * std::sin(step * i)) + noise(random);
    pcm[size_t(i)] = value / (1 << shift) * (1 << shift);
  }
  return pcm;
}

// Values 1..n-1 of a channel block: sample-to-sample differences, scaled down by the shift.
Values Differences(const Values& pcm, int shift) {
  Values d;
  for (size_t i = 1; i < pcm.size(); ++i) d.push_back((pcm[i] - pcm[i - 1]) >> shift);
  return d;
}

// Sample starts of the sub-frames' first cells for a frame of n samples.
std::vector<int32_t> CellStarts(int32_t n, const std::vector<SubFrameSpec>& subFrames) {
  const TFramePositions grid(kRate, 8, 8, 64, 2, kMaxFrame);
  TSubFramePositions layout(grid);
  layout.SetLayout(n, grid.Level());
  std::vector<int32_t> starts;
  for (const SubFrameSpec& spec : subFrames) starts.push_back(layout.PartitionStart(spec.cell));
  return starts;
}

// Writes a block whose difference values (after any joint coding) are `values`.
void WriteBlock(FrameWriter& writer, int32_t firstSample, const Values& values,
                const ChannelPlan& plan) {
  writer.BlockStart(plan.shift, firstSample >> plan.shift);
  Values stored = values;
  if (plan.preFilter) {
    writer.PreFilter(plan.preFilterShift, plan.preFilterSet);
    stored = test::StoredResiduals(values, plan.preFilterSet, plan.preFilterShift,
                                   10 - plan.preFilterSet.p);
  } else {
    writer.NoPreFilter();
  }
  writer.SubFrames(plan.subFrames, CellStarts(int32_t(values.size()) + 1, plan.subFrames), stored);
}

std::vector<uint8_t> MonoFrame(const Values& pcm, const ChannelPlan& plan, int bits = 16) {
  FrameWriter writer(kRate, bits, kMaxFrame);
  WriteBlock(writer, pcm[0], Differences(pcm, plan.shift), plan);
  return writer.Finish();
}

bool DecodeMono(const std::vector<uint8_t>& payload, int32_t n, Values& out, int bits = 16,
                uint32_t cpuFlags = kCpuFlagVector) {
  TFrameDecoder decoder(cpuFlags, kMaxFrame, bits, kRate);
  int32_t bytes = int32_t(payload.size());
  out.assign(size_t(n), 0);
  const bool ok = decoder.DecodeMono(payload.data(), bytes, n, out.data());
  EXPECT_TRUE(!ok || bytes == int32_t(payload.size()));
  return ok;
}

bool DecodeStereo(const std::vector<uint8_t>& payload, int32_t n, Values& out0, Values& out1,
                  int bits = 16) {
  TFrameDecoder decoder(kCpuFlagVector, kMaxFrame, bits, kRate);
  int32_t bytes = int32_t(payload.size());
  out0.assign(size_t(n), 0);
  out1.assign(size_t(n), 0);
  const bool ok = decoder.DecodeStereo(payload.data(), bytes, n, out1.data(), out0.data());
  EXPECT_TRUE(!ok || bytes == int32_t(payload.size()));
  return ok;
}

// Every shorter payload must fail cleanly.
void ExpectTruncationsFail(const std::vector<uint8_t>& payload, int32_t n, bool stereo) {
  TFrameDecoder decoder(kCpuFlagVector, kMaxFrame, 16, kRate);
  Values out0(static_cast<size_t>(n)), out1(static_cast<size_t>(n));
  for (size_t length = 0; length < payload.size(); ++length) {
    const std::vector<uint8_t> cut(payload.begin(), payload.begin() + length);
    int32_t bytes = int32_t(length);
    const bool ok = stereo ? decoder.DecodeStereo(cut.data(), bytes, n, out1.data(), out0.data())
                           : decoder.DecodeMono(cut.data(), bytes, n, out0.data());
    ASSERT_FALSE(ok) << "decoded from " << length << " of " << payload.size() << " bytes";
  }
}

CoefficientSpec RandomSet(std::mt19937& random, int orderIndex) {
  CoefficientSpec set;
  set.order = kOrderTable[orderIndex];
  set.p = int(random() % 8);
  set.differential = set.order >= 12 && random() % 2 == 0;
  const int32_t limit = set.differential ? 2000 : 1 << (random() % 14);
  for (int32_t j = 0; j < set.order; ++j)
    set.c.push_back(int32_t(random() % uint32_t(2 * limit)) - limit);
  return set;
}

TEST(FrameDecoder, RawSamplesBelowSixteen) {
  std::mt19937 random(test::TestSeed());
  for (int bits : {8, 16, 24}) {
    for (int32_t n = 1; n < 16; ++n) {
      Values ch0(static_cast<size_t>(n)), ch1(static_cast<size_t>(n));
      FrameWriter stereo(kRate, bits, kMaxFrame), mono(kRate, bits, kMaxFrame);
      for (auto* channel : {&ch0, &ch1}) {
        for (int32_t& v : *channel) {
          v = int32_t(random() % (1u << bits)) - (1 << (bits - 1));
          stereo.Field(uint32_t(v), bits);
          if (channel == &ch0) mono.Field(uint32_t(v), bits);
        }
      }
      const auto payload = stereo.Finish();
      ASSERT_EQ(payload.size(), size_t(2 * n * bits / 8));
      Values out0, out1;
      ASSERT_TRUE(DecodeStereo(payload, n, out0, out1, bits));
      EXPECT_EQ(out0, ch0);
      EXPECT_EQ(out1, ch1);
      ASSERT_TRUE(DecodeMono(mono.Finish(), n, out0, bits));
      EXPECT_EQ(out0, ch0);
    }
  }
}

TEST(FrameDecoder, ConstantChannelFromTheSmallestBlock) {
  const Values pcm(100, -1234);
  const auto payload = MonoFrame(pcm, Plain());
  Values out;
  ASSERT_TRUE(DecodeMono(payload, 100, out));
  EXPECT_EQ(out, pcm);
}

TEST(FrameDecoder, ShiftsUpToOneBelowTheSampleWidth) {
  std::mt19937 random(test::TestSeed());
  for (int bits : {16, 24}) {
    for (int shift : {1, 7, 15, 16}) {
      ChannelPlan plan = Plain();
      plan.shift = shift;
      const Values pcm = Signal(random, 300, (1 << (bits - 1)) - 1, shift);
      Values out;
      const bool valid = shift < bits;
      ASSERT_EQ(DecodeMono(MonoFrame(pcm, plan, bits), 300, out, bits), valid) << shift;
      if (valid) {
        EXPECT_EQ(out, pcm);
      }
    }
  }
}

TEST(FrameDecoder, OneBitFirstSampleKeepsItsSign) {
  ChannelPlan plan = Plain();
  plan.shift = 15;
  const Values pcm(64, -32768);
  Values out;
  ASSERT_TRUE(DecodeMono(MonoFrame(pcm, plan), 64, out));
  EXPECT_EQ(out, pcm);
}

TEST(FrameDecoder, SubFrameLayouts) {
  std::mt19937 random(test::TestSeed());
  const Values pcm = Signal(random, 2000, 20000);
  ChannelPlan plan = Plain();
  plan.subFrames = {DifferenceSubFrame(0), DifferenceSubFrame(2, 1), DifferenceSubFrame(5, 2),
                    DifferenceSubFrame(6), DifferenceSubFrame(10, 1)};
  const auto payload = MonoFrame(pcm, plan);
  Values out;
  ASSERT_TRUE(DecodeMono(payload, 2000, out));
  EXPECT_EQ(out, pcm);
  ExpectTruncationsFail(payload, 2000, false);

  // Cells must rise and stay below the frame's cell count; at most five sub-frames.
  for (const std::vector<int>& cells : {std::vector<int>{0, 5, 5}, std::vector<int>{0, 6, 2},
                                        std::vector<int>{0, 45}}) {
    FrameWriter writer(kRate, 16, kMaxFrame);
    writer.BlockStart(0, 0);
    writer.NoPreFilter();
    writer.Field(uint32_t(cells.size() - 1), 3);
    for (size_t i = 1; i < cells.size(); ++i) writer.Field(uint32_t(cells[i]), 6);
    writer.Field(0, 32);
    EXPECT_FALSE(DecodeMono(writer.Finish(), 2000, out)) << cells[1];
  }
  for (uint32_t countField : {5u, 6u, 7u}) {
    FrameWriter writer(kRate, 16, kMaxFrame);
    writer.BlockStart(0, 0);
    writer.NoPreFilter();
    writer.Field(countField, 3);
    writer.Field(0, 32);
    EXPECT_FALSE(DecodeMono(writer.Finish(), 2000, out));
  }
}

// Every order with random coefficient sets, at every kernel level, against samples the test chose.
TEST(FrameDecoder, PredictorSubFramesOfEveryOrder) {
  std::mt19937 random(test::TestSeed());
  for (int orderIndex = 0; orderIndex < kOrderCount; ++orderIndex) {
    const SubFrameSpec spec = PredictorSubFrame(0, orderIndex, int(random() % 4),
                                                RandomSet(random, orderIndex), int(random() % 3));
    const ChannelPlan plan = Plain({spec});
    const int32_t n = 300 + int32_t(random() % 1500);
    const Values pcm = Signal(random, n, 30000);
    const auto payload = MonoFrame(pcm, plan);
    test::ForEachLevel([&](TKernelLevel level) {
      CapKernelLevel(level);
      Values out;
      ASSERT_TRUE(DecodeMono(payload, n, out)) << "order " << spec.set.order;
      EXPECT_EQ(out, pcm) << "order " << spec.set.order;
    });
    CapKernelLevel(TKernelLevel::Avx2);
  }
}

// Scaled values beyond 16 bits leave the 16-bit history of the vector kernels mid-frame.
TEST(FrameDecoder, PredictorWithWideValues) {
  std::mt19937 random(test::TestSeed());
  for (int orderIndex : {0, 3, 5, 15}) {
    const ChannelPlan plan = Plain({PredictorSubFrame(0, orderIndex, 0, RandomSet(random, orderIndex))});
    const Values pcm = Signal(random, 1200, 1 << 22);
    test::ForEachLevel([&](TKernelLevel level) {
      CapKernelLevel(level);
      Values out;
      ASSERT_TRUE(DecodeMono(MonoFrame(pcm, plan, 24), 1200, out, 24));
      EXPECT_EQ(out, pcm);
    });
    CapKernelLevel(TKernelLevel::Avx2);
  }
}

TEST(FrameDecoder, PredictorOrderAboveItsSubFrameFails) {
  std::mt19937 random(test::TestSeed());
  const Values pcm = Signal(random, 40, 1000);
  const ChannelPlan plan = Plain({PredictorSubFrame(0, 4, 0, RandomSet(random, 4))});  // order 24
  Values out;
  EXPECT_TRUE(DecodeMono(MonoFrame(pcm, plan), 40, out));
  FrameWriter writer(kRate, 16, kMaxFrame);
  writer.BlockStart(0, pcm[0]);
  writer.NoPreFilter();
  writer.Field(0, 3);
  writer.Field(1, 1);  // predictor
  writer.Field(0, 4);
  writer.Field(6, 4);  // order 48 in a sub-frame of 39 values
  writer.Field(0, 32);
  EXPECT_FALSE(DecodeMono(writer.Finish(), 40, out));
}

TEST(FrameDecoder, PreFilteredChannels) {
  std::mt19937 random(test::TestSeed());
  ChannelPlan plan = PreFiltered(2, {4, 1, false, {-300, 900, -1500, 1900}});
  plan.subFrames = {DifferenceSubFrame(0), PredictorSubFrame(4, 1, 1, RandomSet(random, 1), 1)};
  const Values pcm = Signal(random, 1500, 25000);
  test::ForEachLevel([&](TKernelLevel level) {
    CapKernelLevel(level);
    Values out;
    ASSERT_TRUE(DecodeMono(MonoFrame(pcm, plan), 1500, out));
    EXPECT_EQ(out, pcm);
  });
  CapKernelLevel(TKernelLevel::Avx2);

  // Only order 4 (index 0) is a pre-filter.
  FrameWriter writer(kRate, 16, kMaxFrame);
  writer.BlockStart(0, 0);
  writer.PreFilter(0, {8, 0, false, Values(8, 1)}, 1);
  writer.Field(0, 32);
  Values out;
  EXPECT_FALSE(DecodeMono(writer.Finish(), 1500, out));
}

// A stereo frame in any mode, built from the two channels the test wants back.
std::vector<uint8_t> StereoFrame(const Values& ch0, const Values& ch1, uint32_t mode,
                                 const ChannelPlan& plan0, const ChannelPlan& plan1,
                                 const test::CoefficientSpec* joint = nullptr, bool head = false,
                                 bool tail = false, int jointShift = 0) {
  FrameWriter writer(kRate, 16, kMaxFrame);
  writer.Field(mode, 3);
  const Values d0 = Differences(ch0, 0), d1 = Differences(ch1, 0);
  const auto count = int32_t(d0.size());
  Values difference(d0.size());
  for (size_t i = 0; i < d0.size(); ++i) difference[i] = d1[i] - d0[i];
  switch (mode) {
    case 0:
      WriteBlock(writer, ch0[0], d0, plan0);
      WriteBlock(writer, ch1[0], d1, plan1);
      break;
    case 1:
    case 2: {
      const Values& source = mode == 1 ? d0 : d1;
      const Values& target = mode == 1 ? d1 : d0;
      Values coded = target;
      if (count >= kMinJointPredictorValues) {
        // Each middle value is stored as its prediction from source[t - 4 .. t + 3] x 2^X minus
        // the value itself.
        for (int32_t t = 4; t <= count - 4; ++t) {
          const int64_t predicted =
              int64_t(test::ReferencePrediction(*joint, jointShift, source.data(), t + 4, 10))
              << jointShift;
          coded[size_t(t)] = int32_t(predicted - target[size_t(t)]);
        }
        for (int32_t i = 0; i < 4 && head; ++i) coded[size_t(i)] -= source[size_t(i)];
        for (int32_t i = count - 3; i < count && tail; ++i) coded[size_t(i)] -= source[size_t(i)];
      }
      WriteBlock(writer, mode == 1 ? ch0[0] : ch1[0], source, plan0);
      writer.JointParameters(head, tail, jointShift, *joint);
      WriteBlock(writer, mode == 1 ? ch1[0] : ch0[0], coded, plan1);
      break;
    }
    case 3:
      WriteBlock(writer, ch0[0], d0, plan0);
      WriteBlock(writer, ch1[0], difference, plan1);
      break;
    case 4:
      WriteBlock(writer, ch1[0], d1, plan0);
      WriteBlock(writer, ch0[0], difference, plan1);
      break;
    case 5: {
      Values mid(d0.size());
      for (size_t i = 0; i < d0.size(); ++i) mid[i] = d0[i] + (difference[i] >> 1);
      WriteBlock(writer, ch0[0], mid, plan0);
      WriteBlock(writer, ch1[0], difference, plan1);
      break;
    }
  }
  return writer.Finish();
}

TEST(FrameDecoder, StereoModes) {
  std::mt19937 random(test::TestSeed());
  const CoefficientSpec joint{8, 0, false, {-20, 40, -100, 600, 700, -150, 50, -10}};
  for (uint32_t mode = 0; mode <= 5; ++mode) {
    for (int32_t n : {16, 200, 257, 1800}) {
      const Values ch0 = Signal(random, n, 20000);
      Values ch1 = Signal(random, n, 15000);
      for (size_t i = 0; i < ch1.size(); ++i) ch1[i] = (ch1[i] + ch0[i]) / 2;
      const ChannelPlan plan0 = Plain();
      const ChannelPlan plan1 =
          Plain({n > 100 ? PredictorSubFrame(0, 1, 0, RandomSet(random, 1), 1) : DifferenceSubFrame(0, 1)});
      for (bool flags : {false, true}) {
        const auto payload = StereoFrame(ch0, ch1, mode, plan0, plan1, &joint, flags, !flags, 1);
        Values out0, out1;
        ASSERT_TRUE(DecodeStereo(payload, n, out0, out1)) << "mode " << mode << " n " << n;
        EXPECT_EQ(out0, ch0) << "mode " << mode << " n " << n;
        EXPECT_EQ(out1, ch1) << "mode " << mode << " n " << n;
        if (n == 257 && flags) ExpectTruncationsFail(payload, n, true);
      }
    }
  }
}

TEST(FrameDecoder, StereoRulesThatRejectAFrame) {
  std::mt19937 random(test::TestSeed());
  const Values ch0 = Signal(random, 300, 20000), ch1 = Signal(random, 300, 20000);
  Values out0, out1;
  const ChannelPlan plain = Plain();
  const ChannelPlan filtered = PreFiltered(0, {4, 0, false, {0, 0, 0, 1024}});
  EXPECT_TRUE(DecodeStereo(StereoFrame(ch0, ch1, 0, filtered, plain), 300, out0, out1));
  for (uint32_t mode : {3u, 4u, 5u}) {
    EXPECT_FALSE(DecodeStereo(StereoFrame(ch0, ch1, mode, plain, filtered), 300, out0, out1));
    EXPECT_FALSE(DecodeStereo(StereoFrame(ch0, ch1, mode, filtered, plain), 300, out0, out1));
  }
  for (uint32_t mode : {6u, 7u}) {
    FrameWriter writer(kRate, 16, kMaxFrame);
    writer.Field(mode, 3);
    writer.Field(0, 32);
    EXPECT_FALSE(DecodeStereo(writer.Finish(), 300, out0, out1));
  }
  for (int orderIndex : {0, 2, 3}) {
    FrameWriter writer(kRate, 16, kMaxFrame);
    writer.Field(1, 3);
    WriteBlock(writer, ch0[0], Differences(ch0, 0), plain);
    writer.JointParameters(false, false, 0, {4, 0, false, {1, 2, 3, 4}}, orderIndex);
    WriteBlock(writer, ch1[0], Differences(ch1, 0), plain);
    EXPECT_FALSE(DecodeStereo(writer.Finish(), 300, out0, out1)) << orderIndex;
  }
}

TEST(FrameDecoder, MidAndDifference) {
  int32_t mid[] = {0}, difference[] = {-5};
  ApplyJointMid(mid, difference, 1);
  EXPECT_EQ(mid[0], 3);
  EXPECT_EQ(difference[0], -2);
}

TEST(FrameDecoder, PaddingMustBeZero) {
  // A constant whose block does not end on a byte boundary leaves padding in the last byte, whose
  // highest bit is then padding.
  for (int32_t value = 1; value < 64; ++value) {
    FrameWriter writer(kRate, 16, kMaxFrame);
    WriteBlock(writer, value, Values(99, 0), Plain());
    if (writer.Bits().BitsUsed() % 8 == 0) continue;
    auto payload = writer.Finish();
    Values out;
    ASSERT_TRUE(DecodeMono(payload, 100, out));
    payload.back() ^= 0x80;
    EXPECT_FALSE(DecodeMono(payload, 100, out));
    return;
  }
  FAIL() << "every block ended on a byte boundary";
}

TEST(FrameDecoder, FrameLengthOutsideOneToTheLargest) {
  TFrameDecoder decoder(0, 1000, 16, kRate);
  std::vector<uint8_t> payload(64);
  Values out(2000);
  for (int32_t n : {0, -1, 1001}) {
    int32_t bytes = 64;
    EXPECT_FALSE(decoder.DecodeMono(payload.data(), bytes, n, out.data()));
  }
}

}  // namespace
}  // namespace lym

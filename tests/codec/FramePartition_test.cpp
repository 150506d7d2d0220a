#include "codec/FramePartition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "codec/DifferenceOrder.h"
#include "codec/FrameDecoder.h"
#include "codec/LpcEstimate.h"
#include "FrameWriter.h"
#include "KernelHarness.h"

namespace lym {
namespace {

using test::Values;
constexpr int32_t kRate = 44100;
constexpr int32_t kMaxFrame = 4096;
constexpr int32_t kCapacity = kMaxFrame - 1;

// Stretches of noise and tones whose loudness and colour change at uneven places.
Values ChangingSignal(int32_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, 1);
  Values x(static_cast<size_t>(n));
  const double amplitudes[] = {300, 4000, 40, 1500, 9000};
  for (int32_t t = 0; t < n; ++t) {
    const int part = int(int64_t(t) * 5 * 7 / 6 / n) % 5;
    const double tone = part % 2 == 0 ? std::sin(0.2 * t + part) : 0;
    x[size_t(t)] = int32_t(std::lround(amplitudes[part] * (tone + 0.3 * noise(random))));
  }
  return x;
}

std::vector<int64_t> DirectAutocorrelation(const Values& x, int32_t from, int32_t to, int lags) {
  std::vector<int64_t> r(size_t(lags), 0);
  for (int k = 0; k < lags; ++k)
    for (int32_t t = from + k; t < to; ++t) r[size_t(k)] += int64_t(x[size_t(t)]) * x[size_t(t - k)];
  return r;
}

// Starts of the search units, as the decoder's grid lays them out over the frame's samples.
std::vector<int32_t> UnitStarts(int32_t rate, int resolution, int32_t n) {
  const TFramePositions grid(rate, 8, 8, 64, 2, kMaxFrame);
  TSubFramePositions layout(grid);
  layout.SetLayout(n + 1, resolution);
  std::vector<int32_t> starts;
  for (int32_t u = 0; u < layout.Count(); ++u) starts.push_back(layout.PartitionStart(u));
  starts.push_back(n);
  return starts;
}

// A range's cost from first principles: scale, direct autocorrelation, order-4 estimate.
class ReferenceCosts {
 public:
  ReferenceCosts(const Values& x, std::vector<int32_t> starts) : starts_(std::move(starts)) {
    uint32_t magnitudes = 0;
    for (int32_t v : x) magnitudes |= uint32_t(v < 0 ? -int64_t(v) : v);
    s_ = ScaleShiftFor(magnitudes);
    for (int32_t v : x) scaled_.push_back(v >= 0 ? v >> s_ : -((-v) >> s_));
  }
  int64_t Cost(size_t first, size_t last) const {
    const int32_t from = starts_[first], to = starts_[last + 1];
    const auto r = DirectAutocorrelation(scaled_, from, to, 5);
    return QuickPredictionBits(to - from, r.data()).Bits + int64_t(s_) * (to - from);
  }
  size_t Units() const { return starts_.size() - 1; }

 private:
  std::vector<int32_t> starts_;
  Values scaled_;
  int s_ = 0;
};

Values Differences(const Values& pcm) {
  Values differences(pcm.size() - 1);
  for (size_t i = 1; i < pcm.size(); ++i) differences[i - 1] = pcm[i] - pcm[i - 1];
  return differences;
}

// A frame of one channel whose sub-frames, split as the record says, are difference blocks.
void ExpectSplitDecodes(int32_t rate, const Values& pcm, const TPartitionRecord& record) {
  const Values differences = Differences(pcm);
  test::FrameWriter writer(rate, 16, kMaxFrame);
  writer.BlockStart(0, pcm[0]);
  writer.NoPreFilter();
  WritePartition(writer.Bits(), record);
  for (int32_t i = 0; i < record.Count; ++i) {
    const Values part(differences.begin() + record.Borders[size_t(i)].Start,
                      differences.begin() + record.Borders[size_t(i) + 1].Start);
    writer.Bits().WriteBit(false);
    writer.DifferenceBlock(part, ChooseDifferenceOrder(part.data(), int32_t(part.size())).Order);
  }
  const std::vector<uint8_t> payload = writer.Finish();
  TFrameDecoder decoder(0, kMaxFrame, 16, rate);
  Values out(pcm.size());
  int32_t bytes = int32_t(payload.size());
  ASSERT_TRUE(decoder.DecodeMono(payload.data(), bytes, int32_t(pcm.size()), out.data()));
  EXPECT_EQ(bytes, int32_t(payload.size()));
  EXPECT_EQ(out, pcm);
}

std::vector<int32_t> StartsOf(const TPartitionRecord& record) {
  std::vector<int32_t> starts;
  for (int32_t i = 0; i <= record.Count; ++i) starts.push_back(record.Borders[size_t(i)].Start);
  return starts;
}

TEST(FramePartition, SumsOfSegmentsAreTheAutocorrelationOfTheirUnion) {
  std::mt19937 random(17);
  Values x(1000);
  for (int32_t& v : x) v = int32_t(random() % 16384) - 8192;
  x[0] = -8192;
  std::vector<int16_t> x16(x.begin(), x.end());
  const std::vector<int32_t> starts = {0, 5, 13, 100, 104 + 1, 400, 993, 1000};
  const int32_t count = int32_t(starts.size()) - 1;
  TFramePartitionCorrs corrs(10, 5);
  corrs.Fill(DspKernels(kCpuFlagVector), x16.data(), starts.data(), count);
  for (int32_t first = 0; first < count; ++first) {
    int64_t forward[5];
    corrs.Begin(first, forward);
    for (int32_t last = first; last < count; ++last) {
      if (last > first) corrs.Append(last, forward);
      EXPECT_EQ(std::vector<int64_t>(forward, forward + 5),
                DirectAutocorrelation(x, starts[size_t(first)], starts[size_t(last) + 1], 5))
          << first << ".." << last;
    }
    int64_t backward[5];
    corrs.Begin(count - 1, backward);
    for (int32_t from = count - 2; from >= first; --from) corrs.Prepend(from, backward);
    EXPECT_EQ(std::vector<int64_t>(backward, backward + 5),
              DirectAutocorrelation(x, starts[size_t(first)], 1000, 5));
  }
}

TEST(FramePartition, ChannelsBelowSeventeenValuesAreOneSubFrame) {
  TFramePartitionCalculator calculator(0, kRate, 2, 5, kCapacity);
  const Values x = {5, -3, 200, 7, 7, 7, 1, 0, -9, 4, 4, 1000, 2, 3, 4, 5};
  for (int32_t n : {0, 1, 16}) {
    TPartitionResult result;
    EXPECT_FALSE(calculator.FindPartition(x.data(), n, 32, result));
    EXPECT_EQ(result.MaxCount, 1);
    EXPECT_EQ(result.Chosen, 1);
    EXPECT_EQ(result.ChosenBits, DifferenceBits(x.data(), n));
    EXPECT_EQ(result.Sizes[0], result.ChosenBits);
    EXPECT_EQ(result.Sizes[1], TPartitionResult::kNoSplit);
    const TPartitionRecord& record = result.ChosenRecord();
    EXPECT_EQ(record.Count, 1);
    EXPECT_EQ(record.Borders[0].Cell, 0);
    EXPECT_EQ(record.Borders[0].Start, 0);
    EXPECT_EQ(record.Borders[1].Cell, 1);
    EXPECT_EQ(record.Borders[1].Start, n);
  }
}

// Every range of silence costs the same, so every split of a count ties: the lowest borders win,
// and no extra sub-frame pays.
TEST(FramePartition, TiesKeepTheLowestBorders) {
  TFramePartitionCalculator calculator(0, kRate, 1, 5, kCapacity);
  const Values silence(kCapacity, 0);
  TPartitionResult result;
  EXPECT_FALSE(calculator.FindPartition(silence.data(), kCapacity, 32, result));
  const std::vector<int32_t> units = UnitStarts(kRate, 1, kCapacity);
  ASSERT_EQ(result.MaxCount, 5);
  EXPECT_EQ(result.Chosen, 1);
  for (int32_t count = 1; count <= 5; ++count) {
    const TPartitionRecord& record = result.Records[size_t(count - 1)];
    EXPECT_EQ(result.Sizes[size_t(count - 1)], 16 * count);
    ASSERT_EQ(record.Count, count);
    for (int32_t i = 0; i < count; ++i) {
      EXPECT_EQ(record.Borders[size_t(i)].Cell, 2 * i);  // resolution 1: two cells per unit
      EXPECT_EQ(record.Borders[size_t(i)].Start, units[size_t(i)]);
    }
  }
}

TEST(FramePartition, BestSplitsMatchAnExhaustiveSearch) {
  const Values x = ChangingSignal(kCapacity, 8);
  for (int resolution : {0, 2}) {
    SCOPED_TRACE(resolution);
    const ReferenceCosts reference(x, UnitStarts(kRate, resolution, kCapacity));
    const size_t u = reference.Units();
    TFramePartitionCalculator calculator(0, kRate, resolution, 5, kCapacity);
    TPartitionResult result;
    calculator.FindPartition(x.data(), kCapacity, 32, result);
    EXPECT_EQ(result.Sizes[0], reference.Cost(0, u - 1));

    int64_t best2 = INT64_MAX, best3 = INT64_MAX;
    std::vector<int32_t> starts2, starts3;
    const std::vector<int32_t> unitStarts = UnitStarts(kRate, resolution, kCapacity);
    for (size_t b1 = 1; b1 < u; ++b1) {
      const int64_t two = reference.Cost(0, b1 - 1) + reference.Cost(b1, u - 1);
      if (two < best2) {
        best2 = two;
        starts2 = {0, unitStarts[b1], kCapacity};
      }
      for (size_t b2 = b1 + 1; b2 < u; ++b2) {
        const int64_t three =
            reference.Cost(0, b1 - 1) + reference.Cost(b1, b2 - 1) + reference.Cost(b2, u - 1);
        if (three < best3) {
          best3 = three;
          starts3 = {0, unitStarts[b1], unitStarts[b2], kCapacity};
        }
      }
    }
    EXPECT_EQ(result.Sizes[1], best2);
    EXPECT_EQ(StartsOf(result.Records[1]), starts2);
    EXPECT_EQ(result.Sizes[2], best3);
    EXPECT_EQ(StartsOf(result.Records[2]), starts3);

    // Up to two sub-frames only prefixes and suffixes are costed: the same best split.
    TFramePartitionCalculator two(0, kRate, resolution, 2, kCapacity);
    TPartitionResult twoResult;
    two.FindPartition(x.data(), kCapacity, 32, twoResult);
    EXPECT_EQ(twoResult.Sizes[1], best2);
    EXPECT_EQ(StartsOf(twoResult.Records[1]), starts2);
  }
}

// The first extra sub-frame must save more than 5 x the order bound.
TEST(FramePartition, SecondSubFramePaysOnlyBeyondItsPenalty) {
  const Values x = ChangingSignal(kCapacity, 2);
  TFramePartitionCalculator calculator(0, kRate, 0, 2, kCapacity);
  TPartitionResult result;
  calculator.FindPartition(x.data(), kCapacity, 4, result);
  const int64_t saving = result.Sizes[0] - result.Sizes[1];
  ASSERT_GT(saving, 5 * 4);
  const int32_t breakEven = int32_t((saving + 4) / 5);  // smallest bound with 5B >= saving
  ASSERT_LT(4 * breakEven, kCapacity);  // the bound is not lowered for this channel
  EXPECT_TRUE(calculator.FindPartition(x.data(), kCapacity, breakEven - 1, result));
  EXPECT_EQ(result.Chosen, 2);
  EXPECT_EQ(result.ChosenBits, result.Sizes[1]);
  EXPECT_FALSE(calculator.FindPartition(x.data(), kCapacity, breakEven, result));
  EXPECT_EQ(result.ChosenBits, result.Sizes[0]);
}

TEST(FramePartition, CountLimitedByTheOptionAndTheUnits) {
  const Values x = ChangingSignal(kCapacity, 5);
  TFramePartitionCalculator three(0, kRate, 2, 3, kCapacity);
  TPartitionResult result;
  three.FindPartition(x.data(), kCapacity, 8, result);
  EXPECT_EQ(result.MaxCount, 3);
  EXPECT_EQ(result.Sizes[3], TPartitionResult::kNoSplit);
  EXPECT_EQ(result.Records[3].Count, 0);

  TFramePartitionCalculator coarse(0, kRate, 0, 5, kCapacity);
  for (int32_t n : {17, 700, 1100}) {
    coarse.FindPartition(x.data(), n, 8, result);
    EXPECT_EQ(result.MaxCount, int32_t(UnitStarts(kRate, 0, n).size()) - 1) << n;
    EXPECT_LE(result.MaxCount, 2) << n;
  }
}

TEST(FramePartition, SameResultAtEveryKernelLevel) {
  Values x = ChangingSignal(kCapacity, 13);
  x[100] = INT32_MIN;  // scale shift beyond the 16-bit conversion kernel's range
  for (int resolution = 0; resolution <= 3; ++resolution) {
    TFramePartitionCalculator portable(0, kRate, resolution, 5, kCapacity);
    TFramePartitionCalculator vector(kCpuFlagVector, kRate, resolution, 5, kCapacity);
    for (const Values& signal : {x, ChangingSignal(kCapacity, 14)}) {
      TPartitionResult a, b;
      EXPECT_EQ(portable.FindPartition(signal.data(), 3001, 32, a),
                vector.FindPartition(signal.data(), 3001, 32, b));
      EXPECT_EQ(a.Chosen, b.Chosen);
      EXPECT_EQ(a.Sizes, b.Sizes);
      for (size_t k = 0; k < a.Records.size(); ++k)
        EXPECT_EQ(StartsOf(a.Records[k]), StartsOf(b.Records[k])) << resolution << " " << k;
    }
  }
}

// Every split the search offers, written and coded with difference blocks, decodes to the frame.
TEST(FramePartition, WrittenSplitsDecode) {
  for (int32_t rate : {8000, 44100, 96000}) {
    for (int32_t n : {16, 17, 18, 1103, 2049, kMaxFrame}) {
      const Values pcm = ChangingSignal(n, uint32_t(n));
      const Values differences = Differences(pcm);
      for (int resolution = 0; resolution <= 2; ++resolution) {
        TFramePartitionCalculator calculator(0, rate, resolution, 5, kCapacity);
        TPartitionResult result;
        calculator.FindPartition(differences.data(), n - 1, 32, result);
        for (int32_t count = 1; count <= result.MaxCount; ++count) {
          SCOPED_TRACE(testing::Message() << rate << " Hz, " << n << " samples, resolution "
                                          << resolution << ", " << count << " sub-frames");
          ExpectSplitDecodes(rate, pcm, result.Records[size_t(count - 1)]);
        }
      }
    }
  }
}

// ---- Validator ------------------------------------------------------------------------------

// Splits given by their first values and the channel's value count (cells merely ascend).
TPartitionResult SplitsAt(const std::vector<std::vector<int32_t>>& splits, int32_t chosen) {
  TPartitionResult result;
  result.MaxCount = int32_t(splits.size());
  result.Chosen = chosen;
  for (size_t k = 0; k < splits.size(); ++k) {
    TPartitionRecord& record = result.Records[k];
    record.Count = int32_t(splits[k].size()) - 1;
    for (size_t i = 0; i < splits[k].size(); ++i) record.Borders[i] = {int32_t(i), splits[k][i]};
  }
  return result;
}

TEST(FramePartition, BorderListKeepsItsDistance) {
  TfpSubFrameBorderList borders;
  borders.Reset(100, 10);
  for (int32_t position : {50, 45, 50, 5, 95, 60, 0, 100, 90, 30}) borders.Insert(position);
  EXPECT_EQ(std::vector<int32_t>(borders.Positions(), borders.Positions() + borders.Count()),
            (std::vector<int32_t>{0, 30, 50, 60, 90, 100}));
  EXPECT_EQ(borders.IndexOf(60), 3);
  EXPECT_EQ(borders.IndexOf(45), -1);
}

// Channels of 15 values are costed by difference estimates only, so the test knows every total.
TEST(FramePartition, ValidatorAddsSubFramesOnlyForMoreThanElevenBitsEach) {
  TFramePartitionValidator validator(0, kRate, 0, true, kCapacity);
  TBitCompressor compressor(0, kCapacity, 16, kRate, true);
  const auto bits = [](const Values& x, int32_t from, int32_t to) {
    return DifferenceBits(x.data() + from, to - from);
  };
  std::vector<int64_t> rejectedSavings, acceptedSavings;
  for (int32_t loud = 1; loud < 60; ++loud) {
    Values x = {3, -1, 2, 0, -2, 1, 1};
    for (int32_t t = 0; t < 8; ++t) x.push_back(t % 2 == 0 ? loud : -loud / 2 - t);
    TPartitionResult result = SplitsAt({{0, 15}, {0, 7, 15}, {0, 7, 11, 15}}, 2);
    const int64_t one = bits(x, 0, 15), two = bits(x, 0, 7) + bits(x, 7, 15);
    const int64_t three = bits(x, 0, 7) + bits(x, 7, 11) + bits(x, 11, 15);
    const bool split = two + 11 < one;
    const bool splitAgain = split && three + 22 < two;
    (split ? acceptedSavings : rejectedSavings).push_back(one - two);

    EXPECT_EQ(validator.Validate(x.data(), 15, compressor, result), split) << loud;
    EXPECT_EQ(result.Chosen, splitAgain ? 3 : split ? 2 : 1) << loud;
    EXPECT_EQ(result.ChosenBits, splitAgain ? three : split ? two : one) << loud;
    // From the calculator's count on, a rejected count ends the search.
    EXPECT_EQ(validator.CostedSubFrames().Count(), split ? 5 : 3) << loud;
  }
  // The sweep reaches both sides of the limit.
  EXPECT_EQ(std::count(rejectedSavings.begin(), rejectedSavings.end(), 11), 1);
  EXPECT_GE(std::count(acceptedSavings.begin(), acceptedSavings.end(), 12), 1);
}

// What the encoder's search makes of a range: the channel's scaled values, the range tapered,
// a direct autocorrelation and the exact-costing predictor search.
struct RangeReference {
  std::vector<int64_t> autocorrelation;
  bool predicted = false;
  TLpcChoice choice;
  TQuantPredictor predictor;
};

RangeReference ReferenceSearch(const Values& x, int32_t from, int32_t to,
                               const TLpcOptions& options) {
  uint32_t magnitudes = 0;
  for (int32_t v : x) magnitudes |= uint32_t(v < 0 ? -int64_t(v) : v);
  const int s = ScaleShiftFor(magnitudes);
  std::vector<int16_t> scaled;
  for (int32_t v : x) scaled.push_back(int16_t(test::TowardZero(v, s)));
  TLpcPredictorCalculator calculator(0, kCapacity, kRate, options);
  const int32_t n = to - from, order = calculator.MaxOrderFor(n);
  Values tapered(scaled.begin() + from, scaled.begin() + to);
  const int32_t w = std::min({(n / 8) & ~7, order, 256});
  for (int32_t i = 0; options.ApplyWindow && w >= 16 && i < w; ++i) {
    tapered[size_t(i)] = int32_t(std::nearbyint(tapered[size_t(i)] * double(w + i + 1) / (2 * w)));
    int32_t& last = tapered[size_t(n - 1 - i)];
    last = int32_t(std::nearbyint(last * double(w + i + 1) / (2 * w)));
  }
  RangeReference reference;
  reference.autocorrelation = DirectAutocorrelation(tapered, 0, n, order + 1);
  const TLpcBlock block{x.data() + from, scaled.data() + from, n, s,
                        reference.autocorrelation.data()};
  reference.predicted = calculator.Calculate(block, false, reference.choice, &reference.predictor);
  return reference;
}

// Ranges between listed borders are costed from segment sums with window corrections at both
// ends; the corrections at the channel's ends are kept across splits only while they fit.
TEST(FramePartition, ValidatorCostsSegmentSumsLikeTheEncoder) {
  Values x = ChangingSignal(kCapacity, 31);
  for (int32_t& v : x) v /= 3;  // scale shift 0 for every range, as for the whole channel
  const TPartitionResult splits = SplitsAt({{0, kCapacity},
                                            {0, 200, kCapacity},
                                            {0, 1000, 2600, kCapacity},
                                            {0, 1000, 1030, 2600, kCapacity}},  // 1030: too close
                                           4);
  const std::vector<std::pair<int32_t, int32_t>> summed = {
      {0, kCapacity}, {0, 200}, {200, kCapacity}, {0, 1000}, {1000, 2600}, {2600, kCapacity}};
  for (bool window : {false, true}) {
    SCOPED_TRACE(window);
    const TLpcOptions options{kQuantExact, 7, window};  // order 64
    TFramePartitionValidator validator(0, kRate, options.MaxOrderIndex, window, kCapacity);
    TBitCompressor compressor(0, kCapacity, 16, kRate, true);
    TPartitionResult result = splits;
    validator.Validate(x.data(), kCapacity, compressor, result);
    EXPECT_EQ(validator.CostedSubFrames().Count(), 8);  // shared ranges costed once

    TLpcEncoder encoder(0, kCapacity, kRate, options);
    int predicted = 0;
    for (const auto& [from, to] : summed) {
      SCOPED_TRACE(testing::Message() << from << ".." << to);
      const RangeReference reference = ReferenceSearch(x, from, to, options);
      predicted += reference.predicted;
      std::vector<int64_t> r(reference.autocorrelation.size());
      validator.RangeAutocorrelation(from, to, int32_t(r.size()) - 1, r.data());
      EXPECT_EQ(r, reference.autocorrelation);
      EXPECT_EQ(validator.CostedSubFrames().Find(from, to),
                reference.predicted ? reference.choice.Bits
                                    : DifferenceBits(x.data() + from, to - from));
      // The reference windows as the encoder does: both find the same predictor.
      Values range(x.begin() + from, x.begin() + to);
      TLpcSubFrame subFrame;
      int64_t bits = 0;
      ASSERT_EQ(encoder.Encode(range.data(), to - from, false, compressor, subFrame, bits),
                reference.predicted);
      const auto& coefficients = subFrame.Predictor.Coefficients;
      EXPECT_TRUE(!reference.predicted ||
                  std::equal(coefficients.begin(), coefficients.begin() + subFrame.Order,
                             reference.predictor.Coefficients.begin()));
    }
    EXPECT_GE(predicted, 4);
    int64_t chosenBits = 0;
    const TPartitionRecord& chosen = result.ChosenRecord();
    for (int32_t i = 0; i < chosen.Count; ++i)
      chosenBits += *validator.CostedSubFrames().Find(chosen.Borders[size_t(i)].Start,
                                                      chosen.Borders[size_t(i) + 1].Start);
    EXPECT_EQ(result.ChosenBits, chosenBits);
  }
}

// A channel that needs a scale shift beyond 15 cannot be predicted: every range is costed as a
// difference block, whichever way its autocorrelation would be found.
TEST(FramePartition, ValidatorLeavesUnscalableChannelsToDifferenceBlocks) {
  std::mt19937 random(4);
  Values x(kCapacity);
  for (int32_t t = 0; t < kCapacity; ++t)  // well predictable, were it not for its size
    x[size_t(t)] = int32_t(std::lround(1e9 * std::sin(0.01 * t))) + int32_t(random() % 1000);
  TFramePartitionValidator validator(0, kRate, 5, true, kCapacity);
  TBitCompressor compressor(0, kCapacity, 24, kRate, true);
  TPartitionResult result =
      SplitsAt({{0, kCapacity}, {0, 1000, kCapacity}, {0, 1000, 1020, kCapacity}}, 3);
  validator.Validate(x.data(), kCapacity, compressor, result);
  for (const auto& [from, to] : {std::pair{0, kCapacity}, {0, 1000}, {1000, kCapacity},
                                 {1000, 1020}, {1020, kCapacity}}) {
    const int64_t expected = DifferenceBits(x.data() + from, to - from);
    EXPECT_EQ(validator.CostedSubFrames().Find(from, to), expected) << from << ".." << to;
  }
}

// Validated splits decode, and the validator decides alike at every kernel level.
TEST(FramePartition, ValidatedSplitsDecodeAndAgreeAtEveryKernelLevel) {
  for (int32_t n : {17, 900, kMaxFrame}) {
    const Values pcm = ChangingSignal(n, uint32_t(n) + 3);
    const Values differences = Differences(pcm);
    TFramePartitionCalculator calculator(0, kRate, 2, 5, kCapacity);
    TPartitionResult found;
    calculator.FindPartition(differences.data(), n - 1, 32, found);
    for (int orderIndex : {3, 11}) {
      SCOPED_TRACE(testing::Message() << n << " samples, order index " << orderIndex);
      std::vector<TPartitionResult> results;
      std::vector<std::vector<std::optional<int64_t>>> costs;
      const auto validate = [&](uint32_t flags) {
        TFramePartitionValidator validator(flags, kRate, orderIndex, true, kCapacity);
        TBitCompressor compressor(flags, kCapacity, 16, kRate, true);
        TPartitionResult result = found;
        validator.Validate(differences.data(), n - 1, compressor, result);
        std::vector<std::optional<int64_t>> cost;
        for (const TPartitionRecord& record : found.Records)
          for (int32_t i = 0; i < record.Count; ++i)
            cost.push_back(validator.CostedSubFrames().Find(record.Borders[size_t(i)].Start,
                                                            record.Borders[size_t(i) + 1].Start));
        results.push_back(result);
        costs.push_back(cost);
      };
      validate(0);
      test::ForEachLevel([&](TKernelLevel level) {
        CapKernelLevel(level);
        validate(kCpuFlagVector);
      });
      CapKernelLevel(TKernelLevel::Avx2);
      for (size_t i = 1; i < results.size(); ++i) {
        EXPECT_EQ(results[i].Chosen, results[0].Chosen);
        EXPECT_EQ(results[i].ChosenBits, results[0].ChosenBits);
        EXPECT_EQ(costs[i], costs[0]);
      }
      ExpectSplitDecodes(kRate, pcm, results[0].ChosenRecord());
    }
  }
}

}  // namespace
}  // namespace lym

#include "codec/Lpc_Encode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "KernelHarness.h"
#include "codec/DifferenceOrder.h"
#include "codec/FrameDecoder.h"

namespace lym {
namespace {

using Values = std::vector<int32_t>;

constexpr int32_t kRate = 44100;

// The float predictor whose quantisation with shift p is exactly c (c[j] weighs the value
// order - j places back).
std::vector<float> FloatsFor(const Values& c, int p) {
  std::vector<float> a(c.size());
  for (size_t j = 0; j < c.size(); ++j) a[c.size() - 1 - j] = float(c[j]) * float(1 << p) / 1024;
  return a;
}

bool Quantize(const Values& c, int p, TQuantPredictor& predictor) {
  return QuantizePredictor(FloatsFor(c, p).data(), int32_t(c.size()), p, predictor);
}

TEST(LpcQuantisation, RejectsCoefficientsThatCannotPayOrDoNotFit) {
  TQuantPredictor q;
  EXPECT_FALSE(Quantize({1, -1, 0, 1}, 0, q));
  EXPECT_FALSE(Quantize(Values(16, -1), 5, q));
  EXPECT_TRUE(Quantize({1, -1, 0, 2}, 0, q));
  // Magnitudes below 2^(13 - p) fit 14 bits with the shift; 2^(13 - p) never does.
  for (int p = 0; p <= kMaxCoefficientShift; ++p) {
    EXPECT_TRUE(Quantize({0, 0, (1 << (13 - p)) - 1, 0}, p, q)) << p;
    EXPECT_FALSE(Quantize({0, 0, 1 << (13 - p), 0}, p, q)) << p;
  }
  const float huge[4] = {0, 0, 2e6f, 0}, notANumber[4] = {0, NAN, 0.5f, 0};
  EXPECT_FALSE(QuantizePredictor(huge, 4, 0, q));
  EXPECT_FALSE(QuantizePredictor(notANumber, 4, 0, q));
}

TEST(LpcQuantisation, ReductionFieldSizeAboveOrderSixteen) {
  // Above order 16 one wide group among narrow ones needs the 3-bit reductions (W - 7 floor),
  // groups of equal width the 2-bit ones (W - 3 floor).
  TQuantPredictor q;
  Values oneWide(24, 1);
  oneWide[5] = 300;
  ASSERT_TRUE(Quantize(oneWide, 0, q));
  EXPECT_EQ(q.WidthFieldBits, 3);
  EXPECT_EQ(q.Bits, 3 + 5 + (3 + 4 * 10) + 5 * (3 + 4 * 3));
  ASSERT_TRUE(Quantize(Values(24, 300), 0, q));
  EXPECT_EQ(q.WidthFieldBits, 2);
  EXPECT_EQ(q.Bits, 3 + 5 + 6 * (2 + 4 * 10));
}

TEST(LpcQuantisation, DifferentialFormOnlyWhenStrictlyCheaperAndInRange) {
  TQuantPredictor q;
  Values alternating(32);
  for (size_t j = 0; j < alternating.size(); ++j) alternating[j] = j % 2 ? 1000 : -1000;
  ASSERT_TRUE(Quantize(alternating, 0, q));
  EXPECT_TRUE(q.Differential);
  Values eight(alternating.begin(), alternating.begin() + 8);
  ASSERT_TRUE(Quantize(eight, 0, q));
  EXPECT_FALSE(q.Differential);  // not below order 12
  ASSERT_TRUE(Quantize({100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, q));
  EXPECT_FALSE(q.Differential);  // same cost
  ASSERT_TRUE(Quantize({0, 0, 0, 0, 0, 0, 0, 0, 4100, -4100, 4100, 4100}, 0, q));
  EXPECT_FALSE(q.Differential);  // neighbour sum 8200 does not fit
}

// Every order and form reads back, and the cost is the bits written (plus the differential flag).
TEST(LpcQuantisation, CoefficientSetsReadBack) {
  std::mt19937 random(test::TestSeed());
  for (int index = 0; index < kOrderCount; ++index) {
    for (int trial = 0; trial < 40; ++trial) {
      const int32_t order = kOrderTable[index];
      const int p = int(random() % 8);
      const int32_t limit = 1 << (1 + random() % (13 - p));
      Values c(size_t(order), 0);
      int32_t previous = 0;
      for (int32_t& v : c)  // smooth runs favour the differential form, jumps the plain one
        v = previous = trial % 2 ? -previous + int32_t(random() % 5) - 2
                                 : int32_t(random() % uint32_t(2 * limit)) - limit;
      TQuantPredictor q;
      if (!Quantize(c, p, q)) continue;
      std::vector<uint8_t> buffer(2048);
      TBitOutStream writer;
      writer.InitWriter(buffer.data(), int32_t(buffer.size()));
      WriteCoefficientSet(writer, q);
      TBitInStream reader;
      reader.InitReader(buffer.data(), writer.Finish());
      TCoefficientSet set;
      ASSERT_TRUE(ReadCoefficientSet(reader, order, set)) << order;
      EXPECT_EQ(set.CoefficientShift, p);
      EXPECT_EQ(Values(set.Coefficients, set.Coefficients + order), c) << order;
      EXPECT_EQ(writer.BitsUsed(), q.Bits + (order >= 12 ? 1 : 0)) << order;
    }
  }
}

TEST(LpcPredictorCalculator, OrderBounds) {
  const TLpcPredictorCalculator full(0, 16384, kRate, {kQuantFixed, 15, true});
  EXPECT_EQ(full.MaxOrderFor(15), 0);
  EXPECT_EQ(full.MaxOrderFor(16), 4);
  EXPECT_EQ(full.MaxOrderFor(1024), 256);
  const TLpcPredictorCalculator capped(0, 100, kRate, {kQuantFixed, 15, true});
  EXPECT_EQ(capped.MaxOrder(), 24);
  EXPECT_EQ(TLpcPredictorCalculator(0, 4096, kRate, {kQuantFixed, 3, true}).MaxOrderFor(4096), 16);
}

// With r of a first-order process and room for order 4 only, the estimated saving is a whole
// number of bits: a saving of 0 is refused, of 1 taken. Failing recursions give no predictor.
TEST(LpcPredictorCalculator, TakesAPredictorOnlyForAWholeBitSaved) {
  TLpcPredictorCalculator calculator(0, 4096, kRate, {kQuantFixed, 15, true});
  constexpr int32_t n = 20;
  bool refusedZero = false, tookOne = false;
  for (int step = 1; step < 400; ++step) {
    const double rho = step / 400.0;
    int64_t r[5];
    for (int k = 0; k <= 4; ++k) r[k] = std::llround(1e6 * std::pow(rho, k));
    TLevinson levinson;
    levinson.Reset(r, 4);
    TQuantPredictor q;
    if (!levinson.ExtendTo(4) || !QuantizePredictor(levinson.Coefficients(), 4, 3, q)) continue;
    const double saving =
        BitsFromError(n, double(r[0])) - BitsFromError(n, double(levinson.Error())) - q.Bits;
    TLpcChoice choice;
    const bool taken = calculator.Calculate({nullptr, nullptr, n, 0, r}, false, choice, nullptr);
    EXPECT_EQ(taken, saving >= 1) << rho;
    refusedZero |= saving == 0;
    tookOne |= saving == 1 && taken;
  }
  EXPECT_TRUE(refusedZero);
  EXPECT_TRUE(tookOne);

  const int64_t perfect[5] = {100, 100, 100, 100, 100}, quiet[5] = {9, 9, 9, 9, 9};
  TLpcChoice choice;
  EXPECT_FALSE(calculator.Calculate({nullptr, nullptr, 16, 0, perfect}, false, choice, nullptr));
  EXPECT_FALSE(calculator.Calculate({nullptr, nullptr, 20, 0, quiet}, false, choice, nullptr));
}

// ---- Encoding sub-frames and decoding them in whole frames ------------------------------------

Values Sine(std::mt19937& random, int32_t n, double amplitude, double step = 0) {
  if (step == 0) step = 0.01 + (random() % 200) / 1000.0;
  std::normal_distribution<double> noise(0, amplitude / 1000 + 0.5);
  Values x(static_cast<size_t>(n));
  for (int32_t t = 0; t < n; ++t)
    x[size_t(t)] = int32_t(amplitude * std::sin(step * t) + noise(random));
  return x;
}

Values Square(int32_t n, int32_t amplitude, int32_t period) {
  Values x(static_cast<size_t>(n));
  for (int32_t t = 0; t < n; ++t) x[size_t(t)] = (t / period) % 2 ? amplitude : -amplitude;
  return x;
}

Values Noise(std::mt19937& random, int32_t n, int32_t amplitude) {
  Values x(static_cast<size_t>(n));
  for (int32_t& v : x) v = std::uniform_int_distribution<int32_t>(-amplitude, amplitude)(random);
  return x;
}

struct Encoded {
  bool predicted = false;
  std::vector<uint8_t> payload;
  Values samples;  // what the payload must decode to
};

// One mono frame of 24-bit samples whose differences are `values`: a single predictor sub-frame
// when Encode takes it. Checks on the way that the reported size adds up and that a refusal leaves
// the values alone.
Encoded EncodeFrame(const Values& values, const TLpcOptions& options, uint32_t cpuFlags) {
  constexpr int kBits = 24;
  const int32_t n = int32_t(values.size()) + 1;
  Encoded result;
  result.samples.assign(size_t(n), 0);
  for (int32_t i = 1; i < n; ++i)
    result.samples[size_t(i)] =
        int32_t(uint32_t(result.samples[size_t(i - 1)]) + uint32_t(values[size_t(i - 1)]));
  TLpcEncoder encoder(cpuFlags, n, kRate, options);
  TBitCompressor compressor(cpuFlags, n, kBits, kRate, true);
  Values work = values;
  TLpcSubFrame subFrame;
  int64_t bits = 0;
  result.predicted = encoder.Encode(work.data(), n - 1, false, compressor, subFrame, bits);
  if (!result.predicted) {
    EXPECT_EQ(work, values);
    return result;
  }
  TBitCompressor check(0, n, kBits, kRate, true);
  TResidualParams params;
  EXPECT_EQ(bits, check.Analyse(subFrame.Residual(), subFrame.ResidualCount(), params) +
                      check.Analyse(work.data(), subFrame.Order, params) + subFrame.Predictor.Bits);

  result.payload.assign(size_t(n) * 8 + 4096, 0);
  TBitOutStream writer;
  writer.InitWriter(result.payload.data(), int32_t(result.payload.size()));
  writer.WriteBit(false);      // no shift
  writer.WriteBits(0, kBits);  // first sample
  writer.WriteBit(false);      // no pre-filter
  writer.WriteBits(0, 3);      // one sub-frame
  writer.WriteBit(true);       // predictor
  TLpcEncoder::WriteSubFrame(writer, compressor, subFrame);
  writer.AlignToByte();
  result.payload.resize(size_t(writer.Finish()));

  TFrameDecoder decoder(cpuFlags, n, kBits, kRate);
  Values out(static_cast<size_t>(n));
  int32_t bytes = int32_t(result.payload.size());
  EXPECT_TRUE(decoder.DecodeMono(result.payload.data(), bytes, n, out.data()));
  EXPECT_EQ(out, result.samples);
  return result;
}

std::vector<Values> Signals(std::mt19937& random) {
  std::vector<Values> signals;
  for (int32_t n : {16, 64, 333, 1024, 4095, 16383}) {
    signals.push_back(Sine(random, n, 100));    // 8-bit range
    signals.push_back(Sine(random, n, 20000));  // 16-bit
    signals.push_back(Sine(random, n, 3e6));    // 24-bit, scale shifts
    signals.push_back(Sine(random, n, 1.3e8));  // the largest scale shift, 15
    signals.push_back(Square(n, 5000, 1 + int32_t(random() % 40)));
    signals.push_back(Noise(random, n, 1 << (random() % 24)));
  }
  return signals;
}

TEST(LpcEncoder, SmallestBlocksAndSilence) {
  std::mt19937 random(test::TestSeed());
  EXPECT_FALSE(EncodeFrame(Sine(random, 15, 20000), {}, 0).predicted);
  EXPECT_TRUE(EncodeFrame(Sine(random, 16, 20000, std::numbers::pi / 15), {}, 0).predicted);  // one bump
  Values quiet(500, 0);
  for (size_t i = 0; i < quiet.size(); i += 3) quiet[i] = 1;  // energy 167 < 250
  EXPECT_FALSE(EncodeFrame(quiet, {}, 0).predicted);
  EXPECT_FALSE(EncodeFrame(Values(500, 0), {}, 0).predicted);
  // Magnitudes that need a scale shift above 15 are left to the difference block.
  EXPECT_FALSE(EncodeFrame(Sine(random, 500, 1 << 30), {}, 0).predicted);
}

// Every mode decodes to the samples, with the same bytes at every kernel level. (A coefficient
// shift outside 0..7 in the step search would fail the quantisation's assertion.)
TEST(LpcEncoder, SubFramesDecodeToTheirSamplesAtEveryKernelLevel) {
  std::mt19937 random(test::TestSeed());
  const std::vector<Values> signals = Signals(random);
  for (TQuantSearchMode mode : {kQuantFixed, kQuantExact, kQuantSearch}) {
    const TLpcOptions options{mode, 15, mode != kQuantExact};
    int predicted = 0;
    for (const Values& values : signals) {
      SCOPED_TRACE(testing::Message()
                   << "mode " << int(mode) << ", " << values.size() << " values");
      const Encoded portable = EncodeFrame(values, options, 0);
      predicted += portable.predicted;
      test::ForEachLevel([&](TKernelLevel level) {
        CapKernelLevel(level);
        EXPECT_EQ(EncodeFrame(values, options, kCpuFlagVector).payload, portable.payload);
      });
      CapKernelLevel(TKernelLevel::Avx2);
    }
    EXPECT_GE(predicted, 20);
  }
}

}  // namespace
}  // namespace lym

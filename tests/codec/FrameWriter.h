// Builds frame payloads for decoder tests, field by field, from the samples the test wants back:
// the test's own plain arithmetic turns samples into the values each field stores, so a decoded
// frame is checked against samples chosen in the test, not against the decoder's own rules.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "codec/Adcbitco.h"
#include "codec/BitStream.h"
#include "codec/DifferenceOrder.h"

namespace lym::test {

using Values = std::vector<int32_t>;

// A coefficient set as the test means it (final coefficients), and how to store it.
struct CoefficientSpec {
  int32_t order = 4;
  int p = 0;                  // coefficient shift: rounding by 10 - p bits
  bool differential = false;  // store neighbour sums (orders >= 12)
  Values c;
};

// x / 2^s toward zero, written out plainly.
inline int32_t TowardZero(int32_t x, int s) {
  const int64_t wide = x;
  return int32_t(wide >= 0 ? wide >> s : -((-wide) >> s));
}

// The prediction for x[t] from x[t - order .. t - 1] (wrap-around 32-bit sum, rounded, clamped).
inline int32_t ReferencePrediction(const CoefficientSpec& set, int s, const int32_t* x, int32_t t,
                                   int q) {
  int64_t sum = 0;
  for (int32_t j = 0; j < set.order; ++j)
    sum += int64_t(set.c[size_t(j)]) * TowardZero(x[t - set.order + j], s);
  const int32_t wrapped = int32_t(uint32_t(uint64_t(sum)));
  const int64_t half = int64_t(1) << (q - 1);
  int64_t p = wrapped >= 0 ? (wrapped + half) >> q : -((half - wrapped) >> q);
  p = p > 8191 ? 8191 : (p < -8191 ? -8191 : p);
  return int32_t(p);
}

// What a predictor over `values` stores: the first `order` values themselves, then prediction x
// 2^s minus value.
inline Values StoredResiduals(const Values& values, const CoefficientSpec& set, int s, int q) {
  Values stored = values;
  for (int32_t t = set.order; t < int32_t(values.size()); ++t) {
    const int64_t predicted = int64_t(ReferencePrediction(set, s, values.data(), t, q)) << s;
    stored[size_t(t)] = int32_t(uint32_t(uint64_t(predicted - values[size_t(t)])));
  }
  return stored;
}

// One sub-frame: its first grid cell and how it is coded.
struct SubFrameSpec {
  int cell = 0;
  bool predictor = false;
  int differenceOrder = 0;  // difference sub-frame, or the predictor's warm-up
  int orderIndex = 0;       // predictor: index into the order table
  int scaleShift = 0;       // predictor: s
  CoefficientSpec set;      // predictor
};

class FrameWriter {
 public:
  FrameWriter(int32_t sampleRate, int bitsPerSample, int32_t maxFrame)
      : bits_(bitsPerSample),
        buffer_(size_t(maxFrame) * 2 * 8 + 4096),
        compressor_(0, maxFrame, bitsPerSample, sampleRate, true) {
    writer_.InitWriter(buffer_.data(), int32_t(buffer_.size()));
  }

  TBitOutStream& Bits() { return writer_; }

  void Field(uint32_t value, int n) { writer_.WriteBits(value, n); }

  // Shift flag and value, then the first sample as a (bits - shift)-bit field (none when the
  // shift leaves no bits: a block that the decoder must refuse).
  void BlockStart(int shift, int32_t firstSample) {
    writer_.WriteBit(shift > 0);
    if (shift > 0) writer_.WriteBits(uint32_t(shift - 1), 4);
    if (bits_ > shift) writer_.WriteBits(uint32_t(firstSample), bits_ - shift);
  }

  void NoPreFilter() { writer_.WriteBit(false); }
  void PreFilter(int scaleShift, const CoefficientSpec& set, int orderIndex = 0) {
    writer_.WriteBit(true);
    writer_.WriteBits(uint32_t(scaleShift), 4);
    writer_.WriteBits(uint32_t(orderIndex), 2);
    CoefficientSet(set);
  }

  void JointParameters(bool head, bool tail, int scaleShift, const CoefficientSpec& set,
                       int orderIndex = 1) {
    writer_.WriteBit(head);
    writer_.WriteBit(tail);
    writer_.WriteBits(uint32_t(scaleShift), 4);
    writer_.WriteBits(uint32_t(orderIndex), 2);
    CoefficientSet(set);
  }

  // The layout field and the sub-frames over the block's difference values (values 1..n-1 of the
  // block), cut at the starts of the given cells.
  void SubFrames(const std::vector<SubFrameSpec>& subFrames, const std::vector<int32_t>& starts,
                 const Values& differences) {
    writer_.WriteBits(uint32_t(subFrames.size() - 1), 3);
    for (size_t i = 1; i < subFrames.size(); ++i) writer_.WriteBits(uint32_t(subFrames[i].cell), 6);
    for (size_t i = 0; i < subFrames.size(); ++i) {
      const int32_t from = starts[i];
      const int32_t to = i + 1 < subFrames.size() ? starts[i + 1] : int32_t(differences.size());
      SubFrame(subFrames[i], Values(differences.begin() + from, differences.begin() + to));
    }
  }

  void SubFrame(const SubFrameSpec& spec, const Values& values) {
    writer_.WriteBit(spec.predictor);
    if (!spec.predictor) return DifferenceBlock(values, spec.differenceOrder);
    const int32_t order = spec.set.order;
    writer_.WriteBits(uint32_t(spec.scaleShift), 4);
    writer_.WriteBits(uint32_t(spec.orderIndex), 4);
    DifferenceBlock(Values(values.begin(), values.begin() + order), spec.differenceOrder);
    CoefficientSet(spec.set);
    const Values stored = StoredResiduals(values, spec.set, spec.scaleShift, 10 - spec.set.p);
    ResidualBlock(Values(stored.begin() + order, stored.end()));
  }

  void DifferenceBlock(Values values, int order) {
    ApplyDifferenceOrder(values.data(), int32_t(values.size()), order);
    TResidualParams params;
    compressor_.Analyse(values.data(), int32_t(values.size()), params);
    WriteDifferenceBlock(writer_, compressor_, order, values.data(), int32_t(values.size()),
                         params);
  }

  void ResidualBlock(const Values& values) {
    TResidualParams params;
    compressor_.Analyse(values.data(), int32_t(values.size()), params);
    compressor_.WriteBlock(writer_, params, int32_t(values.size()), values.data());
  }

  // Widths per group of four: up to order 16 stored directly, above as reductions from the
  // largest in 2- or 3-bit fields.
  void CoefficientSet(const CoefficientSpec& set) {
    writer_.WriteBits(uint32_t(set.p), 3);
    if (set.order >= 12) writer_.WriteBit(set.differential);
    Values stored = set.c;
    if (set.differential)
      for (size_t j = 1; j < stored.size(); ++j) stored[j] = set.c[j] + set.c[j - 1];
    std::vector<int> widths;
    for (size_t g = 0; g < stored.size() / 4; ++g) {
      int width = 1;
      for (size_t k = 0; k < 4; ++k) width = std::max(width, SignedWidth(stored[4 * g + k]));
      widths.push_back(width);
    }
    const int largest = *std::max_element(widths.begin(), widths.end());
    const bool wide = std::any_of(widths.begin(), widths.end(), [&](int w) { return largest - w > 3; });
    if (set.order > 16) {
      writer_.WriteBits(uint32_t(largest), 4);
      writer_.WriteBit(wide);
    }
    for (size_t g = 0; g < widths.size(); ++g) {
      int width = widths[g];
      if (set.order > 16) {
        width = std::max(width, largest - (wide ? 7 : 3));
        writer_.WriteBits(uint32_t(largest - width), wide ? 3 : 2);
      } else {
        writer_.WriteBits(uint32_t(width), 4);
      }
      for (size_t k = 0; k < 4; ++k) writer_.WriteBits(uint32_t(stored[4 * g + k]), width);
    }
  }

  std::vector<uint8_t> Finish() {
    writer_.AlignToByte();
    return std::vector<uint8_t>(buffer_.begin(), buffer_.begin() + writer_.Finish());
  }

 private:
  // Bits for a two's complement field; a 1-bit field always reads as 0, so -1 needs two.
  static int SignedWidth(int32_t v) {
    if (v == 0) return 1;
    int width = 2;
    while (v < -(int64_t(1) << (width - 1)) || v >= (int64_t(1) << (width - 1))) ++width;
    return width;
  }

  int bits_;
  std::vector<uint8_t> buffer_;
  TBitOutStream writer_;
  TBitCompressor compressor_;
};

}  // namespace lym::test

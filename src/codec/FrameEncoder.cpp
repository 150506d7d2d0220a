#include "codec/FrameEncoder.h"

#include <algorithm>
#include <bit>

#include "codec/DifferenceOrder.h"
#include "codec/FrameDecoder.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int kMaxShift = 16;
constexpr int kShiftFieldBits = 4;
constexpr int kStereoModeBits = 3;

// The options with the order bound of the settings' predictor count.
TFrameEncoderOptions WithOrderBound(TFrameEncoderOptions options, int32_t maxPredictors) {
  options.MaxOrderIndex = MaxOrderIndexFor(maxPredictors);
  return options;
}

}  // namespace

// One channel signal of a frame and how its block is coded.
struct TFrameEncoder::TChannelWork {
  explicit TChannelWork(int32_t capacity) : values(size_t(capacity)) {}

  struct TSubFrame {
    bool predictor = false;
    int32_t* values = nullptr;
    int32_t count = 0;
    int differenceOrder = 0;
    TResidualParams params;
    TLpcSubFrame lpc;
  };

  int32_t firstSample = 0;
  int shift = 0;
  int32_t count = 0;  // values: n - 1
  TAntiAliasArray<int32_t> values;
  int64_t codedBits = 0;
  TPartitionResult partition;
  std::array<TSubFrame, kMaxSubFrames> subFrames;
};

int PrepareChannel(const int32_t* samples, int32_t n, int32_t* values) {
  uint32_t bits = uint32_t(samples[0]);
  for (int32_t i = 0; i + 1 < n; ++i) {
    values[i] = int32_t(uint32_t(samples[i + 1]) - uint32_t(samples[i]));
    bits |= uint32_t(values[i]);
  }
  const int shift = bits == 0 ? 0 : std::min(std::countr_zero(bits), kMaxShift);
  if (shift > 0)
    for (int32_t i = 0; i + 1 < n; ++i) values[i] >>= shift;  // exact: every value is a multiple
  return shift;
}

TFrameEncoder::TFrameEncoder(int32_t sampleRate, int bitsPerSample, uint32_t cpuFlags,
                             const TFrameEncoderOptions& options, int32_t maxPredictors)
    : sampleRate_(sampleRate),
      bitsPerSample_(bitsPerSample),
      options_(WithOrderBound(options, maxPredictors)),
      maxPredictors_(maxPredictors),
      frameLength_(options.FrameSamples),
      partition_(cpuFlags, sampleRate, options.ResolutionIndex, options.MaxSubFrames,
                 options.FrameSamples - 1),
      compressor_(cpuFlags, options.FrameSamples, bitsPerSample, sampleRate,
                  options.OptimizeChoice),
      lpc_(cpuFlags, options.FrameSamples, sampleRate, LpcOptionsFrom(options_)),
      output_(size_t(kMaxFramePayloadBytes)) {
  LYM_ASSERT(frameLength_ >= 1 && frameLength_ <= kMaxFrameLength, "Frame length out of range");
  for (auto& channel : channels_) channel = std::make_unique<TChannelWork>(frameLength_);
}

TFrameEncoder::~TFrameEncoder() = default;

int32_t TFrameEncoder::Begin(int32_t sampleCount) {
  writer_.InitWriter(output_.Data(), kMaxFramePayloadBytes);
  return std::clamp(sampleCount, 0, frameLength_);
}

void TFrameEncoder::End(int32_t& byteCount, const uint8_t*& data) {
  writer_.AlignToByte();
  byteCount = writer_.Finish();
  data = output_.Data();
}

void TFrameEncoder::WriteRaw(const int32_t* samples, int32_t n) {
  for (int32_t i = 0; i < n; ++i) writer_.WriteBits(uint32_t(samples[i]), bitsPerSample_);
}

void TFrameEncoder::Prepare(TChannelWork& work, const int32_t* samples, int32_t n) {
  work.firstSample = samples[0];
  work.count = n - 1;
  work.shift = PrepareChannel(samples, n, work.values.Data());
}

// Splits the channel into sub-frames and chooses the coding of each: a predictor when it pays,
// else a difference block.
void TFrameEncoder::AnalyseBlock(TChannelWork& work, bool searchPartition, bool differenceOrders) {
  if (searchPartition)
    partition_.FindPartition(work.values.Data(), work.count, maxPredictors_, work.partition);
  const TPartitionRecord& record = work.partition.ChosenRecord();
  work.codedBits = 0;
  for (int32_t i = 0; i < record.Count; ++i) {
    auto& sub = work.subFrames[size_t(i)];
    sub.values = work.values.Data() + record.Borders[size_t(i)].Start;
    sub.count = record.Borders[size_t(i) + 1].Start - record.Borders[size_t(i)].Start;
    int64_t bits = 0;
    sub.predictor = lpc_.Encode(sub.values, sub.count, false, compressor_, sub.lpc, bits);
    if (!sub.predictor) {
      sub.differenceOrder =
          differenceOrders ? ChooseDifferenceOrder(sub.values, sub.count).Order : 0;
      ApplyDifferenceOrder(sub.values, sub.count, sub.differenceOrder);
      bits = compressor_.Analyse(sub.values, sub.count, sub.params);
    }
    work.codedBits += bits;
  }
}

void TFrameEncoder::WriteBlock(const TChannelWork& work) {
  writer_.WriteBit(work.shift > 0);
  if (work.shift > 0) writer_.WriteBits(uint32_t(work.shift - 1), kShiftFieldBits);
  writer_.WriteBits(uint32_t(work.firstSample >> work.shift), bitsPerSample_ - work.shift);
  writer_.WriteBit(false);  // no pre-filter
  const TPartitionRecord& record = work.partition.ChosenRecord();
  WritePartition(writer_, record);
  for (int32_t i = 0; i < record.Count; ++i) {
    const auto& sub = work.subFrames[size_t(i)];
    writer_.WriteBit(sub.predictor);
    if (sub.predictor) {
      TLpcEncoder::WriteSubFrame(writer_, compressor_, sub.lpc);
    } else {
      WriteDifferenceBlock(writer_, compressor_, sub.differenceOrder, sub.values, sub.count,
                           sub.params);
    }
  }
}

bool TFrameEncoder::EncodeMono(const int32_t* samples, int32_t& sampleCount, int32_t& byteCount,
                               const uint8_t*& data) {
  const int32_t n = sampleCount = Begin(sampleCount);
  if (n < kMinCodedFrameSamples) {
    WriteRaw(samples, n);
  } else {
    TChannelWork& a = *channels_[0];
    Prepare(a, samples, n);
    AnalyseBlock(a, true, true);
    WriteBlock(a);
  }
  End(byteCount, data);
  return true;
}

bool TFrameEncoder::EncodeStereo(const int32_t* first, const int32_t* second, int32_t& byteCount,
                                 const uint8_t*& data, int32_t& sampleCount) {
  const int32_t n = sampleCount = Begin(sampleCount);
  if (n < kMinCodedFrameSamples) {
    WriteRaw(first, n);
    WriteRaw(second, n);
  } else {
    writer_.WriteBits(kStereoIndependent, kStereoModeBits);
    for (int c = 0; c < 2; ++c) {
      TChannelWork& work = *channels_[size_t(c)];
      Prepare(work, c == 0 ? first : second, n);
      AnalyseBlock(work, true, true);
      WriteBlock(work);
    }
  }
  End(byteCount, data);
  return true;
}

}  // namespace lym

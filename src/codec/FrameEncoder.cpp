#include "codec/FrameEncoder.h"

#include <algorithm>

#include "codec/DifferenceOrder.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int kShiftFieldBits = 4;
constexpr int kStereoModeBits = 3;

// The options with the order bound of the settings' predictor count.
TFrameEncoderOptions WithOrderBound(TFrameEncoderOptions options, int32_t maxPredictors) {
  options.MaxOrderIndex = MaxOrderIndexFor(maxPredictors);
  return options;
}

// How many channel signals a stereo frame compares.
int CandidateCount(const TFrameEncoderOptions& options) {
  return 2 + (options.Prediction ? 1 + options.CheckBoth : 0) +
         (options.Difference ? 1 + options.MidSide : 0);
}

// Cheap estimates replace the partition search during the mode choice when many candidates
// would otherwise each be searched.
bool UsesQuickEstimate(const TFrameEncoderOptions& options) {
  const int count = CandidateCount(options);
  return count >= 3 && options.ResolutionIndex != 0 &&
         (options.ResolutionIndex == 2 || count >= 4 || options.MaxSubFrames >= 4);
}

}  // namespace

int32_t ChooseStereoMode(const TStereoCosts& cost) {
  int32_t mode = 0;
  for (int32_t m = 1; m < int32_t(cost.size()); ++m)
    if (cost[size_t(m)] < cost[size_t(mode)]) mode = m;
  return cost[size_t(mode)] < kNoStereoRoute ? mode : 0;
}

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
  TChannelCoding coding;  // shift and pre-filter
  int32_t count = 0;      // values: n - 1
  TAntiAliasArray<int32_t> values;
  bool partitionSearched = false;
  TPartitionResult partition;
  std::array<TSubFrame, kMaxSubFrames> subFrames;
};

TFrameEncoder::TFrameEncoder(int32_t sampleRate, int bitsPerSample, uint32_t cpuFlags,
                             const TFrameEncoderOptions& options, int32_t maxPredictors)
    : bitsPerSample_(bitsPerSample),
      options_(WithOrderBound(options, maxPredictors)),
      maxPredictors_(maxPredictors),
      frameLength_(options.FrameSamples),
      jointCoding_(options.Prediction || options.Difference),
      quickEstimate_(UsesQuickEstimate(options)),
      estimator_(cpuFlags, TChannelBitsEstimator::kPredictionMode, sampleRate,
                 options.FrameSamples - 1),
      partition_(cpuFlags, sampleRate, options.ResolutionIndex, options.MaxSubFrames,
                 options.FrameSamples - 1),
      compressor_(cpuFlags, options.FrameSamples, bitsPerSample, sampleRate,
                  options.OptimizeChoice),
      lpc_(cpuFlags, options.FrameSamples, sampleRate, LpcOptionsFrom(options_)),
      joint_(cpuFlags, options.FrameSamples - 1, JointOptionsFrom(options)),
      output_(size_t(kMaxFramePayloadBytes)) {
  LYM_ASSERT(frameLength_ >= 1 && frameLength_ <= kMaxFrameLength, "Frame length out of range");
  if (options.Validate) {
    validator_ = std::make_unique<TFramePartitionValidator>(
        cpuFlags, sampleRate, options_.MaxOrderIndex, options.ApplyWindow, frameLength_ - 1);
  }
  if (options.PreFilter) {
    preFilter_ = std::make_unique<TPreFilterEncoder>(cpuFlags, frameLength_, bitsPerSample,
                                                     sampleRate, PreFilterOptionsFrom(options));
  }
  for (auto& work : work_) work = std::make_unique<TChannelWork>(frameLength_);
  candidates_.C.Values = work_[kC]->values.Data();
  candidates_.D.Values = work_[kD]->values.Data();
  candidates_.E.Values = work_[kE]->values.Data();
  candidates_.F.Values = work_[kF]->values.Data();
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

// Differences and shift of one channel, pre-filtered when the pre-filter is on and pays.
void TFrameEncoder::PrepareMono(TChannelWork& work, const int32_t* samples, int32_t n) {
  work.firstSample = samples[0];
  work.count = n - 1;
  work.partitionSearched = false;
  work.coding = TChannelCoding{};
  if (preFilter_ != nullptr) {
    preFilter_->ChooseMono(samples, n, work.values.Data(), work.coding);
  } else {
    PrepareChannel(samples, n, work.values.Data(), work.coding.Shift);
  }
}

// The size estimate of a signal for the mode choice: the quick estimate, or the partition search,
// whose result is then kept for writing.
int64_t TFrameEncoder::Estimate(TChannelWork& work) {
  if (quickEstimate_) return estimator_.Estimate(work.values.Data(), work.count);
  partition_.FindPartition(work.values.Data(), work.count, maxPredictors_, work.partition);
  work.partitionSearched = true;
  return work.partition.ChosenBits;
}

int32_t TFrameEncoder::SearchStereoMode(const int32_t* first, const int32_t* second, int32_t n) {
  TChannelWork &a = *work_[kA], &b = *work_[kB];
  for (TChannelWork* channel : {&a, &b}) {
    PrepareMono(*channel, channel == &a ? first : second, n);
  }
  const int64_t bitsA = Estimate(a), bitsB = Estimate(b);
  TStereoCosts cost;
  cost.fill(kNoStereoRoute);
  cost[0] = bitsA + bitsB;
  if (joint_.Encode(a.values.Data(), b.values.Data(), a.count, candidates_)) {
    auto bits = [&](TWork index, const TJointCandidate& candidate) {
      TChannelWork& work = *work_[index];
      work.count = a.count;
      work.partitionSearched = false;
      return Estimate(work) + candidate.ParameterBits;
    };
    const auto& c = candidates_;
    const int64_t bitsE = c.E.Valid ? bits(kE, c.E) : kNoStereoRoute;
    if (c.C.Valid) cost[1] = bitsA + bits(kC, c.C);
    if (c.D.Valid) cost[2] = bitsB + bits(kD, c.D);
    if (c.E.Valid) cost[3] = bitsA + bitsE;
    if (c.E.Valid) cost[4] = bitsB + bitsE;
    if (c.E.Valid && c.F.Valid) cost[5] = bitsE + bits(kF, c.F);
  }
  return ChooseStereoMode(cost);
}

// Joint coding with the pre-filter: the pre-filter encoder compares the six plain routes and the
// three pre-filtered ones and leaves the signals to write in A, B and the candidates.
int32_t TFrameEncoder::ChooseFilteredRoute(const int32_t* first, const int32_t* second, int32_t n) {
  TStereoRoute route;
  TChannelWork &a = *work_[kA], &b = *work_[kB];
  preFilter_->ChooseStereoRoute(first, second, n, a.values.Data(), b.values.Data(), candidates_,
                                route);
  a.firstSample = first[0];
  b.firstSample = second[0];
  a.coding = route.Channels[0];
  b.coding = route.Channels[1];
  for (auto& work : work_) {
    work->count = n - 1;
    work->partitionSearched = false;
  }
  return route.Mode;
}

// The blocks of each mode: the coded signal and the input channel whose first sample, shift and
// pre-filter it carries.
void TFrameEncoder::WriteStereoMode(int32_t mode) {
  struct TModeBlocks {
    TWork first, firstIdentity, second, secondIdentity;
  };
  static constexpr TModeBlocks kBlocks[] = {
      {kA, kA, kB, kB}, {kA, kA, kC, kB}, {kB, kB, kD, kA},
      {kA, kA, kE, kB}, {kB, kB, kE, kA}, {kF, kA, kE, kB}};
  const TModeBlocks& blocks = kBlocks[mode];
  writer_.WriteBits(uint32_t(mode), kStereoModeBits);
  TChannelWork& first = *work_[blocks.first];
  TChannelWork& second = *work_[blocks.second];
  const TChannelWork& firstIdentity = *work_[blocks.firstIdentity];
  const TChannelWork& secondIdentity = *work_[blocks.secondIdentity];
  const bool preFiltered = firstIdentity.coding.PreFilter;
  // Only the input channels may use difference orders, and only without a pre-filter.
  AnalyseBlock(first, !preFiltered && blocks.first == blocks.firstIdentity);
  AnalyseBlock(second, !preFiltered && blocks.second == blocks.secondIdentity);
  WriteBlock(first, firstIdentity);
  if (mode == kStereoPredict1From0) WriteJointParameters(writer_, candidates_.C);
  if (mode == kStereoPredict0From1) WriteJointParameters(writer_, candidates_.D);
  WriteBlock(second, secondIdentity);
}

// Splits the channel into sub-frames and chooses the coding of each: a predictor when it pays,
// else a difference block.
void TFrameEncoder::AnalyseBlock(TChannelWork& work, bool differenceOrders) {
  if (!work.partitionSearched)
    partition_.FindPartition(work.values.Data(), work.count, maxPredictors_, work.partition);
  if (validator_ != nullptr)
    validator_->Validate(work.values.Data(), work.count, compressor_, work.partition);
  const TPartitionRecord& record = work.partition.ChosenRecord();
  for (int32_t i = 0; i < record.Count; ++i) {
    auto& sub = work.subFrames[size_t(i)];
    sub.values = work.values.Data() + record.Borders[size_t(i)].Start;
    sub.count = record.Borders[size_t(i) + 1].Start - record.Borders[size_t(i)].Start;
    int64_t bits = 0;
    sub.predictor =
        lpc_.Encode(sub.values, sub.count, work.coding.PreFilter, compressor_, sub.lpc, bits);
    if (!sub.predictor) {
      sub.differenceOrder =
          differenceOrders ? ChooseDifferenceOrder(sub.values, sub.count).Order : 0;
      ApplyDifferenceOrder(sub.values, sub.count, sub.differenceOrder);
      compressor_.Analyse(sub.values, sub.count, sub.params);
    }
  }
}

// identity: the input channel whose first sample, shift and pre-filter the block carries.
void TFrameEncoder::WriteBlock(TChannelWork& work, const TChannelWork& identity) {
  const TChannelCoding& coding = identity.coding;
  writer_.WriteBit(coding.Shift > 0);
  if (coding.Shift > 0) writer_.WriteBits(uint32_t(coding.Shift - 1), kShiftFieldBits);
  writer_.WriteBits(uint32_t(identity.firstSample >> coding.Shift), bitsPerSample_ - coding.Shift);
  writer_.WriteBit(coding.PreFilter);
  if (coding.PreFilter) WritePreFilterParameters(writer_, coding.Parameters);
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
    TChannelWork& a = *work_[kA];
    PrepareMono(a, samples, n);
    AnalyseBlock(a, !a.coding.PreFilter);
    WriteBlock(a, a);
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
  } else if (!jointCoding_) {
    writer_.WriteBits(kStereoIndependent, kStereoModeBits);
    for (TWork channel : {kA, kB}) {
      TChannelWork& work = *work_[channel];
      PrepareMono(work, channel == kA ? first : second, n);
      AnalyseBlock(work, !work.coding.PreFilter);
      WriteBlock(work, work);
    }
  } else {
    WriteStereoMode(preFilter_ != nullptr ? ChooseFilteredRoute(first, second, n)
                                          : SearchStereoMode(first, second, n));
  }
  End(byteCount, data);
  return true;
}

}  // namespace lym

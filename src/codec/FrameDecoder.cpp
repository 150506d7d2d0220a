#include "codec/FrameDecoder.h"

#include "codec/DifferenceOrder.h"

namespace lym {
namespace {

constexpr int kStereoModeBits = 3;
constexpr uint32_t kLastStereoMode = kStereoMidDifference;

int32_t ShiftLeft(int32_t value, int shift) { return int32_t(uint32_t(value) << shift); }

// A signed field of any width 1..32; unlike a plain signed read, a 1-bit field holding 1 is -1.
bool ReadSignExtended(TBitInStream& reader, int width, int32_t& value) {
  uint32_t raw = 0;
  if (!reader.ReadBits(width, raw)) return false;
  const int unused = 32 - width;
  value = int32_t(raw << unused) >> unused;
  return true;
}

// Where each block's samples go: modes 2 and 4 code channel 1 first.
bool FirstBlockIsChannel1(TStereoMode mode) {
  return mode == kStereoPredict0From1 || mode == kStereoDifferenceKnown1;
}

bool PreFiltersAllowed(TStereoMode mode) { return mode <= kStereoPredict0From1; }

}  // namespace

TFrameDecoder::TFrameDecoder(uint32_t cpuFlags, int32_t maxFrameLength, int32_t bitsPerSample,
                             int32_t sampleRate)
    : kernels_(PredictionKernels(cpuFlags)),
      maxFrameLength_(maxFrameLength),
      bitsPerSample_(bitsPerSample),
      grid_(SubFrameGrid(sampleRate, maxFrameLength)),
      layout_(grid_),
      residual_(sampleRate, maxFrameLength, bitsPerSample),
      scratch_(maxFrameLength),
      joint_(maxFrameLength) {}

bool TFrameDecoder::Begin(const uint8_t* payload, int32_t byteCount, int32_t n) {
  if (n < 1 || n > maxFrameLength_ || byteCount < 0) return false;
  reader_.InitReader(payload, byteCount);
  return true;
}

bool TFrameDecoder::End(int32_t& byteCount, bool checkPadding) {
  const uint32_t padding = reader_.AlignToByte();
  if (reader_.ReadError || (checkPadding && padding != 0)) return false;
  byteCount = reader_.BytesRead();
  return true;
}

bool TFrameDecoder::DecodeMono(const uint8_t* payload, int32_t& byteCount, int32_t n,
                               int32_t* out0) {
  if (!Begin(payload, byteCount, n)) return false;
  if (n < kMinCodedFrameSamples) return ReadRawSamples(out0, n) && End(byteCount, false);
  TChannelBlock block;
  if (!ReadChannelBlock(out0, n, block)) return false;
  FinishChannel(out0, n, block);
  return End(byteCount, true);
}

bool TFrameDecoder::DecodeStereo(const uint8_t* payload, int32_t& byteCount, int32_t n,
                                 int32_t* out1, int32_t* out0) {
  if (!Begin(payload, byteCount, n)) return false;
  if (n < kMinCodedFrameSamples)
    return ReadRawSamples(out0, n) && ReadRawSamples(out1, n) && End(byteCount, true);
  uint32_t mode = 0;
  if (!reader_.ReadBits(kStereoModeBits, mode) || mode > kLastStereoMode) return false;
  TChannelBlock blocks[2];
  if (!ReadStereoBlocks(TStereoMode(mode), n, out0, out1, blocks)) return false;
  FinishChannel(out0, n, blocks[0]);
  FinishChannel(out1, n, blocks[1]);
  return End(byteCount, true);
}

bool TFrameDecoder::ReadRawSamples(int32_t* out, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    if (!ReadSignExtended(reader_, bitsPerSample_, out[i])) return false;
  return true;
}

// Reads both blocks into their channels' arrays and rebuilds the joint-coded channel over the
// difference values 1..n-1. blocks[c] describes channel c afterwards.
bool TFrameDecoder::ReadStereoBlocks(TStereoMode mode, int32_t n, int32_t* out0, int32_t* out1,
                                     TChannelBlock (&blocks)[2]) {
  const bool swapped = FirstBlockIsChannel1(mode);
  int32_t* first = swapped ? out1 : out0;
  int32_t* second = swapped ? out0 : out1;
  TChannelBlock& firstBlock = blocks[swapped ? 1 : 0];
  TChannelBlock& secondBlock = blocks[swapped ? 0 : 1];
  const bool predicted = mode == kStereoPredict1From0 || mode == kStereoPredict0From1;
  if (!ReadChannelBlock(first, n, firstBlock)) return false;
  if (predicted && !ReadJointParameters(reader_, jointParameters_)) return false;
  if (!ReadChannelBlock(second, n, secondBlock)) return false;
  if (!PreFiltersAllowed(mode) && (firstBlock.PreFilter || secondBlock.PreFilter)) return false;

  const int32_t count = n - 1;
  switch (mode) {
    case kStereoPredict1From0:
    case kStereoPredict0From1:
      joint_.ApplyPredictor(jointParameters_, first + 1, second + 1, count);
      break;
    case kStereoDifferenceKnown0:
    case kStereoDifferenceKnown1:
      ApplyJointDifference(first + 1, second + 1, mode == kStereoDifferenceKnown0, count);
      break;
    case kStereoMidDifference:
      ApplyJointMid(first + 1, second + 1, count);
      break;
    case kStereoIndependent:
      break;
  }
  return true;
}

bool TFrameDecoder::ReadChannelBlock(int32_t* v, int32_t n, TChannelBlock& block) {
  uint32_t flag = 0, field = 0;
  if (!reader_.ReadBit(flag)) return false;
  if (flag != 0 && !reader_.ReadBits(4, field)) return false;
  block.Shift = flag != 0 ? int32_t(field) + 1 : 0;
  if (block.Shift >= bitsPerSample_) return false;
  int32_t first = 0;
  if (!ReadSignExtended(reader_, bitsPerSample_ - block.Shift, first)) return false;
  v[0] = ShiftLeft(first, block.Shift);

  if (!reader_.ReadBit(flag)) return false;
  block.PreFilter = flag != 0;
  if (block.PreFilter && !ReadPreFilterParameters(reader_, block.PreFilterParameters))
    return false;

  int32_t count = 0;
  int32_t starts[kMaxSubFrames + 1];
  if (!ReadSubFrameLayout(n, count, starts)) return false;
  // Sub-frame i covers the difference values 1 + starts[i] .. starts[i + 1].
  for (int32_t i = 0; i < count; ++i) {
    const int32_t from = 1 + starts[i];
    const int32_t length = starts[i + 1] - starts[i];
    if (length < 1 || !ReadSubFrame(v + from, length)) return false;
  }
  return true;
}

bool TFrameDecoder::ReadSubFrameLayout(int32_t n, int32_t& count, int32_t* starts) {
  uint32_t field = 0;
  if (!reader_.ReadBits(kSubFrameCountBits, field) || field >= kMaxSubFrames) return false;
  count = int32_t(field) + 1;
  layout_.SetLayout(n, grid_.Level());
  starts[0] = 0;
  uint32_t previous = 0;
  for (int32_t i = 1; i < count; ++i) {
    if (!reader_.ReadBits(kSubFrameCellBits, field) || field <= previous || int32_t(field) >= layout_.Count())
      return false;
    starts[i] = layout_.PartitionStart(int32_t(field));
    previous = field;
  }
  starts[count] = n - 1;
  return true;
}

bool TFrameDecoder::ReadSubFrame(int32_t* x, int32_t length) {
  uint32_t kind = 0;
  if (!reader_.ReadBit(kind)) return false;
  return kind == 0 ? ReadDifferenceValues(x, length) : ReadPredictorSubFrame(x, length);
}

bool TFrameDecoder::ReadDifferenceValues(int32_t* x, int32_t length) {
  int order = 0;
  if (!ReadDifferenceBlock(reader_, residual_, x, length, order)) return false;
  UndoDifferenceOrder(x, length, order);
  return true;
}

bool TFrameDecoder::ReadPredictorSubFrame(int32_t* x, int32_t length) {
  uint32_t scaleShift = 0, orderIndex = 0;
  if (!reader_.ReadBits(4, scaleShift) || !reader_.ReadBits(4, orderIndex)) return false;
  const int32_t order = kOrderTable[orderIndex];
  if (order > length) return false;
  if (!ReadDifferenceValues(x, order) || !ReadCoefficientSet(reader_, order, predictor_) ||
      !residual_.ReadBlock(reader_, x + order, length - order))
    return false;
  SynthesizePrediction(kernels_, predictor_, int(scaleShift), x, length, scratch_);
  return true;
}

// Pre-filter, shift and running sum turn the channel's difference values into samples.
void TFrameDecoder::FinishChannel(int32_t* v, int32_t n, const TChannelBlock& block) {
  if (block.PreFilter)
    ApplyPreFilterSynthesis(kernels_, block.PreFilterParameters, v + 1, n - 1, scratch_);
  for (int32_t i = 1; i < n; ++i) {
    const uint32_t difference = uint32_t(ShiftLeft(v[i], block.Shift));
    v[i] = int32_t(uint32_t(v[i - 1]) + difference);
  }
}

}  // namespace lym

#include "codec/ChannelBits.h"


#include "codec/Adcbitco.h"
#include "codec/LpcEstimate.h"
#include "foundation/zqExceptions.h"

namespace lym {
namespace {

constexpr int32_t kSmallestEstimatedBlock = 17;
constexpr int32_t kMinBlockLength = 16;

int32_t BlockLengthFor(int32_t sampleRate) { return (sampleRate / 64) & ~int32_t(7); }

}  // namespace

TChannelBitsEstimator::TChannelBitsEstimator(uint32_t cpuFlags, int mode, int32_t sampleRate,
                                             int32_t capacity)
    : kernels_(&DspKernels(cpuFlags)),
      mode_(mode),
      capacity_(capacity),
      blockLength_(BlockLengthFor(sampleRate)),
      // The longest block: a full one with a remainder below half a block merged into it.
      scaled_(size_t(mode == kPredictionMode ? blockLength_ + blockLength_ / 2 : 0)) {
  LYM_ASSERT(mode >= kMagnitudeMode && mode <= kPredictionMode, "Channel estimator mode");
  LYM_ASSERT(blockLength_ >= kMinBlockLength, "Channel estimator block below 16 values");
  LYM_ASSERT(capacity >= 0, "Channel estimator capacity");
}

void TChannelBitsEstimator::LayOut(int32_t n) {
  length_ = n;
  const int32_t full = n / blockLength_;
  const int32_t rest = n - full * blockLength_;
  if (full == 0) {
    blockCount_ = 1;
    lastLength_ = n;
  } else if (rest < blockLength_ / 2) {
    blockCount_ = full;
    lastLength_ = blockLength_ + rest;
  } else {
    blockCount_ = full + 1;
    lastLength_ = rest;
  }
}

int32_t TChannelBitsEstimator::Estimate(const int32_t* values, int32_t n) {
  LYM_ASSERT(n >= 0 && n <= capacity_, "Channel estimator called beyond its capacity");
  if (n != length_) LayOut(n);
  if (n < kSmallestEstimatedBlock) return int32_t(DifferenceBits(values, n));
  int64_t bits = 0;
  for (int32_t block = 0; block < blockCount_ - 1; ++block)
    bits += BlockBits(values + int64_t(block) * blockLength_, blockLength_);
  bits += BlockBits(values + int64_t(blockCount_ - 1) * blockLength_, lastLength_);
  return int32_t(bits);
}

int64_t TChannelBitsEstimator::BlockBits(const int32_t* values, int32_t n) {
  switch (mode_) {
    case kMagnitudeMode:
      return EstimateResidualBits(n, double(kernels_->MagnitudeSum(values, n)) / n);
    case kDifferenceMode:
      return DifferenceBits(values, n);
    default:
      return PredictionBits(values, n);
  }
}

int64_t TChannelBitsEstimator::PredictionBits(const int32_t* values, int32_t n) {
  const int s = ScaleShiftFor(kernels_->MagnitudeOr(values, n));
  int16_t* scaled = scaled_.Data();
  ScaledCopy16(*kernels_, values, scaled, n, s);
  int64_t r[5];
  kernels_->Autocorrelation16(scaled, n, 0, 4, r);
  // Mostly zeros: the difference estimate prices them better than an error energy can.
  if (r[0] < n / 2) return DifferenceBits(values, n);
  return QuickPredictionBits(n, r).Bits + int64_t(s) * n;
}

}  // namespace lym

// Fast size estimate of a whole channel of a frame, without partition or predictor search: the
// frame encoder compares the candidate signals of the stereo modes with it.
//
// The channel is cut into blocks of about 1/64 second (a multiple of 8 samples); a remainder
// shorter than half a block joins the last block, a longer one is a block of its own.
#pragma once

#include <cstdint>

#include "codec/Dsp.h"
#include "foundation/zqAlignedMem.h"

namespace lym {

class TChannelBitsEstimator {
 public:
  enum TMode : int {
    kMagnitudeMode = 0,   // mean magnitude of the values
    kDifferenceMode = 1,  // mean magnitude under the best difference order
    kPredictionMode = 2,  // order-4 prediction estimate, difference order for silent blocks
  };

  // capacity: the most values one call estimates. Rates below 1024 Hz leave blocks shorter than
  // 16 values and are an assertion failure.
  TChannelBitsEstimator(uint32_t cpuFlags, int mode, int32_t sampleRate, int32_t capacity);
  TChannelBitsEstimator(const TChannelBitsEstimator&) = delete;
  TChannelBitsEstimator& operator=(const TChannelBitsEstimator&) = delete;

  int32_t BlockLength() const { return blockLength_; }
  // Layout of the last call.
  int32_t BlockCount() const { return blockCount_; }
  int32_t LastBlockLength() const { return lastLength_; }

  // n <= capacity.
  int32_t Estimate(const int32_t* values, int32_t n);

 private:
  void LayOut(int32_t n);
  int64_t BlockBits(const int32_t* values, int32_t n);
  int64_t PredictionBits(const int32_t* values, int32_t n);

  const TDspKernels* kernels_;
  int mode_;
  int32_t capacity_;
  int32_t blockLength_;
  int32_t length_ = -1;
  int32_t blockCount_ = 0;
  int32_t lastLength_ = 0;
  TAntiAliasArray<int16_t> scaled_;
};

}  // namespace lym

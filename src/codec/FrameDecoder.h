// Decodes the payload of one frame into 32-bit sample arrays, one per channel.
//
// Payload of a frame of n samples per channel: below 16 samples, the raw samples; otherwise (stereo:
// a 3-bit mode first) a channel block per channel, joint parameters between the blocks in modes 1
// and 2, then zero padding to a byte boundary. A channel block: shift, first sample, pre-filter,
// sub-frame layout, then each sub-frame as a difference block or a predictor sub-frame over the
// channel's first differences. Frames are independent: decoding can start at any frame.
#pragma once

#include <cstdint>

#include "codec/Adcbitco.h"
#include "codec/BitStream.h"
#include "codec/FramePositions.h"
#include "codec/JointStereo.h"
#include "codec/PreFilter.h"
#include "codec/Prediction.h"

namespace lym {

inline constexpr int32_t kMaxFrameLength = 16384;
// Frames shorter than this store their samples raw.
inline constexpr int32_t kMinCodedFrameSamples = 16;
inline constexpr int kMaxSubFrames = 5;

enum TStereoMode : uint32_t {
  kStereoIndependent = 0,
  kStereoPredict1From0 = 1,
  kStereoPredict0From1 = 2,
  kStereoDifferenceKnown0 = 3,
  kStereoDifferenceKnown1 = 4,
  kStereoMidDifference = 5,
};

class TFrameDecoder {
 public:
  TFrameDecoder(uint32_t cpuFlags, int32_t maxFrameLength, int32_t bitsPerSample,
                int32_t sampleRate);

  // byteCount gives the bytes available and returns the bytes the payload occupied. Output arrays
  // hold at least n values; on failure their contents are undefined.
  bool DecodeMono(const uint8_t* payload, int32_t& byteCount, int32_t n, int32_t* out0);
  bool DecodeStereo(const uint8_t* payload, int32_t& byteCount, int32_t n, int32_t* out1,
                    int32_t* out0);

 private:
  struct TChannelBlock {
    int32_t Shift = 0;
    bool PreFilter = false;
    TPreFilterParameters PreFilterParameters;
  };

  bool Begin(const uint8_t* payload, int32_t byteCount, int32_t n);
  bool End(int32_t& byteCount, bool checkPadding);
  bool ReadRawSamples(int32_t* out, int32_t n);
  bool ReadStereoBlocks(TStereoMode mode, int32_t n, int32_t* out0, int32_t* out1,
                        TChannelBlock (&blocks)[2]);
  bool ReadChannelBlock(int32_t* v, int32_t n, TChannelBlock& block);
  bool ReadSubFrameLayout(int32_t n, int32_t& count, int32_t* starts);
  bool ReadSubFrame(int32_t* x, int32_t length);
  bool ReadDifferenceValues(int32_t* x, int32_t length);
  bool ReadPredictorSubFrame(int32_t* x, int32_t length);
  void FinishChannel(int32_t* v, int32_t n, const TChannelBlock& block);

  const TPredictionKernels& kernels_;
  int32_t maxFrameLength_;
  int32_t bitsPerSample_;
  TFramePositions grid_;
  TSubFramePositions layout_;
  TBitDecompressor residual_;
  TBitInStream reader_;
  TSynthesisScratch scratch_;
  TJointChannelDecoder joint_;
  TJointParameters jointParameters_;
  TCoefficientSet predictor_;
};

}  // namespace lym

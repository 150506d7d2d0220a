// Encodes one frame of PCM (one or two channels, at most 16384 samples each) into the payload that
// TFrameDecoder reads: first differences and wasted low bits removed, a stereo mode chosen, each
// channel split into sub-frames, predicted and entropy coded.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "codec/Adcbitco.h"
#include "codec/BitStream.h"
#include "codec/ChannelBits.h"
#include "codec/EncoderPresets.h"
#include "codec/FrameDecoder.h"
#include "codec/FramePartition.h"
#include "codec/JointStereo.h"
#include "codec/Lpc_Encode.h"
#include "codec/PreFilter.h"
#include "foundation/zqAlignedMem.h"

namespace lym {

// The largest payload of one frame: no block the residual coder chooses spends more than 54 bits
// on a value (code 50 with the widest escape), and the per-sub-frame fields (coefficient sets,
// code lists, layout) of two channels stay far below the slack.
inline constexpr int32_t kMaxFramePayloadBytes = 2 * kMaxFrameLength * 54 / 8 + 65536;

// Estimated bits of stereo modes 0..5; kNoStereoRoute for modes that are not available.
inline constexpr int64_t kNoStereoRoute = 16777216;
using TStereoCosts = std::array<int64_t, 6>;
// The cheapest mode, the lower one on ties; mode 0 when none is available.
int32_t ChooseStereoMode(const TStereoCosts& cost);

class TFrameEncoder {
 public:
  // maxPredictors: the settings' upper bound of the predictor order (16..256).
  TFrameEncoder(int32_t sampleRate, int bitsPerSample, uint32_t cpuFlags,
                const TFrameEncoderOptions& options, int32_t maxPredictors);
  ~TFrameEncoder();
  TFrameEncoder(const TFrameEncoder&) = delete;
  TFrameEncoder& operator=(const TFrameEncoder&) = delete;

  // sampleCount is clamped to the frame length and returned; data points at the encoder's own
  // buffer, valid until the next call.
  bool EncodeMono(const int32_t* samples, int32_t& sampleCount, int32_t& byteCount,
                  const uint8_t*& data);
  bool EncodeStereo(const int32_t* first, const int32_t* second, int32_t& byteCount,
                    const uint8_t*& data, int32_t& sampleCount);

 private:
  struct TChannelWork;
  enum TWork { kA, kB, kC, kD, kE, kF, kWorkCount };

  int32_t Begin(int32_t sampleCount);
  void End(int32_t& byteCount, const uint8_t*& data);
  void WriteRaw(const int32_t* samples, int32_t n);
  void PrepareMono(TChannelWork& work, const int32_t* samples, int32_t n);
  int64_t Estimate(TChannelWork& work);
  int32_t SearchStereoMode(const int32_t* first, const int32_t* second, int32_t n);
  int32_t ChooseFilteredRoute(const int32_t* first, const int32_t* second, int32_t n);
  void WriteStereoMode(int32_t mode);
  void AnalyseBlock(TChannelWork& work, bool differenceOrders);
  void WriteBlock(TChannelWork& work, const TChannelWork& identity);

  int bitsPerSample_;
  TFrameEncoderOptions options_;
  int32_t maxPredictors_;
  int32_t frameLength_;
  bool jointCoding_;
  bool quickEstimate_;
  TChannelBitsEstimator estimator_;
  TFramePartitionCalculator partition_;
  std::unique_ptr<TFramePartitionValidator> validator_;
  TBitCompressor compressor_;
  TLpcEncoder lpc_;
  TJointChannelEncoder joint_;
  std::unique_ptr<TPreFilterEncoder> preFilter_;
  TAntiAliasArray<uint8_t> output_;
  TBitOutStream writer_;
  std::array<std::unique_ptr<TChannelWork>, kWorkCount> work_;
  TJointCandidates candidates_;
};

}  // namespace lym

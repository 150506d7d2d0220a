// Turning a compressed stream back into interleaved PCM: the one decoder object of the desktop
// program and the player plug-in.
//
// The decoder pulls frame bytes from a TAdcReader into a byte window, finds and checks each frame
// header, decodes the payload and checks its CRC-24. Damage never stops decoding: frames that are
// missing or broken are searched over, reported once per gap through OnDamage, counted, and
// replaced by silence (muted) or left out (cut). Seeking is sample-exact; without a usable seek
// table it searches forward from the first frame. No input makes the decoder read outside its
// window, crash or loop without progress.
#pragma once

#include <cstdint>
#include <memory>

#include "codec/FrameDecoder.h"
#include "container/lymStreamReader.h"
#include "container/APEv2Tag.h"
#include "io/lymFileIo.h"
#include "foundation/zqAlignedMem.h"

namespace lym {

// Decoder flags (TadcDecoderOptions::DecoderFlags).
inline constexpr uint32_t kDecodeBuffered = 2;    // read the file through a 2048-byte buffer
inline constexpr uint32_t kDecodeSequential = 4;  // sequential decoding, seeking refused
inline constexpr uint32_t kDecodeCutLost = 8;     // cut lost frames instead of muting; needs 4

inline constexpr int32_t kDecodeFileBufferBytes = 2048;
inline constexpr size_t kMaxDecodeFileNameLength = 256;

// Call results and TadcDecodeResult::ErrorLevel.
inline constexpr int32_t kDecodeOk = 0;
inline constexpr int32_t kDecodeNoWaveMeta = 1;
inline constexpr int32_t kDecodeMetaDamaged = 2;
inline constexpr int32_t kDecodeAudioDamaged = 3;
inline constexpr int32_t kDecodeReadError = 4;
inline constexpr int32_t kDecodeIncompatible = 5;
inline constexpr int32_t kDecodeUndecodable = 6;
inline constexpr int32_t kDecodeInvalidArgument = 2048;
inline constexpr int32_t kDecodeNotAllowed = 2050;
inline constexpr int32_t kDecodeBufferTooSmall = 2051;
// Decoding goes on while the error level stays below this.
inline constexpr int32_t kDecodeFatal = 4;

struct TadcDecoderOptions {
  uint32_t ProcessorOptions = 0;  // for the frame decoder; the vector bit is dropped if useless
  uint32_t DecoderFlags = 0;
};

struct TadcDecodeResult {
  int32_t DamageFlags = 0;  // the reader's, copied at open
  int32_t ErrorLevel = 0;   // highest code >= 2 raised so far
  int64_t HeaderSamples = 0;
  int64_t WrittenSamples = 0;  // cleared with the two below at every seek
  int64_t MutedSamples = 0;
  int32_t DamagedBlocks = 0;
};

// One gap: where it starts in the output and how many samples it lost.
struct TadcDamageInfo {
  int64_t Position = 0;
  int64_t Samples = 0;
};
using TadcDamageCallback = void (*)(void* userData, const TadcDamageInfo* damage);

class TSeekableStreamDecoder {
 public:
  // Opens the named file (UTF-8, 1..256 characters) and the stream in it. OpenResult() tells how.
  TSeekableStreamDecoder(const char* fileName, const TadcDecoderOptions& options,
                         TadcDamageCallback OnDamage, void* userData);
  // Opens the stream at the caller's stream's current position; the stream is not owned and must
  // outlive the decoder. The buffering flag is ignored.
  TSeekableStreamDecoder(TadcIoStream& stream, const TadcDecoderOptions& options,
                         TadcDamageCallback OnDamage, void* userData);
  ~TSeekableStreamDecoder();
  TSeekableStreamDecoder(const TSeekableStreamDecoder&) = delete;
  TSeekableStreamDecoder& operator=(const TSeekableStreamDecoder&) = delete;

  // The result of creation: 0, 2 or 3 when decoding can go on, else the reason it cannot.
  int32_t OpenResult() const { return openResult_; }

  // Fills buffer with up to count sample frames of interleaved PCM; fewer only at the end.
  int32_t DecodeSamples(void* buffer, int32_t count, int32_t* delivered);
  int32_t ReadWaveMetaInfo(TadcWaveMetaInfo* info);
  int32_t ReadWaveMetaData(void* buffer, int32_t bufferSize);
  // Positions the output at sample position (0 .. HeaderSamples - 1).
  int32_t SeekSample(int64_t position);
  // The stream's APEv2 tag, or null.
  TlymAPEv2Tag* GetApeTag();

  const TadcDecodeResult& Result() const { return result_; }
  int32_t BitRate() const { return bitRate_; }
  const TAdcReader& Reader() const { return reader_; }
  // For the reader's queries (encoder information, seek table), which move the stream.
  TAdcReader& Reader() { return reader_; }
  int32_t BlockSize() const { return blockSize_; }
  // Samples delivered since open or the last seek, silence included, plus the seek target.
  int64_t SamplePosition() const { return position_; }

 private:
  void Create(const TadcDecoderOptions& options);
  void OpenStream(TadcIoStream& stream);
  void Raise(int32_t code);
  void ResetPosition();
  void ResetWindow();
  // Moves the unread bytes to the start of the window and reads as many more as fit.
  bool Refill();
  bool FindSync(int32_t& at);
  // Finds and decodes the next frame numbered at least minimum; false when none is left or a
  // fatal error arose.
  bool FindFrame(int32_t minimum);
  bool AcceptHeader(const TadcFrameHeader& header, int32_t minimum, int32_t& samples) const;
  void ReportGap(int64_t lost);
  bool Fatal() const { return result_.ErrorLevel >= kDecodeFatal; }

  TadcDamageCallback onDamage_ = nullptr;
  void* userData_ = nullptr;
  uint32_t flags_ = 0;
  uint32_t processorOptions_ = 0;
  int32_t callResult_ = 0;
  int32_t openResult_ = 0;
  TadcDecodeResult result_;

  std::unique_ptr<TadcFileStream> file_;
  TAdcReader reader_;
  std::unique_ptr<TFrameDecoder> decoder_;
  std::unique_ptr<TAntiAliasArray<uint8_t>> window_;
  std::unique_ptr<TAntiAliasArray<int32_t>> channel0_;
  std::unique_ptr<TAntiAliasArray<int32_t>> channel1_;
  bool open_ = false;

  int32_t capacity_ = 0;
  int32_t index_ = 0;  // next unread byte of the window
  int32_t fill_ = 0;   // valid bytes of the window
  bool dataEnd_ = false;  // the reader had nothing more to give

  int32_t frameLength_ = 0;
  int32_t channels_ = 0;
  int32_t bits_ = 0;
  int32_t sampleRate_ = 0;
  int32_t blockSize_ = 0;
  int64_t frameCount_ = 0;

  int32_t frameIndex_ = 0;      // next sample of the last decoded frame
  int32_t frameAvailable_ = 0;  // samples of the last decoded frame
  int32_t lastFrameNumber_ = -1;
  int64_t pending_ = 0;  // silent samples still to deliver
  int64_t position_ = 0;
  bool end_ = false;
  int32_t bitRate_ = 0;
};

}  // namespace lym

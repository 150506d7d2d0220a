#include "files/WaveFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "io/MemoryStream.h"
#include "foundation/ByteOrder.h"

namespace lym {
namespace {

using Bytes = std::vector<uint8_t>;

void Append32(Bytes& to, uint32_t value) {
  for (int i = 0; i < 4; ++i) to.push_back(uint8_t(value >> (8 * i)));
}

void Append16(Bytes& to, uint32_t value) {
  to.push_back(uint8_t(value));
  to.push_back(uint8_t(value >> 8));
}

Bytes Counting(size_t n, uint8_t first = 1) {
  Bytes bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(first + i * 7);
  return bytes;
}

struct TFormat {
  uint16_t tag = 1, channels = 2;
  uint32_t rate = 44100;
  uint16_t bits = 16;
  int blockAlign = -1;  // derived unless set
};

Bytes FormatPayload(const TFormat& f) {
  const uint16_t align = uint16_t(f.blockAlign >= 0 ? f.blockAlign : f.channels * f.bits / 8);
  Bytes p;
  Append16(p, f.tag);
  Append16(p, f.channels);
  Append32(p, f.rate);
  Append32(p, f.rate * align);
  Append16(p, align);
  Append16(p, f.bits);
  return p;
}

struct TExtensible {
  uint16_t extraSize = 22, validBits = 24;
  uint32_t mask = 0x3;
  uint32_t subFormat = 1;  // the first field of the GUID; 1 is PCM, 3 float
};

Bytes ExtensiblePayload(TFormat f, const TExtensible& x) {
  f.tag = 0xFFFE;
  Bytes p = FormatPayload(f);
  Append16(p, x.extraSize);
  Append16(p, x.validBits);
  Append32(p, x.mask);
  Append32(p, x.subFormat);
  for (uint8_t b : {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) {
    p.push_back(b);
  }
  return p;
}

// A RIFF WAVE file put together chunk by chunk; the RIFF size follows the bytes unless told.
class WaveImage {
 public:
  // The size field says declared (the payload's length by default); odd payloads get a pad byte.
  WaveImage& Chunk(const char* id, const Bytes& payload, int64_t declared = -1) {
    body_.insert(body_.end(), id, id + 4);
    Append32(body_, uint32_t(declared >= 0 ? declared : int64_t(payload.size())));
    body_.insert(body_.end(), payload.begin(), payload.end());
    if (payload.size() % 2 == 1) body_.push_back(0);
    return *this;
  }
  WaveImage& Fmt(const TFormat& f = {}) { return Chunk("fmt ", FormatPayload(f)); }
  WaveImage& Raw(const Bytes& bytes) {
    body_.insert(body_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  Bytes Build(int64_t riffSizeError = 0) const {
    Bytes file{'R', 'I', 'F', 'F'};
    Append32(file, uint32_t(body_.size() + 4 + riffSizeError));
    file.insert(file.end(), {'W', 'A', 'V', 'E'});
    file.insert(file.end(), body_.begin(), body_.end());
    return file;
  }

 private:
  Bytes body_;
};

uint8_t OpenState(const Bytes& file) {
  TMemoryMedium medium{file};
  TadcInterfaceStream stream;
  EXPECT_EQ(OpenMemoryStream(stream, medium), 0);
  TWaveReader reader;
  return reader.Open(&stream);
}

// What the reader hands out, and the file that the writer rebuilds from it with the stored header.
struct TReadBack {
  uint8_t state = 0;
  uint32_t acceptances = 0;
  uint32_t declaredDataSize = 0;
  TadcAudioFormat format;
  int64_t frames = 0;
  Bytes header, samples, trailer, rebuilt;
};

TReadBack ReadBack(TadcIoStream& stream) {
  TReadBack r;
  TWaveReader reader;
  r.state = reader.Open(&stream);
  if (r.state != kReaderOpen) return r;
  r.acceptances = reader.Acceptances();
  r.declaredDataSize = reader.DeclaredDataSize();
  r.format = reader.Format();
  r.frames = reader.GetTotalSamples();
  r.header.resize(size_t(reader.GetHeaderSize()));
  r.trailer.resize(size_t(reader.GetTrailerSize()));
  r.samples.resize(size_t(reader.GetTotalSamples() * r.format.BlockSize));
  // Header and trailer in between sample reads: they must not move the sample position.
  int32_t frames = 3;
  EXPECT_TRUE(reader.ReadSamples(r.samples.data(), frames));
  EXPECT_TRUE(reader.ReadHeaderBytes(r.header.data()));
  EXPECT_TRUE(reader.ReadTrailerBytes(r.trailer.data()));
  int32_t rest = int32_t(reader.GetRemainingSamples()) + 5;
  EXPECT_TRUE(reader.ReadSamples(r.samples.data() + frames * r.format.BlockSize, rest));
  EXPECT_EQ(frames + rest, reader.GetTotalSamples());
  EXPECT_EQ(reader.GetRemainingSamples(), 0);

  TMemoryMedium out;
  TadcInterfaceStream outStream;
  EXPECT_EQ(OpenMemoryStream(outStream, out, 512), 0);
  TWaveWriter writer;
  EXPECT_TRUE(writer.Open(r.format, &outStream, int32_t(r.header.size()), r.header.data()));
  EXPECT_TRUE(writer.WriteSamples(r.samples.data(), int32_t(reader.GetTotalSamples())));
  EXPECT_TRUE(writer.Close(true, r.trailer.data(), int64_t(r.trailer.size())));
  EXPECT_EQ(outStream.Close(true), 0);
  r.rebuilt = out.bytes;
  return r;
}

TReadBack ReadBack(const Bytes& file) {
  TMemoryMedium medium{file};
  TadcInterfaceStream stream;
  EXPECT_EQ(OpenMemoryStream(stream, medium, 512), 0);
  return ReadBack(stream);
}

TEST(WaveReader, SplitsHeaderSamplesAndTrailerAroundOtherChunks) {
  const Bytes samples = Counting(10 * 4);
  const Bytes list = Counting(5, 0x40);  // odd: a pad byte follows
  const Bytes tail = Counting(9, 0x90);
  WaveImage image;
  image.Chunk("JUNK", Counting(3)).Fmt().Chunk("LIST", list).Chunk("data", samples);
  image.Chunk("id3 ", tail);
  const Bytes file = image.Build();

  const TReadBack r = ReadBack(file);
  ASSERT_EQ(r.state, kReaderOpen);
  EXPECT_EQ(r.format.SampleRate, 44100);
  EXPECT_EQ(r.format.Channels, 2);
  EXPECT_EQ(r.format.BitsPerSample, 16);
  EXPECT_EQ(r.format.BlockSize, 4);
  const size_t dataStart = 12 + (8 + 4) + (8 + 16) + (8 + 6) + 8;
  EXPECT_EQ(r.header, Bytes(file.begin(), file.begin() + dataStart));
  EXPECT_EQ(r.samples, samples);
  EXPECT_EQ(r.trailer, Bytes(file.begin() + dataStart + 40, file.end()));
  EXPECT_EQ(r.rebuilt, file);
}

TEST(WaveReader, LeftoverDataBytesAndPadBelongToTheTrailer) {
  // 7 frames of 16-bit mono plus one byte: the odd size also brings a pad byte.
  const Bytes data = Counting(15);
  const Bytes file = WaveImage().Fmt({.channels = 1}).Chunk("data", data).Build();
  const TReadBack r = ReadBack(file);
  ASSERT_EQ(r.state, kReaderOpen);
  EXPECT_EQ(r.samples, Bytes(data.begin(), data.begin() + 14));
  EXPECT_EQ(r.trailer, (Bytes{data[14], 0}));
  EXPECT_EQ(r.rebuilt, file);
}

TEST(WaveReader, ReadsThroughABufferedFileStream) {
  const Bytes file =
      WaveImage().Fmt({.channels = 1, .bits = 8}).Chunk("data", Counting(3001)).Build();
  const auto path = std::filesystem::temp_directory_path() / "lym_wave_reader_test.wav";
  {
    std::FILE* out = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), out), file.size());
    std::fclose(out);
  }
  TadcFileStream stream;
  ASSERT_EQ(stream.OpenFile(path.string(), kAccessRead, 1024, kShareRead), 0);
  const TReadBack r = ReadBack(stream);
  stream.Close(false);
  std::filesystem::remove(path);
  ASSERT_EQ(r.state, kReaderOpen);
  EXPECT_EQ(r.samples.size(), 3001u);
  EXPECT_EQ(r.rebuilt, file);
}

// Extensible PCM comes back byte for byte whatever its layout says; what the encoder cannot keep
// (valid bits, a mono speaker) is accepted with a warning, what would be another kind of audio or
// a contradiction is refused.
TEST(WaveReader, ExtensiblePcmIsAcceptedWithAWarningWhereItSaysMoreThanPlainPcm) {
  const TFormat stereo24{.channels = 2, .bits = 24};
  const TFormat mono24{.channels = 1, .bits = 24};
  auto withFormat = [](const Bytes& fmt) {
    return WaveImage().Chunk("fmt ", fmt).Chunk("data", Counting(12)).Build();
  };
  const std::vector<std::pair<Bytes, uint32_t>> accepted = {
      {ExtensiblePayload(stereo24, {}), 0},
      {ExtensiblePayload(stereo24, {.mask = 0}), 0},
      {ExtensiblePayload(mono24, {.mask = 0x4}), 0},
      {ExtensiblePayload(mono24, {.mask = 0}), 0},
      {ExtensiblePayload(stereo24, {.validBits = 20}), kWaveValidBitsBelowContainer},
      {ExtensiblePayload(mono24, {.mask = 0x1}), kWaveMonoMaskOffCentre},
      {ExtensiblePayload(mono24, {.mask = 0x80000000}), kWaveMonoMaskOffCentre},
      {ExtensiblePayload(mono24, {.validBits = 1, .mask = 0x100}),
       kWaveValidBitsBelowContainer | kWaveMonoMaskOffCentre},
  };
  for (const auto& [fmt, acceptances] : accepted) {
    const Bytes file = withFormat(fmt);
    const TReadBack r = ReadBack(file);
    ASSERT_EQ(r.state, kReaderOpen) << ::testing::PrintToString(fmt);
    EXPECT_EQ(r.acceptances, acceptances) << ::testing::PrintToString(fmt);
    EXPECT_EQ(r.format.BitsPerSample, 24);  // the container's bits, whatever is valid of them
    EXPECT_EQ(r.rebuilt, file);
  }

  const std::vector<Bytes> refused = {
      ExtensiblePayload(mono24, {.mask = 0x3}),  // two speakers for one channel
      ExtensiblePayload(mono24, {.mask = 0x104}),
      ExtensiblePayload(stereo24, {.mask = 0x33}),  // four speakers for two channels
      ExtensiblePayload(stereo24, {.mask = 0x30}),  // a pair other than front left and right
      ExtensiblePayload(stereo24, {.mask = 0x1}),
      ExtensiblePayload(stereo24, {.validBits = 0}),
      ExtensiblePayload(stereo24, {.validBits = 25}),
      ExtensiblePayload(stereo24, {.subFormat = 3}),  // floating point
      ExtensiblePayload(stereo24, {.extraSize = 0}),
  };
  for (const Bytes& fmt : refused) {
    EXPECT_EQ(OpenState(withFormat(fmt)), kReaderUnsupportedFormat)
        << ::testing::PrintToString(fmt);
  }
  Bytes shortChunk = ExtensiblePayload(stereo24, {});
  shortChunk.resize(18);
  EXPECT_EQ(OpenState(withFormat(shortChunk)), kReaderUnsupportedFormat);
}

// Sizes that tools write when they cannot rewind their output, or whose output was cut short.
TEST(WaveReader, SampleDataWithoutAUsableSizeRunsToTheEndOfTheFile) {
  const Bytes data = Counting(10 * 4 + 3);  // ten stereo frames and part of another
  auto withDataSize = [&](int64_t declared) {
    return WaveImage().Fmt().Chunk("data", {}, declared).Raw(data).Build();
  };
  Bytes sox = withDataSize(0x7FFFF000);
  StoreLE32(sox.data() + 4, 0x7FFFF024);
  const std::vector<std::pair<Bytes, uint32_t>> cases = {
      {withDataSize(0xFFFFFFFF), kWaveDataSizeUnknown},
      {withDataSize(0), kWaveDataSizeUnknown},
      {withDataSize(44), kWaveDataSizePastEnd},
      {sox, kWaveDataSizePastEnd | kWaveRiffSizeIgnored},
  };
  for (const auto& [file, acceptances] : cases) {
    const TReadBack r = ReadBack(file);
    ASSERT_EQ(r.state, kReaderOpen) << LoadLE32(file.data() + 40);
    EXPECT_EQ(r.acceptances, acceptances) << LoadLE32(file.data() + 40);
    EXPECT_EQ(r.declaredDataSize, LoadLE32(file.data() + 40));
    EXPECT_EQ(r.header.size(), 44u);
    EXPECT_EQ(r.samples, Bytes(data.begin(), data.begin() + 40));
    EXPECT_EQ(r.trailer, Bytes(data.begin() + 40, data.end()));  // the incomplete frame
    EXPECT_EQ(r.rebuilt, file);
  }

  // A size that fits the file is taken as it is, and so is an empty data chunk at the end.
  const TReadBack exact = ReadBack(withDataSize(43));
  EXPECT_EQ(exact.acceptances, 0u);
  EXPECT_EQ(exact.frames, 10);
  const TReadBack empty = ReadBack(WaveImage().Fmt().Chunk("data", {}).Build());
  ASSERT_EQ(empty.state, kReaderOpen);
  EXPECT_EQ(empty.acceptances, 0u);
  EXPECT_EQ(empty.frames, 0);
}

// From a pipe, sizes that the writer could not fill in are no news; a stated size that the stream
// does not reach tells of a writer cut off.
TEST(WaveReader, FromAPipeOnlyAStreamCutShortIsNews) {
  constexpr uint32_t kUnknown = kWaveDataSizeUnknown | kWaveRiffSizeIgnored;
  constexpr uint32_t kPastEnd = kWaveDataSizePastEnd | kWaveRiffSizeIgnored;
  EXPECT_EQ(AcceptancesBeyondPipeWriter(kUnknown, 0), 0u);
  EXPECT_EQ(AcceptancesBeyondPipeWriter(kUnknown, 0xFFFFFFFF), 0u);
  EXPECT_EQ(AcceptancesBeyondPipeWriter(kPastEnd, 0x7FFFF000), 0u);  // sox, 16 bits
  EXPECT_EQ(AcceptancesBeyondPipeWriter(kPastEnd, 0x7FFFEFFC), 0u);  // sox, 24-bit stereo
  EXPECT_EQ(AcceptancesBeyondPipeWriter(kPastEnd, 1000000), kWaveDataSizePastEnd);
  EXPECT_EQ(AcceptancesBeyondPipeWriter(kWaveValidBitsBelowContainer | kUnknown, 0),
            kWaveValidBitsBelowContainer);
}

TEST(WaveReader, RiffSizeThatDisagreesWithTheFileIsIgnoredWithAWarning) {
  const WaveImage image = WaveImage().Fmt().Chunk("data", Counting(8)).Chunk("id3 ", Counting(5));
  EXPECT_EQ(ReadBack(image.Build()).acceptances, 0u);
  for (int64_t error : {-1, +1, -20, 0x7FFFFFFF}) {
    const Bytes file = image.Build(error);
    const TReadBack r = ReadBack(file);
    ASSERT_EQ(r.state, kReaderOpen) << error;
    EXPECT_EQ(r.acceptances, kWaveRiffSizeIgnored);
    EXPECT_EQ(r.trailer.size(), 8u + 6u);
    EXPECT_EQ(r.rebuilt, file);
  }
}

TEST(WaveReader, EachAcceptanceHasItsWarning) {
  EXPECT_EQ(WaveAcceptanceText(0), "");
  EXPECT_EQ(WaveAcceptanceText(kWaveRiffSizeIgnored), "RIFF size ignored");
  EXPECT_EQ(WaveAcceptanceText(kWaveDataSizeUnknown), "Data size unknown");
  EXPECT_EQ(WaveAcceptanceText(kWaveDataSizePastEnd), "Data size past end");
  EXPECT_EQ(WaveAcceptanceText(kWaveValidBitsBelowContainer), "Valid bits below sample size");
  EXPECT_EQ(WaveAcceptanceText(kWaveMonoMaskOffCentre), "Mono channel mask ignored");
  EXPECT_EQ(WaveAcceptanceText(kWaveMonoMaskOffCentre | kWaveRiffSizeIgnored | 0x80000000u),
            "RIFF size ignored; Mono channel mask ignored");
}

TEST(WaveReader, RefusesUnsupportedSampleFormats) {
  for (const TFormat& f : {TFormat{.tag = 3}, TFormat{.channels = 3}, TFormat{.rate = 2000},
                           TFormat{.bits = 32}, TFormat{.channels = 1, .bits = 12, .blockAlign = 2},
                           TFormat{.blockAlign = 2}}) {
    EXPECT_EQ(OpenState(WaveImage().Fmt(f).Chunk("data", Counting(8)).Build()),
              kReaderUnsupportedFormat)
        << f.tag << " " << f.channels << " " << f.rate << " " << f.bits;
  }
  // Only the first format chunk counts; a later one is skipped unread.
  EXPECT_EQ(OpenState(WaveImage().Fmt().Fmt({.bits = 32}).Chunk("data", Counting(8)).Build()),
            kReaderOpen);
}

TEST(WaveReader, ReportsEachKindOfBrokenFile) {
  const WaveImage valid = WaveImage().Fmt().Chunk("data", Counting(8));
  EXPECT_EQ(OpenState(valid.Build()), kReaderOpen);

  Bytes notRiff = valid.Build();
  notRiff[3] = 'X';
  EXPECT_EQ(OpenState(notRiff), kReaderNotWave);
  Bytes notWave = valid.Build();
  notWave[8] = 'A';
  EXPECT_EQ(OpenState(notWave), kReaderNotWave);
  EXPECT_EQ(OpenState(Bytes{'R', 'I', 'F', 'F', 0}), kReaderNotWave);
  EXPECT_EQ(OpenState(Bytes{'R', 'I', 'F', 'F', 2, 0, 0, 0, 'W', 'A'}), kReaderNotWave);

  EXPECT_EQ(OpenState(WaveImage().Chunk("data", Counting(8)).Fmt().Build()),
            kReaderTooLargeOrIncomplete);
  // The sample data must begin within the first MiB.
  EXPECT_EQ(OpenState(WaveImage().Fmt().Chunk("LIST", Bytes(0x100000)).Chunk("data", {}).Build()),
            kReaderTooLargeOrIncomplete);

  EXPECT_EQ(OpenState(WaveImage().Fmt().Raw({'d', 'a', 't'}).Build()), kReaderDamaged);
  EXPECT_EQ(OpenState(WaveImage().Fmt().Chunk("LIST", Counting(4), 0xFFFFFFFF).Build()),
            kReaderDamaged);
}

TEST(WaveReader, RefusesUnusableStreams) {
  TWaveReader reader;
  EXPECT_EQ(reader.Open(nullptr), kReaderIoError);
  TadcInterfaceStream neverOpened;
  EXPECT_EQ(reader.Open(&neverOpened), kReaderIoError);

  TMemoryMedium medium{WaveImage().Fmt().Chunk("data", Counting(8)).Build()};
  TadcInterfaceStream failed;
  EXPECT_EQ(OpenMemoryStream(failed, medium), 0);
  failed.SetError(kIoReadError);
  EXPECT_EQ(reader.Open(&failed), kReaderIoError);

  // A medium as long as 32-bit RIFF sizes can no longer describe.
  TadcStreamCallbacks huge = MemoryMediumCallbacks();
  huge.GetLength = [](void*, int64_t* length) -> int32_t {
    *length = kMaxForeignFileBytes;
    return 1;
  };
  TadcInterfaceStream hugeStream;
  ASSERT_EQ(hugeStream.OpenInterface(huge, &medium, 0), 0);
  EXPECT_EQ(reader.Open(&hugeStream), kReaderTooLargeOrIncomplete);
}

TEST(WaveReader, SeeksAndReadsWithinTheSampleData) {
  const Bytes samples = Counting(6 * 2);
  TMemoryMedium medium{WaveImage().Fmt({.channels = 1}).Chunk("data", samples).Build()};
  TadcInterfaceStream stream;
  EXPECT_EQ(OpenMemoryStream(stream, medium), 0);
  TWaveReader reader;
  ASSERT_EQ(reader.Open(&stream), kReaderOpen);

  EXPECT_FALSE(reader.SeekSample(7));
  EXPECT_FALSE(reader.SeekSample(-1));
  ASSERT_TRUE(reader.SeekSample(4));
  EXPECT_EQ(reader.GetSamplesRead(), 4);
  uint8_t got[4] = {};
  int32_t frames = 9;
  ASSERT_TRUE(reader.ReadSamples(got, frames));
  EXPECT_EQ(frames, 2);
  EXPECT_EQ(Bytes(got, got + 4), Bytes(samples.begin() + 8, samples.end()));
  frames = -3;
  EXPECT_TRUE(reader.ReadSamples(got, frames));
  EXPECT_EQ(frames, 0);
  EXPECT_EQ(reader.State(), kReaderOpen);

  reader.Close();
  frames = 1;
  EXPECT_FALSE(reader.ReadSamples(got, frames));
  EXPECT_EQ(reader.GetRemainingSamples(), 0);
}

// Every prefix of a valid file, with a RIFF size that matches it so that parsing goes deep: the
// reader either refuses cleanly or hands out a file that rebuilds byte for byte.
TEST(WaveReader, EveryTruncationIsRefusedOrRebuiltExactly) {
  const Bytes file = WaveImage()
                         .Fmt({.channels = 1})
                         .Chunk("LIST", Counting(3))
                         .Chunk("data", Counting(9))
                         .Chunk("id3 ", Counting(4))
                         .Build();
  for (size_t length = 0; length <= file.size(); ++length) {
    Bytes cut(file.begin(), file.begin() + length);
    if (length >= 8) StoreLE32(cut.data() + 4, uint32_t(length - 8));
    const TReadBack r = ReadBack(cut);
    if (r.state == kReaderOpen) {
      EXPECT_EQ(r.rebuilt, cut) << length;
    } else {
      EXPECT_TRUE(r.state >= kReaderNotWave && r.state <= kReaderDamaged) << length;
    }
  }
}

bool HeaderFits(const TReadBack& r, int64_t frames, size_t trailerBytes) {
  return StoredWaveHeaderFits(r.header.data(), int32_t(r.header.size()), int64_t(trailerBytes),
                              r.format, frames);
}

// Whatever the reader took from a file, its header must fit on the way back, or the bytes the
// whole point of storing it was to restore would be lost.
TEST(StoredWaveHeader, FitsWhatTheReaderTookFromTheFile) {
  const Bytes data = Counting(10 * 4 + 3);
  Bytes sox = WaveImage().Fmt().Chunk("data", {}, 0x7FFFF000).Raw(data).Build();
  StoreLE32(sox.data() + 4, 0x7FFFF024);
  const std::vector<Bytes> exactSizes = {
      WaveImage()
          .Chunk("JUNK", Counting(3))
          .Fmt()
          .Chunk("data", data)
          .Chunk("id3 ", Counting(9))
          .Build(),
      WaveImage()
          .Chunk("fmt ",
                 ExtensiblePayload({.channels = 1, .bits = 24}, {.validBits = 20, .mask = 0x2}))
          .Chunk("data", Counting(30))
          .Build(-7),
  };
  const std::vector<Bytes> unknownSizes = {
      WaveImage().Fmt().Chunk("data", {}, 0xFFFFFFFF).Raw(data).Build(),
      WaveImage().Fmt().Chunk("data", {}, 0).Raw(data).Build(),
      sox,
  };
  for (const Bytes& file : exactSizes) {
    const TReadBack r = ReadBack(file);
    ASSERT_EQ(r.state, kReaderOpen);
    EXPECT_TRUE(HeaderFits(r, r.frames, r.trailer.size()));
    // The size in the header tells the sample count...
    EXPECT_FALSE(HeaderFits(r, r.frames + 1, r.trailer.size()));
    EXPECT_FALSE(HeaderFits(r, r.frames - 1, r.trailer.size() + size_t(r.format.BlockSize) + 1));
    // ...unless the file ends before it: then it is a file cut short, which the reader takes too.
    EXPECT_TRUE(HeaderFits(r, r.frames - 1, 0));
  }
  for (const Bytes& file : unknownSizes) {
    const TReadBack r = ReadBack(file);
    ASSERT_EQ(r.state, kReaderOpen);
    EXPECT_TRUE(HeaderFits(r, r.frames, r.trailer.size()));
    // Samples run to the end of such a file, so any count fits; a trailer holding a whole frame
    // does not, since the reader would take that frame for a sample.
    EXPECT_TRUE(HeaderFits(r, r.frames + 1000, r.trailer.size()));
    EXPECT_TRUE(HeaderFits(r, 1, 0));
    EXPECT_FALSE(HeaderFits(r, r.frames, size_t(r.format.BlockSize)));
  }
}

TEST(StoredWaveHeader, HeadersOfAnotherStreamOrNoWaveHeaderDoNotFit) {
  const Bytes file =
      WaveImage().Fmt().Chunk("LIST", Counting(6)).Chunk("data", Counting(40)).Build();
  const TReadBack r = ReadBack(file);
  ASSERT_EQ(r.state, kReaderOpen);
  ASSERT_TRUE(HeaderFits(r, 10, 0));
  const Bytes& h = r.header;
  auto fits = [](const Bytes& header, const TadcAudioFormat& format, int64_t frames = 10,
                 int64_t trailer = 0) {
    return StoredWaveHeaderFits(header.data(), int32_t(header.size()), trailer, format, frames);
  };

  const TadcAudioFormat stereo16{0, 44100, 16, 2, 4};
  EXPECT_FALSE(fits(h, {0, 48000, 16, 2, 4}));
  EXPECT_FALSE(fits(h, {0, 44100, 16, 1, 2}, 20));  // the same data size in mono
  EXPECT_FALSE(fits(h, {0, 44100, 8, 2, 2}, 20));
  EXPECT_FALSE(fits(h, {0, 44100, 16, 2, 2}, 20));  // a block size the header does not say

  EXPECT_FALSE(fits(Bytes(h.begin(), h.end() - 1), stereo16));  // the data chunk cut off
  Bytes longer = h;
  longer.push_back(0);  // a header must end where the samples begin
  EXPECT_FALSE(fits(longer, stereo16));
  Bytes rifx = h;
  rifx[3] = 'X';
  EXPECT_FALSE(fits(rifx, stereo16));
  Bytes floats = h;
  floats[20] = 3;
  EXPECT_FALSE(fits(floats, stereo16));
  Bytes noFormat = h;
  noFormat[12] = 'F';
  EXPECT_FALSE(fits(noFormat, stereo16));
  Bytes listPastHeader = h;  // the data chunk would lie in what was stored as samples
  StoreLE32(listPastHeader.data() + 40, 60);
  EXPECT_FALSE(fits(listPastHeader, stereo16, 10, 100));
  EXPECT_FALSE(fits({}, stereo16));
  EXPECT_FALSE(StoredWaveHeaderFits(nullptr, 44, 0, stereo16, 10));

  // Counts and sizes no WAVE file can have are refused before any length is computed from them.
  for (int64_t frames : {int64_t(-1), kMaxForeignFileBytes / 4, INT64_MAX}) {
    EXPECT_FALSE(fits(h, stereo16, frames)) << frames;
  }
  for (int64_t trailer : {int64_t(-1), kMaxForeignFileBytes, INT64_MAX}) {
    EXPECT_FALSE(fits(h, stereo16, 10, trailer)) << trailer;
  }
  EXPECT_FALSE(fits(h, {0, 44100, 16, 2, 0}));
  EXPECT_FALSE(fits(h, {0, 44100, 16, 2, INT32_MIN}));
}

TEST(WaveWriter, GeneratesTheCanonicalHeader) {
  const TadcAudioFormat mono16{0, 44100, 16, 1, 2};
  const Bytes samples = Counting(2000);
  TMemoryMedium medium;
  TadcInterfaceStream stream;
  EXPECT_EQ(OpenMemoryStream(stream, medium), 0);
  TWaveWriter writer;
  ASSERT_TRUE(writer.Open(mono16, &stream, 0, nullptr));
  EXPECT_EQ(writer.HeaderMode(), kHeaderGenerated);
  ASSERT_TRUE(writer.WriteSamples(samples.data(), 600));
  ASSERT_TRUE(writer.WriteSamples(samples.data() + 1200, 400));
  ASSERT_TRUE(writer.Close(true, nullptr, 0));
  EXPECT_EQ(writer.State(), kWriterClosed);
  EXPECT_EQ(stream.GetPosition(), 44 + 2000);
  ASSERT_EQ(stream.Close(true), 0);

  Bytes expected = WaveImage().Fmt({.channels = 1}).Chunk("data", samples).Build();
  ASSERT_EQ(medium.bytes, expected);
  const uint8_t* h = medium.bytes.data();
  EXPECT_EQ(LoadLE32(h + 4), 2036u);
  EXPECT_EQ(LoadLE32(h + 28), 88200u);
  EXPECT_EQ(LoadLE(h + 32, 2), 2u);
  EXPECT_EQ(LoadLE32(h + 40), 2000u);
}

TEST(WaveWriter, RefusesSizesBeyondThe32BitFields) {
  const TadcAudioFormat stereo16{0, 44100, 16, 2, 4};
  uint8_t header[kWaveHeaderBytes];
  EXPECT_TRUE(BuildWaveHeader(stereo16, 0xFFFFFFFF - 36, header));
  EXPECT_EQ(LoadLE32(header + 4), 0xFFFFFFFFu);
  EXPECT_FALSE(BuildWaveHeader(stereo16, 0xFFFFFFFF - 35, header));
  EXPECT_FALSE(BuildWaveHeader({0, 0x7FFFFFFF, 16, 2, 4}, 0, header));

  TMemoryMedium medium;
  TadcInterfaceStream stream;
  EXPECT_EQ(OpenMemoryStream(stream, medium), 0);
  TWaveWriter writer;
  EXPECT_FALSE(writer.Open({0, 0x7FFFFFFF, 16, 2, 4}, &stream, 0, nullptr));
  EXPECT_EQ(writer.State(), kWriterFailed);
  EXPECT_TRUE(medium.bytes.empty());
}

TEST(WaveWriter, ReportsStreamFailures) {
  const TadcAudioFormat stereo16{0, 44100, 16, 2, 4};
  const Bytes samples = Counting(16);
  TWaveWriter writer;
  EXPECT_FALSE(writer.Close(true, nullptr, 0));
  EXPECT_FALSE(writer.Open(stereo16, nullptr, 0, nullptr));
  EXPECT_EQ(writer.State(), kWriterFailed);

  TMemoryMedium medium;
  TadcInterfaceStream stream;
  EXPECT_EQ(OpenMemoryStream(stream, medium, 0), 0);
  ASSERT_TRUE(writer.Open(stereo16, &stream, 4, samples.data()));
  EXPECT_EQ(writer.HeaderMode(), kHeaderStored);
  stream.SetError(kIoWriteError);
  EXPECT_FALSE(writer.WriteSamples(samples.data(), 4));
  EXPECT_EQ(writer.State(), kWriterFailed);
  EXPECT_FALSE(writer.WriteSamples(samples.data(), 1));
  EXPECT_FALSE(writer.Close(true, nullptr, 0));
  EXPECT_EQ(writer.State(), kWriterClosed);
  EXPECT_FALSE(writer.Open(stereo16, &stream, 0, nullptr));
  EXPECT_EQ(writer.State(), kWriterFailed);
}

}  // namespace
}  // namespace lym

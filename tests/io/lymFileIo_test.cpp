#include "io/lymFileIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "foundation/zqExceptions.h"

namespace lym {
namespace {

// One call that reached the medium: 'r'ead, 'w'rite or 's'eek.
struct TTransfer {
  char kind;
  int64_t offset;
  int64_t size;
  bool operator==(const TTransfer&) const = default;
};

void PrintTo(const TTransfer& t, std::ostream* os) {
  *os << t.kind << '(' << t.offset << ',' << t.size << ')';
}

// An in-memory medium behind the callbacks that logs every transfer, so that tests can check
// exactly what the buffer logic asks of the medium.
struct TMedium {
  TMedium() = default;
  explicit TMedium(std::vector<uint8_t> initial) : bytes(std::move(initial)) {}

  std::vector<uint8_t> bytes;
  int64_t pointer = 0;
  std::vector<TTransfer> log;
  bool failWrites = false;
  bool failFlush = false;
  int32_t overReport = 0;  // added to the byte count that reads report

  static TMedium& Of(void* userData) { return *static_cast<TMedium*>(userData); }

  static TadcStreamCallbacks Callbacks() {
    TadcStreamCallbacks callbacks{};
    callbacks.CanRead = [](void*) { return int32_t{1}; };
    callbacks.CanWrite = [](void*) { return int32_t{1}; };
    callbacks.CanSeek = [](void*) { return int32_t{1}; };
    callbacks.Read = [](void* userData, void* buffer, int32_t count, int32_t* bytesRead) {
      TMedium& m = Of(userData);
      const auto size = static_cast<int64_t>(m.bytes.size());
      const auto got = static_cast<int32_t>(std::clamp<int64_t>(size - m.pointer, 0, count));
      std::copy_n(m.bytes.begin() + m.pointer, got, static_cast<uint8_t*>(buffer));
      m.log.push_back({'r', m.pointer, got});
      m.pointer += got;
      *bytesRead = got + m.overReport;
      return int32_t{1};
    };
    callbacks.Write = [](void* userData, const void* buffer, int32_t count) {
      TMedium& m = Of(userData);
      if (m.failWrites) return int32_t{0};
      m.bytes.resize(std::max<size_t>(m.bytes.size(), static_cast<size_t>(m.pointer + count)));
      std::copy_n(static_cast<const uint8_t*>(buffer), count, m.bytes.begin() + m.pointer);
      m.log.push_back({'w', m.pointer, count});
      m.pointer += count;
      return int32_t{1};
    };
    callbacks.Flush = [](void* userData) { return int32_t{Of(userData).failFlush ? 0 : 1}; };
    callbacks.Seek = [](void* userData, int64_t position) {
      TMedium& m = Of(userData);
      m.log.push_back({'s', position, 0});
      m.pointer = position;
      return int32_t{1};
    };
    callbacks.GetLength = [](void* userData, int64_t* length) {
      *length = static_cast<int64_t>(Of(userData).bytes.size());
      return int32_t{1};
    };
    return callbacks;
  }
};

std::vector<uint8_t> Pattern(size_t size, uint32_t seed = 1) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 random(seed);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

void ExpectBytesAt(const std::vector<uint8_t>& got, const std::vector<uint8_t>& source,
                   int64_t offset) {
  ASSERT_LE(offset + static_cast<int64_t>(got.size()), static_cast<int64_t>(source.size()));
  EXPECT_TRUE(std::equal(got.begin(), got.end(), source.begin() + offset)) << "at " << offset;
}

std::vector<uint8_t> ReadExactly(TadcIoStream& stream, int32_t count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  EXPECT_TRUE(stream.ReadExact(bytes.data(), count));
  return bytes;
}

TEST(IoBufferedReadTest, AlignsPhysicalReadsToBlocksAndServesSeeksFromTheBuffer) {
  TMedium medium{Pattern(10000)};
  TadcInterfaceStream stream;
  ASSERT_EQ(stream.OpenInterface(TMedium::Callbacks(), &medium, 4096), kIoNoError);
  EXPECT_EQ(stream.Name(), "TadcInterfaceStream");

  ExpectBytesAt(ReadExactly(stream, 700), medium.bytes, 0);
  EXPECT_EQ(medium.log, (std::vector<TTransfer>{{'r', 0, 512}, {'r', 512, 4096}}));
  EXPECT_EQ(stream.BufferMode(), kBufferReading);

  ASSERT_TRUE(stream.Seek(kSeekFromStart, 1000));
  EXPECT_EQ(medium.log.size(), 2u);
  EXPECT_EQ(stream.GetPosition(), 1000);

  // The rest of the buffer, then a refill that ends on a block boundary.
  medium.log.clear();
  ExpectBytesAt(ReadExactly(stream, 4000), medium.bytes, 1000);
  EXPECT_EQ(medium.log, (std::vector<TTransfer>{{'r', 4608, 4096}}));

  // Up to the end the medium is read directly: its last transfer need not be aligned.
  medium.log.clear();
  std::vector<uint8_t> rest(6000);
  int32_t actual = 0;
  ASSERT_TRUE(stream.ReadSome(rest.data(), 6000, actual));
  ASSERT_EQ(actual, 5000);
  rest.resize(5000);
  ExpectBytesAt(rest, medium.bytes, 5000);
  EXPECT_EQ(medium.log, (std::vector<TTransfer>{{'r', 8704, 1296}}));

  EXPECT_TRUE(stream.ReadSome(rest.data(), 10, actual));
  EXPECT_EQ(actual, 0);
  ASSERT_TRUE(stream.Seek(kSeekFromEnd, -3));
  EXPECT_FALSE(stream.ReadExact(rest.data(), 4));
  EXPECT_EQ(stream.ErrorCode(), kIoReadError);
}

TEST(IoBufferedWriteTest, WritesWholeBlocksAndKeepsTheTailUntilFlushed) {
  TMedium medium;
  TadcInterfaceStream stream;
  ASSERT_EQ(stream.OpenInterface(TMedium::Callbacks(), &medium, 1024), kIoNoError);
  const std::vector<uint8_t> data = Pattern(1710);

  ASSERT_TRUE(stream.WriteExact(data.data(), 700));
  EXPECT_EQ(medium.log, (std::vector<TTransfer>{{'w', 0, 512}}));
  ASSERT_TRUE(stream.WriteExact(data.data() + 700, 1000));
  EXPECT_EQ(medium.log, (std::vector<TTransfer>{{'w', 0, 512}, {'w', 512, 1024}}));
  ASSERT_TRUE(stream.WriteExact(data.data() + 1700, 10));

  // The length and the end include what still waits in the buffer.
  EXPECT_EQ(stream.GetLength(), 1710);
  EXPECT_EQ(medium.bytes.size(), 1536u);
  ASSERT_TRUE(stream.Seek(kSeekFromEnd, -10));
  EXPECT_EQ(stream.GetPosition(), 1700);
  EXPECT_EQ(medium.log.back(), (TTransfer{'s', 1700, 0}));
  EXPECT_EQ(medium.bytes, std::vector<uint8_t>(data.begin(), data.begin() + 1710));
}

TEST(IoBufferedStreamTest, RequestsInsideOneBlockTouchOnlyTheCallersBytes) {
  TMedium medium{Pattern(3000)};
  TadcInterfaceStream stream;
  ASSERT_EQ(stream.OpenInterface(TMedium::Callbacks(), &medium, 512), kIoNoError);
  ASSERT_TRUE(stream.Seek(kSeekFromStart, 100));

  std::vector<uint8_t> got(60, 0xEE);
  ASSERT_TRUE(stream.ReadExact(got.data(), 50));
  EXPECT_EQ(std::count(got.begin() + 50, got.end(), 0xEE), 10);
  got.resize(50);
  ExpectBytesAt(got, medium.bytes, 100);

  // A source of exactly 50 bytes on the heap: the sanitizers catch any read beyond it.
  const std::vector<uint8_t> source(50, 0x5A);
  ASSERT_TRUE(stream.Seek(kSeekFromStart, 700));
  medium.log.clear();
  ASSERT_TRUE(stream.WriteExact(source.data(), 50));
  ASSERT_TRUE(stream.Flush());
  EXPECT_EQ(medium.log, (std::vector<TTransfer>{{'w', 700, 50}}));
  ExpectBytesAt(source, medium.bytes, 700);
}

TEST(IoBufferedStreamTest, BufferRequestsRoundUpToAPowerOfTwoWithinLimits) {
  const std::pair<int32_t, int32_t> cases[] = {{1, 512},     {512, 512}, {600, 1024},
                                               {100000, 32768}, {0, 0},   {-5, 0}};
  for (const auto& [requested, expected] : cases) {
    TMedium medium;
    TadcInterfaceStream stream;
    ASSERT_EQ(stream.OpenInterface(TMedium::Callbacks(), &medium, requested), kIoNoError);
    EXPECT_EQ(stream.BufferSize(), expected) << requested;
    EXPECT_EQ(stream.BufferMode(), expected == 0 ? kBufferOff : kBufferIdle) << requested;
  }
}

TEST(IoStreamErrorTest, AnErrorBlocksEveryTransferUntilCleared) {
  TMedium medium{Pattern(2048)};
  TadcInterfaceStream stream;
  ASSERT_EQ(stream.OpenInterface(TMedium::Callbacks(), &medium, 512), kIoNoError);
  medium.failWrites = true;
  const std::vector<uint8_t> data(512, 1);
  EXPECT_FALSE(stream.WriteExact(data.data(), 512));
  EXPECT_EQ(stream.ErrorCode(), kIoWriteError);

  medium.log.clear();
  std::vector<uint8_t> got(16);
  int32_t actual = -1;
  EXPECT_FALSE(stream.Seek(kSeekFromStart, 0));
  EXPECT_FALSE(stream.ReadSome(got.data(), 16, actual));
  EXPECT_FALSE(stream.Write(data.data(), 16, actual));
  EXPECT_EQ(actual, 0);
  EXPECT_TRUE(medium.log.empty());

  // The lowest code wins.
  stream.SetError(kIoSeekError);
  EXPECT_EQ(stream.ErrorCode(), kIoWriteError);
  stream.SetError(kIoReadError);
  EXPECT_EQ(stream.ErrorCode(), kIoReadError);

  medium.failWrites = false;
  ASSERT_TRUE(stream.ClearError());
  EXPECT_TRUE(stream.Seek(kSeekFromStart, 0));
  EXPECT_TRUE(stream.WriteExact(data.data(), 512));

  medium.failFlush = true;
  EXPECT_EQ(stream.Close(true), kIoWriteError);
  EXPECT_TRUE(stream.IsClosed());
  EXPECT_FALSE(stream.ClearError());
  EXPECT_EQ(stream.Close(true), kIoNoError);
}

TEST(IoStreamErrorTest, UntrustworthyOrMissingCallbacksFail) {
  TMedium medium{Pattern(100)};
  TadcInterfaceStream stream;
  medium.overReport = 1;
  ASSERT_EQ(stream.OpenInterface(TMedium::Callbacks(), &medium, 0), kIoNoError);
  std::vector<uint8_t> got(100);
  int32_t actual = -1;
  EXPECT_FALSE(stream.ReadSome(got.data(), 10, actual));
  EXPECT_EQ(actual, 0);
  EXPECT_EQ(stream.ErrorCode(), kIoReadError);

  TadcStreamCallbacks noLength = TMedium::Callbacks();
  noLength.GetLength = nullptr;
  EXPECT_EQ(stream.OpenInterface(noLength, &medium, 512), kIoClosed);
  EXPECT_TRUE(stream.IsClosed());
}

template <class Call>
void ExpectAssertion(Call call, const std::string& text) {
  try {
    call();
    ADD_FAILURE() << "no assertion failure for " << text;
  } catch (const EzqAssertionFailure& e) {
    EXPECT_NE(std::string(e.what()).find("Assertion failure: " + text + " ("), std::string::npos)
        << e.what();
  }
}

TEST(IoStreamErrorTest, AbstractCallsAndSeeksOutOfRangeAreAssertionFailures) {
  TadcIoStream base;
  int32_t actual = 0;
  ExpectAssertion([&] { base.GetPosition(); }, "Abstract call TadcIoStream.GetPosition");
  ExpectAssertion([&] { base.SetLength(1); }, "Abstract call TadcIoStream.SetLength");
  ExpectAssertion([&] { base.GetLength(); }, "Abstract call TadcIoStream.GetLength");
  ExpectAssertion([&] { base.Seek(0, 0); }, "Abstract call TadcIoStream.Seek");
  ExpectAssertion([&] { base.ReadSome(nullptr, 1, actual); }, "Abstract call TadcIoStream.ReadSome");
  ExpectAssertion([&] { base.Write(nullptr, 1, actual); }, "Abstract call TadcIoStream.Write");

  TMedium medium{Pattern(100)};
  TadcInterfaceStream stream;
  ASSERT_EQ(stream.OpenInterface(TMedium::Callbacks(), &medium, 512), kIoNoError);
  ExpectAssertion([&] { stream.Seek(kSeekFromStart, 101); }, "TadcBufferedIoStream.Seek");
  ExpectAssertion([&] { stream.Seek(kSeekFromEnd, -101); }, "TadcBufferedIoStream.Seek");
  ExpectAssertion([&] { stream.Seek(kSeekFromCurrent, INT64_MIN); }, "TadcBufferedIoStream.Seek");
  EXPECT_TRUE(stream.Seek(7, 12345));
  EXPECT_EQ(stream.GetPosition(), 0);
}

// Random seeks, reads, writes, length changes and flushes, checked against a plain byte vector
// after every step: contents, position and length.
void RunAgainstModel(TadcIoStream& stream, const std::function<std::vector<uint8_t>()>& medium,
                     uint32_t seed) {
  std::mt19937 random(seed);
  auto pick = [&](int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(random);
  };
  std::vector<uint8_t> model;
  int64_t position = 0;
  for (int step = 0; step < 1500; ++step) {
    const auto size = static_cast<int64_t>(model.size());
    const auto count = static_cast<int32_t>(pick(0, pick(0, 3) == 0 ? 9000 : 700));
    const int64_t action = pick(0, 9);
    SCOPED_TRACE("step " + std::to_string(step) + " action " + std::to_string(action));
    if (action <= 1) {
      const auto origin = static_cast<uint8_t>(pick(0, 2));
      const int64_t target = pick(0, size);
      const int64_t base = origin == kSeekFromStart ? 0 : origin == kSeekFromEnd ? size : position;
      ASSERT_TRUE(stream.Seek(origin, target - base));
      position = target;
    } else if (action <= 4) {
      std::vector<uint8_t> got(static_cast<size_t>(count));
      int32_t actual = -1;
      ASSERT_TRUE(stream.ReadSome(got.data(), count, actual));
      ASSERT_EQ(actual, std::min<int64_t>(count, size - position));
      ASSERT_TRUE(std::equal(got.begin(), got.begin() + actual, model.begin() + position));
      position += actual;
    } else if (action <= 7) {
      const std::vector<uint8_t> data = Pattern(static_cast<size_t>(count), random());
      ASSERT_TRUE(stream.WriteExact(data.data(), count));
      model.resize(static_cast<size_t>(std::max<int64_t>(size, position + count)));
      std::copy(data.begin(), data.end(), model.begin() + position);
      position += count;
    } else if (action == 8) {
      const int64_t length = pick(0, size + 2000);
      stream.SetLength(length);
      if (length != size) position = length;
      model.resize(static_cast<size_t>(length));
    } else {
      ASSERT_TRUE(stream.Flush());
      ASSERT_EQ(medium(), model);
    }
    ASSERT_EQ(stream.ErrorCode(), kIoNoError);
    ASSERT_EQ(stream.GetPosition(), position);
    ASSERT_EQ(stream.GetLength(), static_cast<int64_t>(model.size()));
  }
  ASSERT_TRUE(stream.Flush());
  ASSERT_EQ(medium(), model);
}

// The callback medium cannot truncate; this one behaves like a file.
class TResizingMemoryStream : public TadcInterfaceStream {
 public:
  explicit TResizingMemoryStream(TMedium& medium) : medium_(medium) {}
  void SetLength(int64_t newLength) override {
    TadcInterfaceStream::SetLength(newLength);
    medium_.bytes.resize(static_cast<size_t>(newLength));
  }

 private:
  TMedium& medium_;
};

TEST(IoRandomTest, BufferedStreamMatchesAByteVectorAtEveryStep) {
  for (const int32_t bufferSize : {0, 512, 1024, 4096, 32768}) {
    for (uint32_t seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE("buffer " + std::to_string(bufferSize) + " seed " + std::to_string(seed));
      TMedium medium;
      TResizingMemoryStream stream(medium);
      ASSERT_EQ(stream.OpenInterface(TMedium::Callbacks(), &medium, bufferSize), kIoNoError);
      RunAgainstModel(stream, [&] { return medium.bytes; }, seed * 7919 + bufferSize);
    }
  }
}

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::filesystem::temp_directory_path() /
              ("lym_FileStreamTest_" + std::string(info->name()) + "_" +
               std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

  static std::vector<uint8_t> Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path folder_;
};

TEST_F(FileStreamTest, WritesReopensReadsBackAndTruncates) {
  const std::string path = PathOf("a.lym");
  const std::vector<uint8_t> data = Pattern(10000);
  TadcFileStream stream;
  ASSERT_EQ(stream.CreateNewFile(path, kAccessWrite, 4096, kShareRead), kIoNoError);
  EXPECT_TRUE(stream.CanWrite());
  EXPECT_FALSE(stream.CanRead());
  ASSERT_TRUE(stream.WriteExact(data.data(), 10000));
  EXPECT_EQ(stream.Close(true), kIoNoError);
  EXPECT_EQ(stream.Close(true), kIoNoError);
  EXPECT_EQ(Contents(path), data);

  ASSERT_EQ(stream.OpenFile(path, kAccessRead, 4096, kShareRead), kIoNoError);
  EXPECT_EQ(stream.GetLength(), 10000);
  EXPECT_EQ(ReadExactly(stream, 10000), data);

  ASSERT_EQ(stream.OpenFile(path, kAccessReadWrite, 1024, kShareNone), kIoNoError);
  ASSERT_TRUE(stream.Seek(kSeekFromStart, 2500));
  ASSERT_TRUE(stream.WriteExact(data.data(), 1000));
  stream.SetLength(3000);
  EXPECT_EQ(stream.GetPosition(), 3000);
  EXPECT_EQ(stream.Close(true), kIoNoError);
  std::vector<uint8_t> expected(data.begin(), data.begin() + 2500);
  expected.insert(expected.end(), data.begin(), data.begin() + 500);
  EXPECT_EQ(Contents(path), expected);

  // Creating again empties the file.
  ASSERT_EQ(stream.CreateNewFile(path, kAccessReadWrite, 0, kShareNone), kIoNoError);
  EXPECT_EQ(stream.GetLength(), 0);
}

TEST_F(FileStreamTest, FailuresToOpenLeaveTheStreamClosed) {
  TadcFileStream stream;
  EXPECT_EQ(stream.OpenFile(PathOf("missing.wav"), kAccessRead, 4096, kShareRead), kIoClosed);
  EXPECT_EQ(stream.OpenFile(folder_.string(), kAccessRead, 4096, kShareRead), kIoClosed);
  EXPECT_EQ(stream.CreateNewFile(PathOf("x"), 3, 4096, kShareRead), kIoClosed);
  EXPECT_EQ(stream.ErrorCode(), kIoClosed);
  uint8_t byte = 0;
  EXPECT_FALSE(stream.ReadExact(&byte, 1));
  EXPECT_FALSE(stream.ClearError());
  EXPECT_EQ(stream.Close(false), kIoNoError);
}

TEST_F(FileStreamTest, TruncationRefusedByTheSystemRaisesWithTheFileName) {
  const std::string path = PathOf("read-only.lym");
  std::ofstream(path) << "0123456789";
  TadcFileStream stream;
  ASSERT_EQ(stream.OpenFile(path, kAccessRead, 512, kShareRead), kIoNoError);
  try {
    stream.SetLength(4);
    ADD_FAILURE() << "no exception";
  } catch (const EzqException& e) {
    EXPECT_EQ(std::string(e.what()).rfind(path + ": ", 0), 0u) << e.what();
    EXPECT_GT(std::string(e.what()).size(), path.size() + 2);
  }
  EXPECT_EQ(stream.ErrorCode(), kIoSeekError);
  EXPECT_EQ(Contents(path).size(), 10u);
}

TEST_F(FileStreamTest, RandomOperationsMatchAByteVector) {
  const std::string path = PathOf("random.bin");
  TadcFileStream stream;
  // Contents() reads the file through a second handle while the stream has it open, which
  // Windows allows only when the stream shares reading.
  ASSERT_EQ(stream.CreateNewFile(path, kAccessReadWrite, 2048, kShareRead), kIoNoError);
  RunAgainstModel(stream, [&] { return Contents(path); }, 20240611);
}

}  // namespace
}  // namespace lym

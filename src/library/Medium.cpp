#include "library/Medium.h"

#include <algorithm>
#include <cstring>

namespace lym::library {
namespace {

constexpr int32_t kReadBufferBytes = 4096;
constexpr size_t kReadChunkBytes = 65536;
// A caller's write gets at most this much at once, so that its size_t never needs to hold more.
constexpr size_t kWriteChunkBytes = 1 << 20;

// --- The stream's callbacks over a TCallerMedium, which is their user data ---

TCallerMedium& MediumOf(void* userData) { return *static_cast<TCallerMedium*>(userData); }
const lym_io& IoOf(void* userData) { return MediumOf(userData).Io(); }
void* UserOf(void* userData) { return MediumOf(userData).UserData(); }

int32_t CallerCanRead(void* userData) { return IoOf(userData).read != nullptr; }
int32_t CallerCanWrite(void* userData) { return IoOf(userData).write != nullptr; }
int32_t CallerCanSeek(void* userData) { return IoOf(userData).seek != nullptr; }
int32_t CallerFlush(void*) { return 1; }

// A medium may deliver less than asked before its end (a socket, say); only 0 means the end.
int32_t CallerRead(void* userData, void* buffer, int32_t count, int32_t* bytesRead) {
  const lym_io& io = IoOf(userData);
  auto* bytes = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    const int64_t n = io.read(UserOf(userData), bytes + done, size_t(count - done));
    if (n < 0 || n > count - done) return 0;
    if (n == 0) break;
    done += int32_t(n);
  }
  *bytesRead = done;
  return 1;
}

int32_t CallerWrite(void* userData, const void* buffer, int32_t count) {
  return IoOf(userData).write(UserOf(userData), buffer, size_t(count)) == 0;
}

int32_t CallerSeek(void* userData, int64_t position) {
  return IoOf(userData).seek(UserOf(userData), position) == 0;
}

// A medium written from its start has nothing in it yet; one that is read must tell its length.
int32_t CallerLength(void* userData, int64_t* length) {
  *length = MediumOf(userData).Reading() ? IoOf(userData).size(UserOf(userData)) : 0;
  return *length >= 0;
}

constexpr TadcStreamCallbacks kCallerCallbacks = {
    CallerCanRead, CallerCanWrite, CallerCanSeek, CallerRead, CallerWrite,
    CallerFlush,   nullptr,        CallerSeek,    CallerLength};

// --- Bytes in memory ---

TMemoryCursor& CursorOf(void* userData) { return *static_cast<TMemoryCursor*>(userData); }

int64_t MemoryRead(void* userData, void* buffer, size_t bytes) {
  TMemoryCursor& cursor = CursorOf(userData);
  const auto n = size_t(std::clamp<int64_t>(cursor.size - cursor.position, 0,
                                            int64_t(std::min<size_t>(bytes, INT32_MAX))));
  if (n > 0) std::memcpy(buffer, cursor.data + cursor.position, n);
  cursor.position += int64_t(n);
  return int64_t(n);
}

int MemorySeek(void* userData, int64_t position) {
  TMemoryCursor& cursor = CursorOf(userData);
  if (position < 0 || position > cursor.size) return -1;
  cursor.position = position;
  return 0;
}

int64_t MemoryTell(void* userData) { return CursorOf(userData).position; }
int64_t MemorySize(void* userData) { return CursorOf(userData).size; }

constexpr lym_io kMemoryIo = {MemoryRead, nullptr, MemorySeek, MemoryTell, MemorySize};

}  // namespace

const lym_io& MemoryIo() { return kMemoryIo; }

bool CanReadInPlace(const lym_io& io, void* userData) {
  return io.read != nullptr && io.seek != nullptr && io.size != nullptr && io.size(userData) >= 0;
}

bool CanWriteInPlace(const lym_io& io) { return io.write != nullptr && io.seek != nullptr; }

void TCallerMedium::Bind(const lym_io& io, void* userData) {
  io_ = io;
  userData_ = userData;
}

bool TCallerMedium::OpenForReading(const lym_io& io, void* userData) {
  Bind(io, userData);
  reading_ = true;
  const int64_t start = io.tell != nullptr ? io.tell(userData) : 0;
  return start >= 0 && start <= io.size(userData) &&
         stream_.OpenInterface(kCallerCallbacks, this, kReadBufferBytes) == kIoNoError &&
         stream_.Seek(kSeekFromStart, start);
}

bool TCallerMedium::OpenForWriting(const lym_io& io, void* userData) {
  Bind(io, userData);
  return io.seek(userData, 0) == 0;
}

const TadcStreamCallbacks& TCallerMedium::Callbacks() { return kCallerCallbacks; }

bool ReadToEnd(const lym_io& io, void* userData, std::vector<uint8_t>& bytes) {
  bytes.clear();
  std::vector<uint8_t> chunk(kReadChunkBytes);
  for (;;) {
    const int64_t n = io.read(userData, chunk.data(), chunk.size());
    if (n < 0 || n > int64_t(chunk.size())) return false;
    if (n == 0) return true;
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + n);
  }
}

bool WriteAll(const lym_io& io, void* userData, const uint8_t* bytes, size_t count) {
  for (size_t done = 0; done < count;) {
    const size_t n = std::min(count - done, kWriteChunkBytes);
    if (io.write(userData, bytes + done, n) != 0) return false;
    done += n;
  }
  return true;
}

}  // namespace lym::library

// The caller's media behind the stream family: a lym_io, bytes in memory, and a medium that cannot
// seek, read to its end into memory first (the stream reader needs the length and seeks back to
// the metadata).
#pragma once

#include <cstdint>
#include <vector>

#include "io/lymFileIo.h"
#include "lym/lym.h"

namespace lym::library {

// Bytes of the caller's, read through MemoryIo().
struct TMemoryCursor {
  const uint8_t* data = nullptr;
  int64_t size = 0;
  int64_t position = 0;
};
const lym_io& MemoryIo();

// Whether a medium can be read where it stands (read, seek and a known size) or written there
// (write and seek); otherwise it goes through memory.
bool CanReadInPlace(const lym_io& io, void* userData);
bool CanWriteInPlace(const lym_io& io);

// A lym_io as a buffered stream. The medium object must not move while the stream is open.
class TCallerMedium {
 public:
  TCallerMedium() = default;
  TCallerMedium(const TCallerMedium&) = delete;
  TCallerMedium& operator=(const TCallerMedium&) = delete;

  // The medium behind Callbacks(), whose user data is this object.
  void Bind(const lym_io& io, void* userData);
  // Binds the medium and opens Stream() on it at the medium's current position (tell).
  bool OpenForReading(const lym_io& io, void* userData);
  // Binds the medium and puts it at position 0, where an encoder's stream starts.
  bool OpenForWriting(const lym_io& io, void* userData);
  TadcInterfaceStream& Stream() { return stream_; }
  static const TadcStreamCallbacks& Callbacks();
  const lym_io& Io() const { return io_; }
  void* UserData() const { return userData_; }
  bool Reading() const { return reading_; }

 private:
  lym_io io_{};
  void* userData_ = nullptr;
  bool reading_ = false;
  TadcInterfaceStream stream_;
};

// Reads the medium from where it stands to its end. False on a read failure.
bool ReadToEnd(const lym_io& io, void* userData, std::vector<uint8_t>& bytes);

// Writes all bytes through the medium's write function.
bool WriteAll(const lym_io& io, void* userData, const uint8_t* bytes, size_t count);

}  // namespace lym::library

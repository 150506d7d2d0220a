// Writing to a medium that takes bytes only in order and never gives them back: standard output,
// which may be a pipe. The bytes go out through a buffer; positioning fails, so only writers that
// never go back (the WAVE writer with a header known in advance) can use it. The handle stays open.
#pragma once

#include <cstdint>
#include <vector>

#include "io/lymFileIo.h"
#include "platform/PlatformFile.h"

namespace lym {

class TadcPipeWriteStream : public TadcIoStream {
 public:
  static constexpr int32_t kBufferBytes = 65536;

  explicit TadcPipeWriteStream(platform::FileHandle handle);

  bool CanWrite() const override { return !HasError(); }
  int64_t GetPosition() const override { return written_ + int64_t(buffer_.size()); }
  int64_t GetLength() const override { return GetPosition(); }
  void SetLength(int64_t newLength) override;
  bool Seek(uint8_t origin, int64_t offset) override;
  bool Write(const void* buffer, int32_t count, int32_t& actual) override;
  bool Flush() override;
  uint8_t Close(bool flush) override;

 private:
  bool Send(const uint8_t* bytes, size_t count);

  platform::FileHandle handle_;
  std::vector<uint8_t> buffer_;
  int64_t written_ = 0;
};

}  // namespace lym

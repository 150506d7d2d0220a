#include "io/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace lym {
namespace {

TMemoryMedium& MediumOf(void* user) { return *static_cast<TMemoryMedium*>(user); }

int32_t Yes(void*) { return 1; }

int32_t Read(void* user, void* buffer, int32_t count, int32_t* bytesRead) {
  TMemoryMedium& medium = MediumOf(user);
  const int64_t left = int64_t(medium.bytes.size()) - medium.position;
  const int64_t n = std::clamp<int64_t>(count, 0, std::max<int64_t>(left, 0));
  if (n > 0) std::memcpy(buffer, medium.bytes.data() + medium.position, size_t(n));
  medium.position += n;
  *bytesRead = int32_t(n);
  return 1;
}

int32_t Write(void* user, const void* buffer, int32_t count) {
  TMemoryMedium& medium = MediumOf(user);
  if (count < 0) return 0;
  const size_t end = size_t(medium.position) + size_t(count);
  if (medium.bytes.size() < end) medium.bytes.resize(end);
  if (count > 0) std::memcpy(medium.bytes.data() + medium.position, buffer, size_t(count));
  medium.position = int64_t(end);
  return 1;
}

int32_t Seek(void* user, int64_t position) {
  TMemoryMedium& medium = MediumOf(user);
  if (position < 0 || position > int64_t(medium.bytes.size())) return 0;
  medium.position = position;
  return 1;
}

int32_t Length(void* user, int64_t* length) {
  *length = int64_t(MediumOf(user).bytes.size());
  return 1;
}

}  // namespace

const TadcStreamCallbacks& MemoryMediumCallbacks() {
  static const TadcStreamCallbacks callbacks{Yes,   Yes,     Yes,  Read,  Write,
                                             Yes,   nullptr, Seek, Length};
  return callbacks;
}

uint8_t OpenMemoryStream(TadcInterfaceStream& stream, TMemoryMedium& medium, int32_t bufferSize) {
  return stream.OpenInterface(MemoryMediumCallbacks(), &medium, bufferSize);
}

}  // namespace lym

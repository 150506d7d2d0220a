#include "foundation/zqAlignedMem.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>

namespace lym {
namespace {

// One period of the 32-byte line sets, so the search reaches every set.
constexpr size_t kSearchSpan = 4096;

struct TRawBlock {
  void* raw;
  size_t allocated;
  void* start;
};

size_t RecordedAlignment(size_t alignment) { return std::max<size_t>(alignment, 4); }

uintptr_t AddressOf(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// Allocates size + slack usable bytes from an aligned start. Sizes that would wrap around are
// refused rather than allocated short.
TRawBlock AllocateAligned(size_t size, size_t slack, size_t alignment) {
  const size_t padding = alignment > 4 ? alignment - 1 : 0;
  constexpr size_t kMaxSize = std::numeric_limits<size_t>::max();
  if (slack > kMaxSize - padding || size > kMaxSize - padding - slack) throw std::bad_alloc();
  const size_t allocated = size + slack + padding;
  // malloc(0) may return a null pointer, which would read as a failure.
  void* raw = std::malloc(std::max<size_t>(allocated, 1));
  if (raw == nullptr) throw std::bad_alloc();
  const size_t misalignment = padding == 0 ? 0 : AddressOf(raw) % alignment;
  const size_t shift = misalignment == 0 ? 0 : alignment - misalignment;
  return {raw, allocated, static_cast<char*>(raw) + shift};
}

// The first offset whose sets are not crowded; failing that, the least crowded one, the earliest
// on ties.
size_t LeastCrowdedOffset(const TAntiAliasMemManager& manager, uintptr_t start, size_t alignment) {
  const size_t step = std::max<size_t>(alignment, 32);
  size_t best = 0;
  uint32_t bestScore = std::numeric_limits<uint32_t>::max();
  for (size_t offset = 0; offset <= kSearchSpan; offset += step) {
    const uint32_t score = manager.SetScore(start + offset);
    if (score < TAntiAliasMemManager::kThreshold) return offset;
    if (score < bestScore) {
      best = offset;
      bestScore = score;
    }
  }
  return best;
}

}  // namespace

TAlignedMem::TAlignedMem(size_t size, size_t alignment)
    : alignment_(RecordedAlignment(alignment)), size_(size) {
  const TRawBlock block = AllocateAligned(size, 0, alignment_);
  raw_ = block.raw;
  allocated_ = block.allocated;
  start_ = block.start;
}

TAlignedMem::~TAlignedMem() { std::free(raw_); }

uint32_t TAntiAliasMemManager::Count64(uintptr_t address) const {
  return counters64_[(address >> 6) & 31].load(std::memory_order_relaxed);
}

uint32_t TAntiAliasMemManager::Count32(uintptr_t address) const {
  return counters32_[(address >> 5) & 127].load(std::memory_order_relaxed);
}

uint32_t TAntiAliasMemManager::SetScore(uintptr_t address) const {
  return std::max(Count64(address), Count32(address));
}

void TAntiAliasMemManager::Register(uintptr_t address) {
  counters64_[(address >> 6) & 31].fetch_add(1, std::memory_order_relaxed);
  counters32_[(address >> 5) & 127].fetch_add(1, std::memory_order_relaxed);
}

void TAntiAliasMemManager::Unregister(uintptr_t address) {
  counters64_[(address >> 6) & 31].fetch_sub(1, std::memory_order_relaxed);
  counters32_[(address >> 5) & 127].fetch_sub(1, std::memory_order_relaxed);
}

TAntiAliasMemManager& GlobalAntiAliasMemManager() {
  // Created on first use, so blocks owned by static objects of other units find it ready.
  static TAntiAliasMemManager manager;
  return manager;
}

TAntiAliasMem::TAntiAliasMem(size_t size, size_t alignment, TAntiAliasMemManager* manager)
    : manager_(manager != nullptr ? manager : &GlobalAntiAliasMemManager()),
      alignment_(RecordedAlignment(alignment)),
      size_(size) {
  TRawBlock block = AllocateAligned(size, 0, alignment_);
  if (manager_->SetScore(AddressOf(block.start)) >= TAntiAliasMemManager::kThreshold) {
    std::free(block.raw);
    block = AllocateAligned(size, kSearchSpan, alignment_);
    block.start = static_cast<char*>(block.start) +
                  LeastCrowdedOffset(*manager_, AddressOf(block.start), alignment_);
  }
  raw_ = block.raw;
  allocated_ = block.allocated;
  start_ = block.start;
  manager_->Register(AddressOf(start_));
}

TAntiAliasMem::~TAntiAliasMem() {
  manager_->Unregister(AddressOf(start_));
  std::free(raw_);
}

}  // namespace lym

#include "foundation/zqAlignedMem.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>

namespace lym {
namespace {

// One period of the 32-byte line sets, so the search reaches every set.
constexpr size_t kSearchSpan = 4096;

size_t RecordedAlignment(size_t alignment) { return std::max<size_t>(alignment, 4); }

uintptr_t AddressOf(const void* p) { return reinterpret_cast<uintptr_t>(p); }

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
  Allocate(0);
}

TAlignedMem::~TAlignedMem() { std::free(raw_); }

// Allocates size + slack usable bytes from an aligned start. Sizes that would wrap around are
// refused rather than allocated short.
void TAlignedMem::Allocate(size_t slack) {
  const size_t padding = alignment_ > 4 ? alignment_ - 1 : 0;
  constexpr size_t kMaxSize = std::numeric_limits<size_t>::max();
  if (slack > kMaxSize - padding || size_ > kMaxSize - padding - slack) throw std::bad_alloc();
  allocated_ = size_ + slack + padding;
  // malloc(0) may return a null pointer, which would read as a failure.
  raw_ = std::malloc(std::max<size_t>(allocated_, 1));
  if (raw_ == nullptr) throw std::bad_alloc();
  const size_t misalignment = padding == 0 ? 0 : AddressOf(raw_) % alignment_;
  start_ = static_cast<char*>(raw_) + (misalignment == 0 ? 0 : alignment_ - misalignment);
}

void TAlignedMem::Reallocate(size_t slack) {
  std::free(raw_);
  raw_ = nullptr;
  Allocate(slack);
}

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
    : TAlignedMem(size, alignment),
      manager_(manager != nullptr ? manager : &GlobalAntiAliasMemManager()) {
  if (manager_->SetScore(AddressOf(Start())) >= TAntiAliasMemManager::kThreshold) {
    Reallocate(kSearchSpan);
    MoveStart(LeastCrowdedOffset(*manager_, AddressOf(Start()), Alignment()));
  }
  manager_->Register(AddressOf(Start()));
}

TAntiAliasMem::~TAntiAliasMem() { manager_->Unregister(AddressOf(Start())); }

}  // namespace lym

// Heap blocks for the codec's sample, history and work arrays.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lym {

// A heap block whose usable start is aligned, because the vector kernels need aligned data. An
// alignment of 4 or less takes the block as the heap returns it, without padding.
class TAlignedMem {
 public:
  explicit TAlignedMem(size_t size, size_t alignment = 64);
  ~TAlignedMem();
  TAlignedMem(const TAlignedMem&) = delete;
  TAlignedMem& operator=(const TAlignedMem&) = delete;

  void* Start() const { return start_; }
  template <class T>
  T* As() const { return static_cast<T*>(start_); }
  size_t Size() const { return size_; }
  size_t Alignment() const { return alignment_; }
  size_t AllocatedSize() const { return allocated_; }

 protected:
  // Frees the block and allocates it again with slack bytes beyond the size, for a start that
  // moves up to slack bytes further (MoveStart).
  void Reallocate(size_t slack);
  void MoveStart(size_t offset) { start_ = static_cast<char*>(start_) + offset; }

 private:
  void Allocate(size_t slack);

  void* raw_ = nullptr;
  size_t allocated_ = 0;
  size_t alignment_;
  void* start_ = nullptr;
  size_t size_;
};

// Counts the live anti-alias blocks per cache set, so that new blocks can avoid crowded sets:
// equally sized, equally aligned buffers would otherwise all start in the same sets and evict one
// another during the filters. Blocks are created and freed from several threads, hence atomic
// counters; a score read during a concurrent change only affects placement.
class TAntiAliasMemManager {
 public:
  // At most this many live blocks share a set before a new block moves elsewhere.
  static constexpr uint32_t kThreshold = 2;

  // Live blocks starting on the same 64-byte line set (2 KiB period) as address.
  uint32_t Count64(uintptr_t address) const;
  // Live blocks starting on the same 32-byte line set (4 KiB period) as address.
  uint32_t Count32(uintptr_t address) const;
  uint32_t SetScore(uintptr_t address) const;

  // Every Register must be balanced by one Unregister of the same address.
  void Register(uintptr_t address);
  void Unregister(uintptr_t address);

 private:
  std::array<std::atomic<uint32_t>, 32> counters64_{};
  std::array<std::atomic<uint32_t>, 128> counters32_{};
};

// The manager of all blocks that do not name their own.
TAntiAliasMemManager& GlobalAntiAliasMemManager();

// An aligned block whose start avoids cache sets already crowded by other live blocks, at the
// cost of at most 4 KiB of padding. The manager must outlive the block.
class TAntiAliasMem : public TAlignedMem {
 public:
  explicit TAntiAliasMem(size_t size, size_t alignment = 64,
                         TAntiAliasMemManager* manager = nullptr);
  ~TAntiAliasMem();

 private:
  TAntiAliasMemManager* manager_;
};

// A zero-filled work array of count items in anti-alias memory.
template <class T>
class TAntiAliasArray {
 public:
  explicit TAntiAliasArray(size_t count) : memory_(count * sizeof(T)), count_(count) {
    std::memset(memory_.Start(), 0, count * sizeof(T));
  }
  T* Data() const { return memory_.As<T>(); }
  size_t Count() const { return count_; }

 private:
  TAntiAliasMem memory_;
  size_t count_;
};

}  // namespace lym

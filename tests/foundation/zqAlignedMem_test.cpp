#include "foundation/zqAlignedMem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <thread>
#include <vector>

namespace lym {
namespace {

constexpr uint32_t kThreshold = TAntiAliasMemManager::kThreshold;

uintptr_t AddressOf(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// The highest counter of the manager: one 4 KiB period of addresses reaches all of them.
uint32_t HighestCount(const TAntiAliasMemManager& manager) {
  uint32_t highest = 0;
  for (uintptr_t address = 0; address < 4096; address += 32)
    highest = std::max(highest, manager.SetScore(address));
  return highest;
}

// Raises the 64-byte line set counters to `others` blocks, except set `spared`, which gets `own`.
void Crowd(TAntiAliasMemManager& manager, uint32_t others, size_t spared, uint32_t own) {
  for (size_t set = 0; set < 32; ++set) {
    for (uint32_t n = 0; n < (set == spared ? own : others); ++n) manager.Register(set * 64);
  }
}

template <class Block>
void ExpectAlignedAndWritable(const Block& block, size_t size, size_t alignment) {
  EXPECT_EQ(AddressOf(block.Start()) % alignment, 0u) << size << " bytes at " << alignment;
  EXPECT_EQ(block.Size(), size);
  EXPECT_EQ(block.Alignment(), alignment);
  EXPECT_EQ(block.template As<int32_t>(), block.Start());
  std::memset(block.Start(), 0xA5, size);
}

TEST(ZqAlignedMemTest, StartIsAlignedAndTheRequestedSizeUsable) {
  // Crowded sets make the anti-alias blocks take the moved placement most of the time.
  TAntiAliasMemManager manager;
  Crowd(manager, kThreshold + 1, 5, 0);
  for (size_t alignment : {8, 16, 32, 64, 128, 4096}) {
    for (size_t size : {0, 1, 63, 1000, 100000}) {
      const TAlignedMem block(size, alignment);
      ExpectAlignedAndWritable(block, size, alignment);
      EXPECT_EQ(block.AllocatedSize(), size + alignment - 1);
      ExpectAlignedAndWritable(TAntiAliasMem(size, alignment, &manager), size, alignment);
    }
  }
  for (size_t alignment : {0, 1, 4}) {
    const TAlignedMem block(100, alignment);
    EXPECT_EQ(block.Alignment(), 4u);
    EXPECT_EQ(block.AllocatedSize(), 100u);
  }
}

TEST(ZqAlignedMemTest, SizeThatWouldWrapAroundIsRefused) {
  constexpr size_t kHuge = std::numeric_limits<size_t>::max() - 10;
  EXPECT_THROW(TAlignedMem(kHuge, 64), std::bad_alloc);
  TAntiAliasMemManager manager;
  EXPECT_THROW(TAntiAliasMem(kHuge, 64, &manager), std::bad_alloc);
  EXPECT_EQ(HighestCount(manager), 0u);
}

TEST(ZqAntiAliasMemTest, BlockStaysWhereTheHeapPutsItBelowTheThreshold) {
  TAntiAliasMemManager manager;
  Crowd(manager, kThreshold - 1, 0, kThreshold - 1);
  const TAntiAliasMem block(1000, 64, &manager);
  EXPECT_EQ(block.AllocatedSize(), 1000u + 63);
  EXPECT_EQ(manager.Count64(AddressOf(block.Start())), kThreshold);
}

TEST(ZqAntiAliasMemTest, BlockMovesToTheLeastCrowdedSet) {
  struct Case {
    uint32_t others, spared;
  };
  for (const Case c : {Case{kThreshold, 0}, Case{kThreshold + 2, kThreshold + 1}}) {
    for (size_t sparedSet : {0, 13, 31}) {
      TAntiAliasMemManager manager;
      Crowd(manager, c.others, sparedSet, c.spared);
      const TAntiAliasMem block(1000, 64, &manager);
      EXPECT_EQ((AddressOf(block.Start()) >> 6) & 31, sparedSet) << c.others << "/" << c.spared;
    }
  }
}

TEST(ZqAntiAliasMemTest, FreeingLowersBothCountersOfTheGlobalManager) {
  const TAntiAliasMemManager& global = GlobalAntiAliasMemManager();
  auto block = std::make_unique<TAntiAliasMem>(500);
  const uintptr_t start = AddressOf(block->Start());
  const uint32_t count64 = global.Count64(start);
  const uint32_t count32 = global.Count32(start);
  ASSERT_GE(std::min(count64, count32), 1u);
  block.reset();
  EXPECT_EQ(global.Count64(start), count64 - 1);
  EXPECT_EQ(global.Count32(start), count32 - 1);
}

TEST(ZqAntiAliasMemTest, ManyLiveBlocksNeverCrowdASetBeyondTheThreshold) {
  // Up to 64 blocks always leave a candidate below the threshold within the 4 KiB search.
  TAntiAliasMemManager manager;
  std::vector<std::unique_ptr<TAntiAliasMem>> blocks;
  for (int i = 0; i < 64; ++i) {
    blocks.push_back(std::make_unique<TAntiAliasMem>(4096, 64, &manager));
    ASSERT_LE(HighestCount(manager), kThreshold) << "after block " << i;
  }
  blocks.clear();
  EXPECT_EQ(HighestCount(manager), 0u);
}

TEST(ZqAntiAliasMemTest, ConcurrentCreateAndFreeLeaveAllCountersAtZero) {
  TAntiAliasMemManager manager;
  std::vector<std::thread> threads;
  for (unsigned seed = 1; seed <= 8; ++seed) {
    threads.emplace_back([&manager, seed] {
      std::mt19937 random(seed);
      std::uniform_int_distribution<size_t> size(1, 5000);
      std::uniform_int_distribution<size_t> alignmentShift(0, 2);
      std::vector<std::unique_ptr<TAntiAliasMem>> live(4);
      for (size_t i = 0; i < 2000; ++i) {
        auto& slot = live[i % live.size()];
        slot = std::make_unique<TAntiAliasMem>(size(random), size_t{1} << (alignmentShift(random) * 3),
                                               &manager);
        std::memset(slot->Start(), 0x5A, slot->Size());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(HighestCount(manager), 0u);
}

}  // namespace
}  // namespace lym

#include "codec/FramePositions.h"

#include <gtest/gtest.h>

#include <iterator>
#include <numeric>
#include <vector>

#include "foundation/zqExceptions.h"

namespace lym {
namespace {

TFramePositions ResidualGrid(int32_t unit, int32_t frameLength) {
  return TFramePositions(unit, 4, 4, 128, 3, frameLength);
}

TFramePositions SubFrameGrid(int32_t unit, int32_t frameLength) {
  return TFramePositions(unit, 8, 8, 64, 2, frameLength);
}

std::vector<int32_t> Sizes(const TSubFramePositions& layout) {
  std::vector<int32_t> sizes(size_t(layout.Count()));
  layout.PartitionSizes(sizes.data());
  return sizes;
}

// Border(0) = 0, the last border is the frame end, borders rise and, in configurations whose
// alignment is their minimum size, every cell of a frame of several cells has at least that size.
void ExpectSoundGrid(const TFramePositions& grid, int32_t maxCells) {
  ASSERT_GE(grid.CellCount(), 1);
  ASSERT_LE(grid.CellCount(), maxCells);
  EXPECT_EQ(grid.Border(0), 0);
  EXPECT_EQ(grid.Border(grid.CellCount()), grid.FrameLength());
  for (int32_t i = 1; i <= grid.CellCount(); ++i) {
    if (grid.CellCount() > 1) {
      EXPECT_GE(grid.Border(i) - grid.Border(i - 1), grid.MinSize()) << i;
    }
    if (i < grid.CellCount()) {
      EXPECT_EQ(grid.Border(i) % 4, 0) << i;
    }
  }
}

TEST(FramePositions, CdRateResidualGrid) {
  const TFramePositions grid = ResidualGrid(44100, 4096);
  EXPECT_EQ(grid.AllowedLevel(), 3);
  EXPECT_EQ(grid.Level(), 3);
  // Cells of 86.13 samples rounded to multiples of 4.
  EXPECT_EQ(grid.Border(1), 88);
  EXPECT_EQ(grid.Border(2), 172);
  EXPECT_EQ(grid.Border(47), 4048);
  EXPECT_EQ(grid.CellCount(), 48);
  EXPECT_EQ(grid.Border(48), 4096);
  ExpectSoundGrid(grid, 128);
  // The layout starts with the whole frame at the finest level.
  const TSubFramePositions layout(grid);
  EXPECT_EQ(layout.Count(), 48);
  EXPECT_EQ(layout.PartitionStart(1), 88);
  EXPECT_EQ(layout.PartitionSize(47), 48);
  EXPECT_EQ(layout.PartitionStart(48), 4096);
}

TEST(FramePositions, LevelsFollowTheRateAndTheConfiguration) {
  EXPECT_EQ(ResidualGrid(8000, 4096).AllowedLevel(), 3);  // 8000 div 512 = 15 >= 4
  EXPECT_EQ(ResidualGrid(1000, 4096).AllowedLevel(), 1);  // 1000 div 256 = 3 < 4, div 128 = 7
  EXPECT_EQ(ResidualGrid(300, 4096).AllowedLevel(), 0);
  const TFramePositions subFrames = SubFrameGrid(8000, 4096);
  EXPECT_EQ(subFrames.AllowedLevel(), 3);  // 8000 div 512 = 15 >= 8
  EXPECT_EQ(subFrames.Level(), 2);
  EXPECT_EQ(subFrames.MinSize(), 8);
}

TEST(FramePositions, AtMostMaxCellsAndTheLastTakesTheRest) {
  const TFramePositions grid = ResidualGrid(44100, 16384);
  EXPECT_EQ(grid.CellCount(), 128);
  EXPECT_EQ(grid.Border(127), 10940);
  EXPECT_EQ(grid.Border(128), 16384);
  const TFramePositions subFrames = SubFrameGrid(44100, 16384);
  EXPECT_EQ(subFrames.CellCount(), 64);
  EXPECT_EQ(subFrames.Border(64), 16384);
}

TEST(FramePositions, ShortLastCellJoinsItsPredecessor) {
  // Border 47 is 4048; a frame of 4050 would leave a last cell of 2 samples.
  const TFramePositions grid = ResidualGrid(44100, 4050);
  EXPECT_EQ(grid.CellCount(), 47);
  EXPECT_EQ(grid.Border(46), ResidualGrid(44100, 4096).Border(46));
  EXPECT_EQ(grid.Border(47), 4050);
  EXPECT_EQ(ResidualGrid(44100, 4052).CellCount(), 48);
}

TEST(FramePositions, FramesShorterThanOneCell) {
  for (int32_t length : {0, 1, 3, 4, 87}) {
    SCOPED_TRACE(length);
    const TFramePositions grid = ResidualGrid(44100, length);
    EXPECT_EQ(grid.CellCount(), 1);
    EXPECT_EQ(grid.Border(0), 0);
    EXPECT_EQ(grid.Border(1), length);
    TSubFramePositions layout(grid);
    EXPECT_EQ(Sizes(layout), std::vector<int32_t>{length});
  }
}

TEST(FramePositions, DegenerateRatesGiveSoundGrids) {
  for (int32_t unit : {INT32_MIN, -44100, 0, 1, 63, 100, 300, 5999, 262144, INT32_MAX}) {
    for (int32_t length : {1, 7, 8, 100, 4096, 16384}) {
      SCOPED_TRACE(testing::Message() << unit << " " << length);
      ExpectSoundGrid(ResidualGrid(unit, length), 128);
      ExpectSoundGrid(SubFrameGrid(unit, length), 64);
    }
  }
}

TEST(FramePositions, PositionIndexIsTheLastBorderAtOrBelow) {
  const TFramePositions grid = ResidualGrid(44100, 4096);
  const int32_t positions[] = {0, 87, 88, 171, 172, 4095, 4096, INT32_MAX};
  const int32_t indexes[] = {0, 0, 1, 1, 2, 47, 48, 48};
  for (size_t i = 0; i < std::size(positions); ++i)
    EXPECT_EQ(grid.PositionIndex(positions[i]), indexes[i]) << positions[i];
  EXPECT_THROW(grid.PositionIndex(-1), EzqArgumentOutOfRange);
}

TEST(FramePositions, InvalidArgumentsAreRangeErrors) {
  // alignment not a power of two, too many cells, level above 3, negative frame
  EXPECT_THROW(TFramePositions(44100, 4, 3, 128, 3, 4096), EzqArgumentOutOfRange);
  EXPECT_THROW(TFramePositions(44100, 4, 4, 129, 3, 4096), EzqArgumentOutOfRange);
  EXPECT_THROW(TFramePositions(44100, 4, 4, 128, 4, 4096), EzqArgumentOutOfRange);
  EXPECT_THROW(TFramePositions(44100, 4, 4, 128, 3, -1), EzqArgumentOutOfRange);
  const TFramePositions grid = ResidualGrid(44100, 4096);
  EXPECT_THROW(grid.Border(49), EzqArgumentOutOfRange);
  TSubFramePositions layout(grid);
  EXPECT_THROW(layout.SetLayout(4097, 3), EzqArgumentOutOfRange);
  EXPECT_THROW(layout.SetLayout(100, 4), EzqArgumentOutOfRange);
  EXPECT_THROW(layout.PartitionSize(layout.Count()), EzqArgumentOutOfRange);
}

TEST(SubFramePositions, CoarserLevelsGroupCellsAndPlaceTheRemainder) {
  const TFramePositions grid = ResidualGrid(44100, 4096);
  TSubFramePositions layout(grid);
  // Level 0 groups 8 cells; Border(8) = 688.
  layout.SetLayout(690, 0);  // remainder of 2 joins the group
  EXPECT_EQ(Sizes(layout), std::vector<int32_t>{690});
  layout.SetLayout(692, 0);  // remainder of 4 becomes a partition
  EXPECT_EQ(Sizes(layout), (std::vector<int32_t>{688, 4}));
  layout.SetLayout(3, 3);
  EXPECT_EQ(Sizes(layout), std::vector<int32_t>{3});
  layout.SetLayout(0, 2);
  EXPECT_EQ(Sizes(layout), std::vector<int32_t>{0});
}

TEST(SubFramePositions, EveryLengthAndLevelTilesTheFrame) {
  for (int32_t unit : {8000, 44100, 96000}) {
    const TFramePositions grid = ResidualGrid(unit, 16384);
    TSubFramePositions layout(grid);
    for (int level = 0; level <= grid.Level(); ++level) {
      for (int32_t n = 1; n <= 16384; n += 37) {
        layout.SetLayout(n, level);
        const std::vector<int32_t> sizes = Sizes(layout);
        ASSERT_LE(layout.Count(), 128);
        ASSERT_EQ(std::accumulate(sizes.begin(), sizes.end(), 0), n) << unit << " " << n;
        for (int32_t i = 0; i < layout.Count(); ++i) {
          ASSERT_EQ(layout.PartitionStart(i + 1) - layout.PartitionStart(i), sizes[size_t(i)]);
          ASSERT_GE(sizes[size_t(i)], std::min(n, 4));
        }
      }
    }
  }
}

}  // namespace
}  // namespace lym

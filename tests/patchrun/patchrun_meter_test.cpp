// Which blocks the segmented meter draws for a size and percentage.
#include <gtest/gtest.h>

#include "meter.h"

TEST(MeterBlocks, HorizontalMeterDropsTheBlockThatWouldCrossTheMargin) {
  // 100 wide, 8 + 2: ten blocks fit by division, but the tenth would end at
  // 102, beyond the right margin at 96.
  EXPECT_EQ(MeterBlockCount(100, 18, 8, 2, 100), 10);
  std::vector<MeterBlock> blocks = MeterBlocks(100, 18, 8, 2, 100);
  ASSERT_EQ(blocks.size(), 9u);
  EXPECT_EQ(blocks[0].left, 4);
  EXPECT_EQ(blocks[0].right, 12);
  EXPECT_EQ(blocks[8].left, 84);
  EXPECT_EQ(blocks[8].right, 92);

  // The progress window's meters: 10 + 1 blocks, 415 and 348 wide.
  std::vector<MeterBlock> wide = MeterBlocks(415, 18, 10, 1, 100);
  ASSERT_EQ(wide.size(), 37u);
  EXPECT_EQ(wide.back().right, 410);
  std::vector<MeterBlock> narrow = MeterBlocks(348, 18, 10, 1, 100);
  ASSERT_EQ(narrow.size(), 31u);
  EXPECT_EQ(narrow.back().right, 344);

  // Counts round half to even: 2.5 blocks at 25 %.
  EXPECT_EQ(MeterBlocks(100, 18, 8, 2, 25).size(), 2u);
  EXPECT_TRUE(MeterBlocks(100, 18, 8, 2, 0).empty());
}

TEST(MeterBlocks, SquareAndTallMetersFillFromTheBottom) {
  std::vector<MeterBlock> tall = MeterBlocks(18, 100, 8, 2, 100);
  // n = 10; blocks whose top would be above 4 are left out.
  ASSERT_EQ(tall.size(), 9u);
  EXPECT_EQ(tall[0].top, 88);
  EXPECT_EQ(tall[0].bottom, 96);
  EXPECT_EQ(tall[8].top, 8);

  // Equal sides count as vertical.
  std::vector<MeterBlock> square = MeterBlocks(40, 40, 8, 2, 50);
  ASSERT_EQ(square.size(), 2u);
  EXPECT_EQ(square[0].top, 28);
  EXPECT_EQ(square[0].left, 4);
  EXPECT_EQ(square[0].right, 36);
}

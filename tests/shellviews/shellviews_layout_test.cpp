// Where the image combo draws an entry's icon and caption.
#include <gtest/gtest.h>

#include <climits>

#include "imagecombolayout.h"

TEST(ImageComboLayout, IndentIconAndCaptionRectangle) {
  // 16-pixel images, entry rectangle (4, 10)-(.., 28), caption 40 wide.
  TPTImageComboEntryLayout flat = ImageComboEntryLayout(4, 10, 28, 0, 12, true, 16, 16, 40);
  EXPECT_EQ(flat.IconX, 6);
  EXPECT_EQ(flat.IconY, 11);
  EXPECT_EQ(flat.TextLeft, 6 + 16 + 3);
  EXPECT_EQ(flat.TextRight, flat.TextLeft + 40 + 3);
  EXPECT_EQ(flat.CaptionX, flat.TextLeft + 1);
  EXPECT_EQ(flat.CaptionY, 11);

  TPTImageComboEntryLayout deep = ImageComboEntryLayout(4, 10, 28, 3, 12, true, 16, 16, 40);
  EXPECT_EQ(deep.IconX - flat.IconX, 36);
  EXPECT_EQ(deep.TextRight - flat.TextRight, 36);

  // Without images the caption starts 3 pixels after the indent.
  TPTImageComboEntryLayout bare = ImageComboEntryLayout(4, 10, 28, 1, 12, false, 16, 16, 0);
  EXPECT_EQ(bare.TextLeft, 4 + 12 + 2 + 3);
  EXPECT_EQ(bare.TextRight, bare.TextLeft + 3);
}

TEST(ImageComboLayout, CentringRoundsTowardsZeroAndExtremesAreHeld) {
  // An odd spare height: (0 + 17 - 16) / 2 = 0; above the origin
  // (-9 + 0 - 16) / 2 = -12 (towards zero, not -13).
  EXPECT_EQ(ImageComboEntryLayout(0, 0, 17, 0, 12, true, 16, 16, 0).IconY, 0);
  EXPECT_EQ(ImageComboEntryLayout(0, -9, 0, 0, 12, true, 16, 16, 0).IconY, -12);
  // An indent from a damaged entry must not overflow.
  TPTImageComboEntryLayout huge = ImageComboEntryLayout(INT_MAX - 1, INT_MAX, INT_MAX, INT_MAX, INT_MAX, true,
                                                        INT_MAX, INT_MAX, INT_MAX);
  EXPECT_EQ(huge.IconX, INT_MAX);
  EXPECT_EQ(huge.TextRight, INT_MAX);
  EXPECT_EQ(huge.IconY, INT_MAX / 2);
  TPTImageComboEntryLayout low = ImageComboEntryLayout(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MAX, true, 0, 0, 0);
  EXPECT_EQ(low.IconX, INT_MIN);
  EXPECT_EQ(low.IconY, INT_MIN);
}

// Geometry of the segmented progress meter, kept apart from the drawing so
// that the block arithmetic can be checked without a window system.
#pragma once

#include <vector>

struct MeterBlock {
  int left, top, right, bottom;  // right and bottom exclusive
};

// How many blocks a meter of this size shows at a percentage, before the
// blocks that would cross the 4-pixel margin are dropped.
int MeterBlockCount(int width, int height, int segmentWidth, int segmentGap, int percent);

// The blocks actually drawn: horizontal meters (wider than high) grow from
// the left, the others from the bottom.
std::vector<MeterBlock> MeterBlocks(int width, int height, int segmentWidth, int segmentGap, int percent);

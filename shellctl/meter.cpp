#include "meter.h"

#include <cmath>

int MeterBlockCount(int width, int height, int segmentWidth, int segmentGap, int percent) {
  const int step = segmentWidth + segmentGap;
  if (step <= 0) return 0;
  const int n = (width > height ? width : height) / step;
  // Round to nearest with ties to even, as the meter always has.
  return static_cast<int>(std::nearbyint(n * (percent * 0.01)));
}

std::vector<MeterBlock> MeterBlocks(int width, int height, int segmentWidth, int segmentGap, int percent) {
  std::vector<MeterBlock> blocks;
  const int count = MeterBlockCount(width, height, segmentWidth, segmentGap, percent);
  if (width > height) {
    int left = 4;
    int right = 4 + segmentWidth;
    for (int k = 0; k < count; ++k) {
      if (right <= width - 4) blocks.push_back(MeterBlock{left, 4, right, height - 4});
      left += segmentWidth + segmentGap;
      right = left + segmentWidth;
    }
  } else {
    int top = height - (segmentWidth + 4);
    int bottom = height - 4;
    for (int k = 0; k < count; ++k) {
      if (top >= 4) blocks.push_back(MeterBlock{4, top, width - 4, bottom});
      top -= segmentWidth + segmentGap;
      bottom = top + segmentWidth;
    }
  }
  return blocks;
}

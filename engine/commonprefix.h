// The byte comparison both match searches (the finder's and the body
// deflater's) spend their time in.
#pragma once

#include <cstdint>
#include <cstring>

// Length of the common prefix of a and b, at most limit bytes; eight bytes
// a step while they agree.
inline uint32_t CommonPrefixLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) break;
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

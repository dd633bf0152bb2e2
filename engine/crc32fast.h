// The checksum of large buffers (a scanned file, a pair's two files) by
// folding with carry-less products where the processor has them: several
// times the speed of the table, which a large pair otherwise spends a
// tenth of its time in. Crc32Update folds whole blocks this way
// and takes the table for the rest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "streams.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define MORVANE_CRC_FOLDING 1
#endif

namespace crcfast {

#ifdef MORVANE_CRC_FOLDING
#define MORVANE_CRC_TARGET __attribute__((target("sse4.1,pclmul")))

MORVANE_CRC_TARGET inline __m128i LoadBlock(const uint8_t* q) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// x moved on by the distance whose two factors k holds, plus the next block.
MORVANE_CRC_TARGET inline __m128i FoldBlock(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Folds 16-byte blocks of the bit-reversed polynomial's message: each step
// multiplies the running 128 bits by x^n mod P for the distance n it moves
// them, then Barrett-reduces the last 64 bits to the register. Needs
// n >= 64 and a multiple of 16.
MORVANE_CRC_TARGET inline uint32_t Fold(const uint8_t* p, size_t n, uint32_t crc) {
  const __m128i by4 = _mm_set_epi64x(0x1c6e41596ll, 0x154442bd4ll);  // 512 and 576 bits on
  const __m128i by1 = _mm_set_epi64x(0x0ccaa009ell, 0x1751997d0ll);  // 128 and 192 bits on
  const __m128i to64 = _mm_set_epi64x(0, 0x163cd6124ll);
  const __m128i barrett = _mm_set_epi64x(0x1f7011641ll, 0x1db710641ll);  // mu, P
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  __m128i x0 = _mm_xor_si128(LoadBlock(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = LoadBlock(p + 16), x2 = LoadBlock(p + 32), x3 = LoadBlock(p + 48);
  p += 64;
  n -= 64;
  for (; n >= 64; p += 64, n -= 64) {
    x0 = FoldBlock(x0, by4, LoadBlock(p));
    x1 = FoldBlock(x1, by4, LoadBlock(p + 16));
    x2 = FoldBlock(x2, by4, LoadBlock(p + 32));
    x3 = FoldBlock(x3, by4, LoadBlock(p + 48));
  }
  x0 = FoldBlock(x0, by1, x1);
  x0 = FoldBlock(x0, by1, x2);
  x0 = FoldBlock(x0, by1, x3);
  for (; n >= 16; p += 16, n -= 16) x0 = FoldBlock(x0, by1, LoadBlock(p));
  // 128 bits to 96, to 64, then the register.
  x0 = _mm_xor_si128(_mm_srli_si128(x0, 8), _mm_clmulepi64_si128(x0, by1, 0x10));
  x0 = _mm_xor_si128(_mm_srli_si128(x0, 4), _mm_clmulepi64_si128(_mm_and_si128(x0, low32), to64, 0x00));
  __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, low32), barrett, 0x10), low32);
  x0 = _mm_xor_si128(x0, _mm_clmulepi64_si128(t, barrett, 0x00));
  return static_cast<uint32_t>(_mm_extract_epi32(x0, 1));
}

inline bool CanFold() {
  static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return can;
}
#endif

// Crc32Update for lengths beyond its signed 32-bit count.
inline uint32_t Update(const void* buffer, size_t n, uint32_t crc) {
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  while (n > 0) {
    size_t piece = n > 0x40000000u ? 0x40000000u : n;
    crc = Crc32Update(p, static_cast<int32_t>(piece), crc);
    p += piece;
    n -= piece;
  }
  return crc;
}

}  // namespace crcfast

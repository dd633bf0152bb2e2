#include "bmpread.h"

#include <climits>

namespace htmlun2 {

namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
int32_t I32(const uint8_t* p) { return int32_t(U32(p)); }

enum : uint32_t { BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiAlphaBitfields = 6 };

// One colour channel of a bit-field pixel, widened or narrowed to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  bool Set(uint32_t m) {
    mask = m;
    shift = 0;
    bits = 0;
    if (m == 0) return true;
    while (!(m & 1)) {
      m >>= 1;
      ++shift;
    }
    while (m & 1) {
      m >>= 1;
      ++bits;
    }
    return m == 0;  // the bits of a mask must lie together
  }
  uint32_t Get(uint32_t pixel) const {
    if (bits == 0) return 0;
    uint32_t v = (pixel & mask) >> shift;
    if (bits == 8) return v;
    if (bits > 8) return v >> (bits - 8);
    return v * 255 / ((1u << bits) - 1);
  }
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : d_(data), n_(size) {}
  bool Read(TBmpPixels& out);

 private:
  bool Header();
  bool Palette();
  uint64_t Stride() const;
  bool Uncompressed(TBmpPixels& out);
  bool Rle(TBmpPixels& out);
  uint32_t Colour(uint32_t index) const { return index < palette_.size() ? palette_[index] : 0; }

  const uint8_t* d_;
  size_t n_;
  uint32_t offBits_ = 0, hdrSize_ = 0, compression_ = BiRgb, colorsUsed_ = 0;
  int width_ = 0, height_ = 0, bits_ = 0;
  bool topDown_ = false, core_ = false;
  size_t paletteAt_ = 0;
  Channel red_, green_, blue_;
  std::vector<uint32_t> palette_;
};

bool Reader::Header() {
  if (n_ < 14 + 12 || d_[0] != 'B' || d_[1] != 'M') return false;
  offBits_ = U32(d_ + 10);
  hdrSize_ = U32(d_ + 14);
  const uint8_t* h = d_ + 14;
  if (hdrSize_ == 12) {
    core_ = true;
    width_ = U16(h + 4);
    height_ = U16(h + 6);
    if (U16(h + 8) != 1) return false;
    bits_ = U16(h + 10);
    if (bits_ != 1 && bits_ != 4 && bits_ != 8 && bits_ != 24) return false;
  } else {
    if (hdrSize_ < 40 || hdrSize_ > n_ - 14) return false;
    int32_t w = I32(h + 4);
    int32_t hh = I32(h + 8);
    if (U16(h + 12) != 1) return false;
    bits_ = U16(h + 14);
    compression_ = U32(h + 16);
    colorsUsed_ = U32(h + 32);
    if (w <= 0 || hh == 0 || hh == INT32_MIN) return false;
    width_ = w;
    topDown_ = hh < 0;
    height_ = topDown_ ? -hh : hh;
    switch (compression_) {
      case BiRgb:
        if (bits_ != 1 && bits_ != 4 && bits_ != 8 && bits_ != 16 && bits_ != 24 && bits_ != 32) return false;
        break;
      case BiRle8:
        if (bits_ != 8 || topDown_) return false;
        break;
      case BiRle4:
        if (bits_ != 4 || topDown_) return false;
        break;
      case BiBitfields:
      case BiAlphaBitfields:
        if (bits_ != 16 && bits_ != 32) return false;
        break;
      default:
        return false;
    }
  }
  if (width_ <= 0 || height_ <= 0) return false;
  if (int64_t(width_) * int64_t(height_) > MaxImagePixels) return false;

  paletteAt_ = 14 + size_t(hdrSize_);
  if (paletteAt_ > n_) return false;
  if (bits_ == 16 || bits_ == 32) {
    uint32_t r = bits_ == 16 ? 0x7C00 : 0xFF0000, g = bits_ == 16 ? 0x3E0 : 0xFF00, b = bits_ == 16 ? 0x1F : 0xFF;
    if (compression_ == BiBitfields || compression_ == BiAlphaBitfields) {
      // An info header of 40 bytes has the masks after it; later versions
      // hold them inside.
      size_t at = 14 + 40;
      if (hdrSize_ == 40) paletteAt_ += compression_ == BiAlphaBitfields ? 16 : 12;
      if (at + 12 > n_) return false;
      r = U32(d_ + at);
      g = U32(d_ + at + 4);
      b = U32(d_ + at + 8);
    }
    if (!red_.Set(r) || !green_.Set(g) || !blue_.Set(b)) return false;
  }
  return paletteAt_ <= n_;
}

bool Reader::Palette() {
  if (bits_ > 8) return true;
  size_t entries = size_t(1) << bits_;
  if (!core_ && colorsUsed_ != 0 && colorsUsed_ < entries) entries = colorsUsed_;
  size_t entrySize = core_ ? 3 : 4;
  if (entries > (n_ - paletteAt_) / entrySize) return false;
  palette_.resize(entries);
  for (size_t i = 0; i < entries; ++i) {
    const uint8_t* p = d_ + paletteAt_ + i * entrySize;
    palette_[i] = (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
  }
  return true;
}

uint64_t Reader::Stride() const { return (uint64_t(width_) * uint64_t(bits_) + 31) / 32 * 4; }

bool Reader::Uncompressed(TBmpPixels& out) {
  const uint64_t stride = Stride();
  for (int r = 0; r < height_; ++r) {
    const uint8_t* row = d_ + offBits_ + stride * uint64_t(r);
    uint32_t* dst = &out.Pixels[size_t(topDown_ ? r : height_ - 1 - r) * size_t(width_)];
    for (int x = 0; x < width_; ++x) {
      uint32_t c;
      switch (bits_) {
        case 1:
          c = Colour((row[x >> 3] >> (7 - (x & 7))) & 1);
          break;
        case 4:
          c = Colour((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF);
          break;
        case 8:
          c = Colour(row[x]);
          break;
        case 24: {
          const uint8_t* p = row + size_t(x) * 3;
          c = (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
          break;
        }
        default: {
          uint32_t v = bits_ == 16 ? U16(row + size_t(x) * 2) : U32(row + size_t(x) * 4);
          c = (red_.Get(v) << 16) | (green_.Get(v) << 8) | blue_.Get(v);
          break;
        }
      }
      dst[x] = c;
    }
  }
  return true;
}

// Run-length rows, bottom row first.  Pixels a run or a jump carries past
// the right edge are dropped; the picture ends at the end-of-bitmap mark or
// when the rows are full.  Data that ends before either is a cut file.
bool Reader::Rle(TBmpPixels& out) {
  const bool four = compression_ == BiRle4;
  size_t p = offBits_;
  int x = 0, y = 0;
  auto put = [&](uint32_t v) {
    if (x < width_ && y < height_) out.Pixels[size_t(height_ - 1 - y) * size_t(width_) + size_t(x)] = Colour(v);
    ++x;
  };
  bool ended = false;
  while (!ended && y < height_) {
    if (n_ - p < 2) return false;
    uint8_t count = d_[p], value = d_[p + 1];
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count && x < width_; ++i) put(four ? ((i & 1) ? value & 0xF : value >> 4) : value);
      continue;
    }
    switch (value) {
      case 0:
        x = 0;
        ++y;
        break;
      case 1:
        ended = true;
        break;
      case 2:
        if (n_ - p < 2) return false;
        x += d_[p];
        y += d_[p + 1];
        p += 2;
        break;
      default: {
        size_t bytes = four ? (size_t(value) + 1) / 2 : value;
        bytes += bytes & 1;
        if (n_ - p < bytes) return false;
        for (int i = 0; i < value && x < width_; ++i)
          put(four ? ((i & 1) ? d_[p + i / 2] & 0xF : d_[p + i / 2] >> 4) : d_[p + i]);
        p += bytes;
        break;
      }
    }
    if (x > width_) x = width_;
  }
  return true;
}

bool Reader::Read(TBmpPixels& out) {
  if (!Header() || !Palette()) return false;
  const bool rle = compression_ == BiRle8 || compression_ == BiRle4;
  // The data must be there before the picture's memory is taken: a run of
  // RLE data needs at least its end mark, plain rows all their bytes.
  if (offBits_ >= n_) return false;
  if (!rle && Stride() * uint64_t(height_) > n_ - offBits_) return false;
  out.Width = width_;
  out.Height = height_;
  // Pixels a run-length file leaves out keep the first colour of the table.
  out.Pixels.assign(size_t(width_) * size_t(height_), rle ? Colour(0) : 0);
  return rle ? Rle(out) : Uncompressed(out);
}

}  // namespace

bool ReadBmp(const uint8_t* data, size_t size, TBmpPixels& out) {
  out = TBmpPixels();
  if (data == nullptr) return false;
  Reader reader(data, size);
  if (reader.Read(out)) return true;
  out = TBmpPixels();
  return false;
}

}  // namespace htmlun2

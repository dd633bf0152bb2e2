#include <cstring>

#include "gifimage.h"

namespace htmlgif {

TFrame::~TFrame() {
  FreeDisplay();
}

TFrame::TReadResult TFrame::Read(TGifInput& in, TGIFImage& image, const TControlBlock& control) {
  const uint8_t* d;
  if (!in.Take(10, d)) return frEnded;
  Left = d[1] | (d[2] << 8);
  Top = d[3] | (d[4] << 8);
  Width = d[5] | (d[6] << 8);
  Height = d[7] | (d[8] << 8);
  uint8_t packed = d[9];
  LocalTable = (packed & 0x80) != 0;
  if (LocalTable) {
    ColorBits = (packed & 7) + 1;
    size_t size = size_t(3) << ColorBits;
    const uint8_t* table;
    if (!in.Take(size, table)) return frEnded;
    ColorTable.fill(0);
    std::memcpy(ColorTable.data(), table, size);
  } else {
    ColorBits = image.ColorBits();
    ColorTable = image.GlobalTable();
  }
  Interlaced = (packed & 0x40) != 0;

  if (control.Present) {
    int disposal = (control.Packed & 0x1C) >> 2;
    Disposal = (disposal == 0 || disposal == 1 || disposal == 3) ? disposal : 2;
    Delay = control.Delay * 10;
    Transparent = (control.Packed & 1) != 0;
    TransparentIndex = control.TransparentIndex;
  }

  if (int64_t(Width) * Height > kMaxPixels || Width > kMaxSide || Height > kMaxSide) return frFailed;

  if (image.NoDisplay() || Width == 0 || Height == 0) {
    // The code-size byte, then the sub-blocks.
    uint8_t codeSize;
    if (in.Byte(codeSize)) in.SkipSubBlocks();
    if (image.NoDisplay()) return frOk;
  } else {
    Pixels.assign(static_cast<size_t>(PixelStride() * Height), 0);
    if (Transparent) Mask.assign(static_cast<size_t>(MaskStride() * Height), 0);
    Decode(in);
  }
  return MakeDisplay(image) ? frOk : frFailed;
}

namespace {

// Codes arrive least-significant bit first in sub-blocks of 1 to 255
// bytes; a code may span any number of them.
class TBitInput {
 public:
  explicit TBitInput(TGifInput& in) : in_(in) {}

  // The next code of 'width' bits, or -1 when the data (or the file) ends
  // first.
  int Code(int width) {
    while (bits_ < width) {
      if (blockLeft_ == 0) {
        if (ended_) return -1;
        uint8_t len;
        if (!in_.Byte(len)) {
          ended_ = true;
          return -1;
        }
        if (len == 0) {
          ended_ = true;
          return -1;
        }
        blockLeft_ = len;
      }
      if (in_.pos >= in_.end) {
        ended_ = true;
        return -1;
      }
      acc_ |= uint32_t(*in_.pos++) << bits_;
      bits_ += 8;
      --blockLeft_;
    }
    int code = static_cast<int>(acc_ & ((1u << width) - 1));
    acc_ >>= width;
    bits_ -= width;
    return code;
  }

  // Moves past the rest of the data up to its terminator.
  void SkipRest() {
    if (ended_) return;
    ended_ = true;
    size_t n = blockLeft_ < in_.Left() ? blockLeft_ : in_.Left();
    in_.pos += n;
    blockLeft_ = 0;
    in_.SkipSubBlocks();
  }

 private:
  TGifInput& in_;
  uint32_t acc_ = 0;
  int bits_ = 0;
  size_t blockLeft_ = 0;
  bool ended_ = false;
};

// Places decoded pixels row by row, in the four-pass order when
// interlaced; rows at or past the height and pixels past the last row are
// dropped.
class TPixelWriter {
 public:
  TPixelWriter(TFrame& f)
      : pixels_(f.Pixels.data()),
        mask_(f.Transparent ? f.Mask.data() : nullptr),
        stride_(f.PixelStride()),
        maskStride_(f.MaskStride()),
        width_(f.Width),
        height_(f.Height),
        interlaced_(f.Interlaced),
        transparent_(f.TransparentIndex) {
    row_ = pixels_;
  }

  bool Done() const { return done_; }

  void Put(const uint16_t* values, int count) {
    while (count > 0 && !done_) {
      int n = width_ - x_;
      if (n > count) n = count;
      for (int i = 0; i < n; ++i) row_[x_ + i] = static_cast<uint8_t>(values[i]);
      if (mask_) {
        uint8_t* m = mask_ + y_ * maskStride_;
        for (int i = 0; i < n; ++i)
          if (values[i] == transparent_) m[(x_ + i) >> 3] |= uint8_t(0x80 >> ((x_ + i) & 7));
      }
      values += n;
      count -= n;
      x_ += n;
      if (x_ == width_) NextRow();
    }
  }

 private:
  void NextRow() {
    x_ = 0;
    if (++rows_ >= height_) {
      done_ = true;
      return;
    }
    if (!interlaced_) {
      ++y_;
    } else {
      static const int kStart[4] = {0, 4, 2, 1};
      static const int kStep[4] = {8, 8, 4, 2};
      y_ += kStep[pass_];
      while (y_ >= height_) {
        if (++pass_ >= 4) {
          done_ = true;
          return;
        }
        y_ = kStart[pass_];
      }
    }
    row_ = pixels_ + y_ * stride_;
  }

  uint8_t* pixels_;
  uint8_t* mask_;
  uint8_t* row_;
  int64_t stride_, maskStride_;
  int width_, height_;
  bool interlaced_;
  int transparent_;
  int x_ = 0;
  int64_t y_ = 0;
  int rows_ = 0;
  int pass_ = 0;
  bool done_ = false;
};

}  // namespace

void TFrame::Decode(TGifInput& in) {
  uint8_t codeSize;
  if (!in.Byte(codeSize)) return;
  TBitInput bits(in);
  // Pixels are bytes: a code size outside 1..8 cannot be data of ours, and
  // 2^N would run past the tables.
  if (codeSize < 1 || codeSize > 8) {
    bits.SkipRest();
    return;
  }
  const int clear = 1 << codeSize;
  const int endCode = clear + 1;

  std::vector<uint16_t> prefix(4096, 0), suffix(4096, 0), stack(8192);
  auto reset = [&](int& next, int& width, int& limit) {
    std::fill(prefix.begin(), prefix.end(), 0);
    std::fill(suffix.begin(), suffix.end(), 0);
    for (int i = 0; i < clear; ++i) suffix[i] = static_cast<uint16_t>(i);
    next = clear + 2;
    width = codeSize + 1;
    limit = 2 * clear;
  };
  int next, width, limit;
  reset(next, width, limit);

  TPixelWriter out(*this);
  int oldCode = -1;  // none: the next code must be a pixel value
  int firstCode = 0;
  uint16_t* const stackEnd = stack.data() + stack.size();
  while (!out.Done()) {
    int code = bits.Code(width);
    if (code < 0) break;
    if (code == clear) {
      reset(next, width, limit);
      oldCode = -1;
      continue;
    }
    if (code == endCode) break;
    if (oldCode < 0) {
      if (code >= clear) break;  // no string to extend: corrupt data
      uint16_t v = static_cast<uint16_t>(code);
      out.Put(&v, 1);
      oldCode = firstCode = code;
      continue;
    }
    if (code > next) break;  // not defined yet: corrupt data
    const int inCode = code;
    // The string is pushed last character first, from the top of the stack.
    uint16_t* sp = stackEnd;
    if (code == next) {
      *--sp = static_cast<uint16_t>(firstCode);
      code = oldCode;
    }
    while (code >= clear && sp > stack.data()) {
      *--sp = suffix[code];
      code = prefix[code];
    }
    if (sp == stack.data()) break;  // a chain no valid table can hold
    firstCode = suffix[code];
    *--sp = static_cast<uint16_t>(firstCode);
    if (next < 4096) {
      prefix[next] = static_cast<uint16_t>(oldCode);
      suffix[next] = static_cast<uint16_t>(firstCode);
      ++next;
      if (next >= limit && limit < 4096) {
        limit *= 2;
        ++width;
      }
    }
    oldCode = inCode;
    out.Put(sp, static_cast<int>(stackEnd - sp));
  }
  bits.SkipRest();
}

void FlipRows(uint8_t* data, int64_t stride, int64_t height) {
  std::vector<uint8_t> scratch(static_cast<size_t>(stride));
  for (int64_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = data + top * stride;
    uint8_t* b = data + bottom * stride;
    std::memcpy(scratch.data(), a, static_cast<size_t>(stride));
    std::memcpy(a, b, static_cast<size_t>(stride));
    std::memcpy(b, scratch.data(), static_cast<size_t>(stride));
  }
}

}  // namespace htmlgif

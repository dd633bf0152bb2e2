// Helpers of the GIF reader's tests: reading bytes, rewriting a file's
// sub-blocks, and building small files code by code.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gifimage.h"

namespace giftest {

using Bytes = std::vector<uint8_t>;

// Reads 'data' in full (or structure only); nullptr when the read fails.
inline std::unique_ptr<TGIFImage> Decode(const Bytes& data, bool structureOnly = false) {
  TMemoryStream s;
  if (!data.empty()) s.Write(data.data(), static_cast<int>(data.size()));
  s.SetPosition(0);
  auto image = std::make_unique<TGIFImage>();
  try {
    if (structureOnly)
      image->LoadStructureFromStream(&s);
    else
      image->LoadFromStream(&s);
  } catch (const EGIFError&) {
    return nullptr;
  }
  return image;
}

// The same file with every image's LZW data cut into sub-blocks of
// 'size' bytes; other blocks are copied as they stand.  Expects a
// well-formed file.
inline Bytes Reblock(const Bytes& in, size_t size) {
  size_t p = 13;
  if (in[10] & 0x80) p += size_t(3) << ((in[10] & 7) + 1);
  Bytes out(in.begin(), in.begin() + static_cast<long>(p));
  auto copySubBlocks = [&]() {
    for (;;) {
      uint8_t len = in[p];
      out.insert(out.end(), in.begin() + static_cast<long>(p), in.begin() + static_cast<long>(p + 1 + len));
      p += 1 + len;
      if (len == 0) return;
    }
  };
  while (p < in.size()) {
    uint8_t label = in[p];
    if (label == 0x21) {
      out.push_back(in[p]);
      out.push_back(in[p + 1]);
      p += 2;
      copySubBlocks();
    } else if (label == 0x2C) {
      size_t head = 10;
      if (in[p + 9] & 0x80) head += size_t(3) << ((in[p + 9] & 7) + 1);
      out.insert(out.end(), in.begin() + static_cast<long>(p), in.begin() + static_cast<long>(p + head + 1));
      p += head + 1;  // descriptor, table and code-size byte
      Bytes data;
      for (;;) {
        uint8_t len = in[p++];
        if (len == 0) break;
        data.insert(data.end(), in.begin() + static_cast<long>(p), in.begin() + static_cast<long>(p + len));
        p += len;
      }
      for (size_t i = 0; i < data.size(); i += size) {
        size_t n = std::min(size, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
      }
      out.push_back(0);
    } else {
      out.insert(out.end(), in.begin() + static_cast<long>(p), in.end());
      break;
    }
  }
  return out;
}

// Packs codes least-significant bit first, each with its own width.
class CodePacker {
 public:
  void Put(int code, int width) {
    acc_ |= uint64_t(code) << bits_;
    bits_ += width;
    while (bits_ >= 8) {
      data_.push_back(static_cast<uint8_t>(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
  }
  Bytes Finish() {
    if (bits_ > 0) data_.push_back(static_cast<uint8_t>(acc_));
    bits_ = 0;
    acc_ = 0;
    return data_;
  }

 private:
  Bytes data_;
  uint64_t acc_ = 0;
  int bits_ = 0;
};

// Codes of an encoder that never clears after the first code: it tracks
// the decoder's next free code and code width.
class Encoder {
 public:
  explicit Encoder(int codeSize) : codeSize_(codeSize), clear_(1 << codeSize) {
    next_ = clear_ + 2;
    width_ = codeSize + 1;
    limit_ = 2 * clear_;
    p_.Put(clear_, width_);
  }
  Encoder& Code(int code) {
    p_.Put(code, width_);
    if (first_) {
      first_ = false;
    } else if (next_ < 4096) {
      if (++next_ >= limit_ && limit_ < 4096) {
        limit_ *= 2;
        ++width_;
      }
    }
    return *this;
  }
  int Next() const { return next_; }
  Bytes End() {
    p_.Put(clear_ + 1, width_);
    return p_.Finish();
  }

 private:
  int codeSize_, clear_, next_, width_, limit_;
  bool first_ = true;
  CodePacker p_;
};

// A GIF89a file built block by block.
class GifBuilder {
 public:
  // A screen with a global table of 2^bits entries, colour i = (i, i, i).
  GifBuilder(int width, int height, int bits = 2) {
    Append("GIF89a");
    Word(width);
    Word(height);
    data_.push_back(static_cast<uint8_t>(0x80 | 0x70 | (bits - 1)));
    data_.push_back(0);
    data_.push_back(0);
    for (int i = 0; i < (1 << bits); ++i)
      for (int c = 0; c < 3; ++c) data_.push_back(static_cast<uint8_t>(i));
  }
  GifBuilder& Control(int disposal, int delay, bool transparent, int index) {
    Bytes b = {0x21, 0xF9, 4, static_cast<uint8_t>((disposal << 2) | (transparent ? 1 : 0)),
               static_cast<uint8_t>(delay & 0xFF), static_cast<uint8_t>(delay >> 8), static_cast<uint8_t>(index), 0};
    data_.insert(data_.end(), b.begin(), b.end());
    return *this;
  }
  GifBuilder& Loop(int count) {
    Bytes b = {0x21, 0xFF, 11};
    data_.insert(data_.end(), b.begin(), b.end());
    Append("NETSCAPE2.0");
    Bytes c = {3, 1, static_cast<uint8_t>(count & 0xFF), static_cast<uint8_t>(count >> 8), 0};
    data_.insert(data_.end(), c.begin(), c.end());
    return *this;
  }
  // An image descriptor, the code-size byte and 'lzw' in sub-blocks of
  // up to 255 bytes.
  GifBuilder& Image(int left, int top, int width, int height, int codeSize, const Bytes& lzw,
                    bool interlaced = false) {
    data_.push_back(0x2C);
    Word(left);
    Word(top);
    Word(width);
    Word(height);
    data_.push_back(interlaced ? 0x40 : 0);
    data_.push_back(static_cast<uint8_t>(codeSize));
    for (size_t i = 0; i < lzw.size(); i += 255) {
      size_t n = std::min<size_t>(255, lzw.size() - i);
      data_.push_back(static_cast<uint8_t>(n));
      data_.insert(data_.end(), lzw.begin() + static_cast<long>(i), lzw.begin() + static_cast<long>(i + n));
    }
    data_.push_back(0);
    return *this;
  }
  GifBuilder& Trailer() {
    data_.push_back(0x3B);
    return *this;
  }
  const Bytes& Data() const { return data_; }

 private:
  void Append(const char* s) {
    while (*s) data_.push_back(static_cast<uint8_t>(*s++));
  }
  void Word(int v) {
    data_.push_back(static_cast<uint8_t>(v & 0xFF));
    data_.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  }
  Bytes data_;
};

// The rows of a frame's pixels, top row first, without padding.
inline Bytes Indices(const htmlgif::TFrame& f) {
  Bytes out;
  for (int y = 0; y < f.Height; ++y)
    out.insert(out.end(), f.Pixels.begin() + static_cast<long>(y * f.PixelStride()),
               f.Pixels.begin() + static_cast<long>(y * f.PixelStride() + f.Width));
  return out;
}

}  // namespace giftest

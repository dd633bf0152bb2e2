#include "htmlutil.h"

#include <cstring>

namespace htmlun2 {

void ReplaceChar(char from, char to, std::string& s) {
  for (char& c : s)
    if (c == from) c = to;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Links escape blanks and other characters as "%XX"; the file on disk has
// the characters themselves. A "%" not followed by two hex digits is kept,
// and so is "%00", which would cut the name short.
std::string DecodeEscapes(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0 && (hi | lo) != 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

}  // namespace

std::string HTMLToDos(const std::string& name) {
  if (name.find('/') == std::string::npos) return DecodeEscapes(name);
  std::string s = LowerCase(name);
  size_t at = s.find("file:///");
  if (at != std::string::npos) {
    s.erase(at, 8);
  } else if ((at = s.find("file://")) != std::string::npos) {
    s.erase(at, 7);
  }
  ReplaceChar('|', ':', s);
  ReplaceChar('/', '\\', s);
  return DecodeEscapes(s);
}

int GetImageKind(const uint8_t* b, size_t n) {
  if (n >= 4 && std::memcmp(b, "GIF8", 4) == 0) return n >= 5 && b[4] == '9' ? ikGif89 : ikGif87;
  if (n >= 2 && b[0] == 'B' && b[1] == 'M') return ikBmp;
  if (n >= 4 && b[0] == 0x89 && b[1] == 0x50 && b[2] == 0x4E && b[3] == 0x47) return ikPng;
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xD8) return ikJpeg;
  return ikNone;
}

int GetFileImageKind(const std::string& name) {
  uint8_t head[11];
  int got;
  try {
    TFileStream f(name, fmOpenRead | fmShareDenyWrite);
    got = f.Read(head, sizeof head);
  } catch (const Exception&) {
    return ikNone;
  }
  return GetImageKind(head, size_t(got > 0 ? got : 0));
}

bool GifTransparentColor(const uint8_t* b, size_t n, uint32_t& color) {
  if (n < 13 || GetImageKind(b, n) != ikGif89) return false;
  const uint8_t flags = b[10];
  size_t entries = 0, at = 13;
  if (flags & 0x80) {
    entries = size_t(2) << (flags & 7);
    at += 3 * entries;
  }
  // Introducer, label, block size, packed byte, delay (2), index.
  if (at + 7 > n || b[at] != 0x21 || b[at + 1] != 0xF9 || !(b[at + 3] & 1)) return false;
  size_t index = b[at + 6];
  if (index >= entries) return false;
  const uint8_t* rgb = b + 13 + 3 * index;
  color = uint32_t(rgb[0]) | (uint32_t(rgb[1]) << 8) | (uint32_t(rgb[2]) << 16);
  return true;
}

bool GetGifTransparentColor(TStream* stream, uint32_t& color) {
  uint8_t head[790];
  int64_t pos = stream->Position();
  int got = stream->Read(head, sizeof head);
  stream->SetPosition(pos);
  return got > 0 && GifTransparentColor(head, size_t(got), color);
}

}  // namespace htmlun2

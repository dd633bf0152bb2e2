// The viewer's small shared routines: integer and string helpers, the link
// target record, the selection text sink, and image-kind detection with the
// GIF transparent-colour probe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "classes.h"

namespace htmlun2 {

inline int IntMin(int a, int b) { return a < b ? a : b; }
inline int IntMax(int a, int b) { return a > b ? a : b; }
void ReplaceChar(char from, char to, std::string& s);
// A URL-form name ("file:///c|/help/a.htm") as a file name ("c:\help\a.htm");
// names without "/" are returned as they are.
std::string HTMLToDos(const std::string& name);
// Drops leading and trailing characters at or below a space.
using ::Trim;

class TUrlTarget : public TObject {
 public:
  std::string URL;
  std::string Target;
  void Assign(const std::string& url, const std::string& target) {
    URL = url;
    Target = target;
  }
  void Clear() {
    URL.clear();
    Target.clear();
  }
};

// Receives the text of a selection; this one only counts its characters.
class SelTextCount : public TObject {
 public:
  virtual void AddText(const char* p, int size) { count_ += size; }
  // The text followed by a line end.
  void AddTextCR(const char* p, int size) {
    AddText(p, size);
    AddText("\r\n", 2);
  }
  int Count() const { return count_; }

 protected:
  int count_ = 0;
};

enum TImageKind { ikNone = 0, ikBmp = 1, ikGif87 = 2, ikGif89 = 3, ikPng = 4, ikJpeg = 5 };

// The kind of picture a file starting with these bytes holds.
int GetImageKind(const uint8_t* buffer, size_t size);
// The same for a file, read shared (others may read, not write); 0 for a
// file that cannot be opened.
int GetFileImageKind(const std::string& name);

// The transparent colour (0x00BBGGRR) of a GIF89 file whose global colour
// table is followed at once by a graphic control block with a transparent
// index inside that table.  Only the bytes given are looked at.
bool GifTransparentColor(const uint8_t* buffer, size_t size, uint32_t& color);
// The same over the first 790 bytes of a stream; its position is restored.
bool GetGifTransparentColor(TStream* stream, uint32_t& color);

}  // namespace htmlun2

// Help pages and anything the viewer is pointed at are outside input: every
// byte sequence must scan to the end or raise the scanner's own error, with
// tokens that fit their short strings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "classes.h"
#include "htmlscan.h"
#include "htmlutil.h"

using namespace readhtml;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the modes and the source; the rest is the page.
  const unsigned mode = data[0];
  const char* text = reinterpret_cast<const char*>(data + 1);
  const size_t len = size - 1;
  TMemoryStream stream;
  if (mode & 8) {
    if (len) stream.WriteBuffer(text, static_cast<int>(len));
    stream.SetPosition(0);
    UseStream(&stream);
  } else {
    UseBuffer(text, text + len);
  }
  ResetScanner();
  InPre = (mode & 2) != 0;
  NoComment = (mode & 4) != 0;
  bool raw = (mode & 1) != 0;
  FreeFontStack();
  PushNewFont();
  htmlun2::TAttributeList attributes;
  Attributes = &attributes;
  TColor color = 0;
  try {
    GetCh();
    // Every token takes at least one character, so this ends.
    for (size_t n = 0; n <= 2 * len + 2; ++n) {
      if (raw) NextPre();
      else Next();
      Check(LCToken.size() <= static_cast<size_t>(kMaxToken));
      Check(HeadingLevel >= 0 && HeadingLevel <= 6);
      if (Sy == EofSy) break;
      Check(n < 2 * len + 2);
      if (Sy == TextSy) ColorFromString(LCToken, color);
      if (Sy < kTagCount && kTags[Sy].KeepsAttributes)
        for (int i = 0; i < attributes.Count(); ++i) {
          htmlun2::TAttribute* a = attributes.Attr(i);
          Check(a->Which >= HrefAttr && a->Which <= UnknownAttr);
          ColorFromString(a->Name, color);
          // A link's value becomes a file name: decoding its escapes and
          // separators never lengthens it.
          Check(htmlun2::HTMLToDos(a->Name).size() <= a->Name.size());
        }
      // A parser moves into raw text after TEXTAREA and back at its end.
      if (mode & 16) {
        if (Sy == TextAreaSy) raw = NoComment = true;
        if (Sy == TextAreaCloseSy) raw = NoComment = false;
      }
      if (Sy < kTagCount) PushNewFont();
      else if (Sy < kTagCount + kTagsWithEnd) PopFont();
    }
  } catch (const EParseError&) {
  }
  ColorFromString(std::string(text, len), color);
  Check(htmlun2::HTMLToDos(std::string(text, len)).size() <= len);
  Check(color <= 0xFFFFFF);
  Attributes = nullptr;
  FreeFontStack();
  return 0;
}

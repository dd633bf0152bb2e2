#include "headerline.h"

#include <vector>

namespace {

const size_t kFoldAt = 76;
// A word this long cannot be folded; split into encoded words it can.
const size_t kLongestPlainWord = 900;

bool IsPlain(unsigned char c) { return c >= 32 && c < 127; }

bool AllPlain(const std::string& s) {
  for (char c : s)
    if (!IsPlain(static_cast<unsigned char>(c))) return false;
  return true;
}

// The "Q" form of one byte, safe in every place an encoded word may
// stand (phrases and comments alike).
std::string QByte(unsigned char c) {
  static const char hex[] = "0123456789ABCDEF";
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' || c == '*' ||
      c == '+' || c == '-' || c == '/')
    return std::string(1, static_cast<char>(c));
  if (c == ' ') return "_";
  return std::string{'=', hex[c >> 4], hex[c & 15]};
}

// The text as encoded words of at most 75 characters each. A multi-byte
// UTF-8 character is never split between two words.
std::vector<std::string> EncodedWords(const std::string& text, const std::string& charset) {
  const std::string head = "=?" + charset + "?Q?", tail = "?=";
  const size_t room = 75 > head.size() + tail.size() + 12 ? 75 - head.size() - tail.size() : 12;
  const bool utf8 = charset == "utf-8";
  std::vector<std::string> words;
  std::string current;
  for (size_t i = 0; i < text.size();) {
    size_t end = i + 1;
    if (utf8)
      while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    std::string piece;
    for (size_t k = i; k < end; ++k) piece += QByte(static_cast<unsigned char>(text[k]));
    if (!current.empty() && current.size() + piece.size() > room) {
      words.push_back(head + current + tail);
      current.clear();
    }
    current += piece;
    i = end;
  }
  if (!current.empty() || words.empty()) words.push_back(head + current + tail);
  return words;
}

struct Word {
  std::string lead, core, trail;
  bool encode = false;
};

}  // namespace

std::string EncodeHeaderLine(const std::string& line, const std::string& charset) {
  if (AllPlain(line) && line.size() <= kFoldAt + 2) return line;
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return line;
  const std::string name = line.substr(0, colon + 1);

  // The value in words; punctuation around a word (a comment's or a quoted
  // name's) stays outside its encoded form, where it keeps its meaning.
  std::vector<Word> words;
  const std::string value = line.substr(colon + 1);
  size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
    if (i >= value.size()) break;
    size_t end = i;
    while (end < value.size() && value[end] != ' ' && value[end] != '\t') ++end;
    std::string text = value.substr(i, end - i);
    i = end;
    Word w;
    size_t a = 0, b = text.size();
    while (a < b && (text[a] == '(' || text[a] == '"')) ++a;
    while (b > a && (text[b - 1] == ')' || text[b - 1] == '"' || text[b - 1] == ',')) --b;
    w.lead = text.substr(0, a);
    w.core = text.substr(a, b - a);
    w.trail = text.substr(b);
    w.encode = !AllPlain(w.core) || w.core.size() > kLongestPlainWord;
    words.push_back(w);
  }

  // Blanks between two encoded words vanish when read; one that belongs
  // to the text goes inside the first of them.
  std::vector<std::string> pieces;
  for (size_t k = 0; k < words.size(); ++k) {
    Word& w = words[k];
    if (!w.encode) {
      pieces.push_back(w.lead + w.core + w.trail);
      continue;
    }
    const bool joined = k + 1 < words.size() && words[k + 1].encode && w.trail.empty() && words[k + 1].lead.empty();
    std::vector<std::string> encoded = EncodedWords(w.core + (joined ? " " : ""), charset);
    encoded.front() = w.lead + encoded.front();
    encoded.back() += w.trail;
    for (const std::string& e : encoded) pieces.push_back(e);
  }

  std::string out = name;
  size_t lineLength = out.size();
  bool lineHasWord = false;
  for (const std::string& p : pieces) {
    if (lineHasWord && lineLength + 1 + p.size() > kFoldAt) {
      out += "\r\n";
      lineLength = 0;
    }
    out += " " + p;
    lineLength += 1 + p.size();
    lineHasWord = true;
  }
  return out;
}

#include "shelltext.h"

#include <cctype>
#include <cstdio>

namespace shell {

namespace {

bool IsLead(LeadByteTest isLead, unsigned char c) { return isLead && isLead(c); }

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool StartsWithNoCase(const std::string& text, size_t pos, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (pos + i >= text.size()) return false;
    if (std::toupper(static_cast<unsigned char>(text[pos + i])) !=
        std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

const char* const kKeyNames32[] = {"Space", "PgUp", "PgDn", "End", "Home", "Left", "Up", "Right", "Down"};

std::string KeyName(unsigned key) {
  switch (key) {
    case 8: return "BkSp";
    case 9: return "Tab";
    case 13: return "Enter";
    case 27: return "Esc";
    case 45: return "Ins";
    case 46: return "Del";
    default: break;
  }
  if (key >= 32 && key <= 40) return kKeyNames32[key - 32];
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
  if (key >= 96 && key <= 105) return std::string(1, static_cast<char>('0' + key - 96));
  if (key >= 112 && key <= 135) return "F" + std::to_string(key - 111);
  return "#" + std::to_string(key);
}

TShortCutEntry g_table[kShortCutCount] = {
    {52587, 0}, {52588, 0}, {52589, 0}, {52590, 0}, {52591, 0}, {52592, 0}, {52593, 0}};
bool g_tableLoaded = false;

}  // namespace

std::string IncludeTrailingChar(const std::string& text, char ch) {
  if (text.empty() || text.back() == ch) return text;
  return text + ch;
}

std::string TrimRightBlanks(const std::string& text, LeadByteTest isLead) {
  // Walk forwards so that a trail byte is never mistaken for a blank.
  size_t keep = 0, pos = 0;
  while (pos < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    if (IsLead(isLead, c) && pos + 1 < text.size()) {
      pos += 2;
      keep = pos;
    } else {
      ++pos;
      if (c >= 33) keep = pos;
    }
  }
  return text.substr(0, keep);
}

void NextChar(const std::string& text, size_t& pos, std::string& dest, LeadByteTest isLead) {
  if (pos >= text.size()) return;
  dest += text[pos];
  if (IsLead(isLead, static_cast<unsigned char>(text[pos])) && pos + 1 < text.size()) {
    dest += text[pos + 1];
    pos += 2;
  } else {
    ++pos;
  }
}

void SplitMasks(const std::string& text, std::vector<std::string>& list, LeadByteTest isLead) {
  std::string mask;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ';') {
      if (!mask.empty()) list.push_back(mask);
      mask.clear();
      ++pos;
    } else {
      NextChar(text, pos, mask, isLead);
    }
  }
  if (!mask.empty()) list.push_back(mask);
}

std::string ShortCutToText(uint16_t shortcut) {
  std::string s;
  if (shortcut & scShift) s += "Shift+";
  if (shortcut & scCtrl) s += "Ctrl+";
  if (shortcut & scAlt) s += "Alt+";
  return s + KeyName(shortcut & 0x1FFF);
}

uint16_t TextToShortCut(const std::string& text) {
  uint16_t mods = 0;
  size_t pos = 0;
  for (;;) {
    if (StartsWithNoCase(text, pos, "Shift+")) {
      mods |= scShift;
      pos += 6;
    } else if (StartsWithNoCase(text, pos, "Ctrl+")) {
      mods |= scCtrl;
      pos += 5;
    } else if (StartsWithNoCase(text, pos, "^")) {
      mods |= scCtrl;
      pos += 1;
    } else if (StartsWithNoCase(text, pos, "Alt+")) {
      mods |= scAlt;
      pos += 4;
    } else {
      break;
    }
  }
  std::string rest = Upper(text.substr(pos));
  if (rest.empty()) return 0;
  for (unsigned key = 8; key <= 597; ++key)
    if (Upper(KeyName(key)) == rest) return static_cast<uint16_t>(key | mods);
  return 0;
}

void LoadShortCutTable(const std::function<std::string(uint32_t)>& text) {
  if (g_tableLoaded) return;
  for (TShortCutEntry& e : g_table) e.shortcut = TextToShortCut(text(e.id));
  g_tableLoaded = true;
}

const TShortCutEntry* ShortCutTable() { return g_table; }

uint64_t SizeInKilobytes(uint64_t bytes) { return bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0); }

std::string FormatThousands(uint64_t value, const std::string& separator) {
  std::string digits = std::to_string(value);
  std::string out;
  size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string NewFolderName(const std::string& base, int n) {
  if (n <= 1) return base;
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, " (%d)", n);
  return base + suffix;
}

uint32_t MakeNewFolderNamed(const std::string& parent, const std::string& base,
                            const std::function<uint32_t(const std::string&)>& createDir,
                            std::string* name) {
  for (int n = 1; n <= kNewFolderTries; ++n) {
    std::string candidate = NewFolderName(base, n);
    uint32_t err = createDir(parent + candidate);
    if (err == 0) {
      if (name) *name = candidate;
      return 0;
    }
    if (err != kErrorAlreadyExists) {
      if (name) *name = candidate;
      return err;
    }
  }
  if (name) *name = base;
  return kErrorAlreadyExists;
}

}  // namespace shell

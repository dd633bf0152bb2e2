// Text helpers of the shell controls: trailing characters and blanks, DBCS
// character steps, file masks, keyboard shortcut names, size texts and the
// naming rule of new folders.  Portable: the code page's lead-byte test and
// the locale's separator are parameters.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace shell {

// Whether a byte starts a two-byte character in the code page in use.  Null
// means a single-byte code page.
typedef bool (*LeadByteTest)(unsigned char);

// The text with 'ch' appended unless it is empty or already ends with 'ch'.
std::string IncludeTrailingChar(const std::string& text, char ch);
// Removes trailing characters below 33; a lead byte and its trail byte are
// one character, kept whatever the trail byte is.
std::string TrimRightBlanks(const std::string& text, LeadByteTest isLead = nullptr);
// Appends the character at 'pos' to 'dest' and steps past it (two bytes for
// a lead byte, except a lead byte that ends the text: it is taken alone).
void NextChar(const std::string& text, size_t& pos, std::string& dest, LeadByteTest isLead = nullptr);
// Splits at ';' and adds each non-empty mask.
void SplitMasks(const std::string& text, std::vector<std::string>& list, LeadByteTest isLead = nullptr);

// Keyboard shortcuts: key code in the low 13 bits, Shift 0x2000, Ctrl 0x4000,
// Alt 0x8000.
enum : uint16_t { scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000 };
std::string ShortCutToText(uint16_t shortcut);
// 0 when the text names no key.
uint16_t TextToShortCut(const std::string& text);

// The table of the menu shortcuts {text id, shortcut}, 52587-52593.
struct TShortCutEntry {
  uint32_t id;
  uint16_t shortcut;
};
enum { kShortCutCount = 7 };
// Fills the shortcut column once from the texts of the ids.
void LoadShortCutTable(const std::function<std::string(uint32_t)>& text);
const TShortCutEntry* ShortCutTable();

// The number of kilobytes, rounded up (any fraction is one more), with the
// separator between groups of three digits.
uint64_t SizeInKilobytes(uint64_t bytes);
std::string FormatThousands(uint64_t value, const std::string& separator);

// The new-folder naming rule: 'base' for n = 1, "base (n)" above.
std::string NewFolderName(const std::string& base, int n);
enum { kNewFolderTries = 50, kErrorAlreadyExists = 183 };
// Tries the names for n = 1..50 under 'parent' (already ending with its
// separator) through 'createDir', which answers 0 on success, 183 when the
// name exists or another error code.  Answers 0 with the name made, or the
// error that stopped it (183 when all 50 names exist).
uint32_t MakeNewFolderNamed(const std::string& parent, const std::string& base,
                            const std::function<uint32_t(const std::string&)>& createDir,
                            std::string* name);

}  // namespace shell

#include "languages.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "kitroutines.h"
#include "sysutils.h"

namespace {

struct LanguageRow {
  TQnlwLanguageInfo info;
  int charset;
  const char* faceName;  // nullptr: the language has no font of its own
  int minSize;
};

// Face names of the Far-East fonts are kept as bytes of their own code
// pages; the font mapper matches them only in that form.
const LanguageRow kLanguages[QnlwLanguageCount] = {
    {{"BM_LANG_SIMPCHINESE", "qnliChineseSimplified.txt"}, 134, "\xB7\x73\xB2\xD3\xA9\xFA\xC5", 9},
    {{"BM_LANG_CZECH", "qnliCzech.txt"}, 238, "Arial", 8},
    {{"BM_LANG_DANISH", "qnliDanish.txt"}, 0, "Arial", 8},
    {{"BM_LANG_ENGLISH", "qnliEnglish.txt"}, 0, "Arial", 8},
    {{"BM_LANG_FRENCH", "qnliFrench.txt"}, 0, "Arial", 8},
    {{"BM_LANG_GERMAN", "qnliGerman.txt"}, 0, "MS Sans Serif", 8},
    {{"BM_LANG_GREEK", "qnliGreek.txt"}, 0, "SGreek", 8},
    {{"BM_LANG_HEBREW", "qnliHebrew.txt"}, 177, nullptr, 0},
    {{"BM_LANG_ITALIAN", "qnliItalian.txt"}, 0, "Arial", 8},
    {{"BM_LANG_JAPANESE", "qnliJapanese.txt"}, 128,
     "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E", 9},
    {{"BM_LANG_KOREAN", "qnliKorean.txt"}, 129, "\xB9\xD9\xC5\xC1", 9},
    {{"BM_LANG_POLISH", "qnliPolish.txt"}, 238, "Arial", 8},
    {{"BM_LANG_PORTUGESE", "qnliPortugese.txt"}, 238, "Arial", 8},
    {{"BM_LANG_RUSSIAN", "qnliRussian.txt"}, 204, "Arial", 8},
    {{"BM_LANG_SPANISH", "qnliSpanish.txt"}, 0, "Arial", 8},
    {{"", ""}, -1, nullptr, 0},
    {{"BM_LANG_VIETNAMESE", "qnliVietnamese.txt"}, 163, "Arial", 8},
};

const LanguageRow& RowOf(TQnlwLanguage language) {
  if (static_cast<int>(language) >= QnlwLanguageCount) throw Exception("Unrecognized language");
  return kLanguages[language];
}

const LanguageRow& FontRowOf(TQnlwLanguage language) {
  const LanguageRow& row = RowOf(language);
  if (row.faceName == nullptr) throw Exception("Unrecognized language");
  return row;
}

bool ParseGLID(const std::string& text, int& value) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i == text.size()) return false;
  for (size_t j = i; j < text.size(); ++j)
    if (text[j] < '0' || text[j] > '9') return false;
  errno = 0;
  long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno != 0 || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

[[noreturn]] void FormatError(int line, const std::string& text) {
  throw Exception(Format("The %d'th string (%s) does not have the proper format of GLID;Text",
                         {line, text}));
}

[[noreturn]] void GLIDError(int line, const std::string& text) {
  throw Exception(
      Format("The %d'th string (%s) does not have the proper format of GLID;Text or .GLID;",
             {line, text}));
}

}  // namespace

const TQnlwLanguageInfo& QnlwLanguageInfo(TQnlwLanguage language) { return RowOf(language).info; }

int LanguageCharset(TQnlwLanguage language) {
  const LanguageRow& row = RowOf(language);
  if (row.charset < 0) throw Exception("Unrecognized language");
  return row.charset;
}

std::string LanguageFaceName(TQnlwLanguage language) { return FontRowOf(language).faceName; }

int LanguageMinFontSize(TQnlwLanguage language) { return FontRowOf(language).minSize; }

TQnlwLanguage LanguageFromLangId(unsigned langId) {
  switch (langId & 0x3FF) {
    case 4: return qlChineseSimplified;
    case 5: return qlCzech;
    case 6: return qlDanish;
    case 7: return qlGerman;
    case 8: return qlGreek;
    case 10: return qlSpanish;
    case 12: return qlFrench;
    case 13: return qlHebrew;
    case 16: return qlItalian;
    case 17: return qlJapanese;
    case 18: return qlKorean;
    case 21: return qlPolish;
    case 22: return qlPortugese;
    case 25: return qlRussian;
    case 42: return qlVietnamese;
    default: return qlEnglish;
  }
}

TLanguageString::TLanguageString(int glid, TLanguage* language, int line, const std::string& text)
    : TLanguageElement(glid, language, line), Text(text.substr(0, 255)) {}

void ParseLanguageLines(const std::vector<std::string>& lines, TLanguage* owner,
                        TLanguageElements& into) {
  into.Clear();
  try {
    bool inMemo = false;
    int memoGLID = 0, memoLine = 0;
    std::vector<std::string> memoLines;
    for (size_t n = 0; n < lines.size(); ++n) {
      const int lineNo = static_cast<int>(n);
      std::string line = TrimBlanks(lines[n]);
      if (line.empty()) continue;
      if (line == "#") {
        if (!inMemo)
          throw Exception(Format("Found the end of memo marker # at line %d. Was not in a memo however",
                                 {lineNo}));
        into.Memos.emplace_back(new TLanguageMemo(memoGLID, owner, memoLine, memoLines));
        inMemo = false;
        continue;
      }
      if (line[0] == '*') continue;
      if (inMemo) {
        memoLines.push_back(line);
        continue;
      }
      if (line[0] == '#') {
        std::string glidText = GetItem(line, 1, ';').substr(1);
        if (glidText.empty()) FormatError(lineNo, line);
        if (!ParseGLID(glidText, memoGLID)) GLIDError(lineNo, line);
        memoLine = lineNo;
        memoLines.clear();
        inMemo = true;
        continue;
      }
      std::string glidText = GetItem(line, 1, ';');
      std::string text = GetItem(line, 2, ';');
      if (glidText.empty() || TrimBlanks(text).empty()) FormatError(lineNo, line);
      int glid = 0;
      if (!ParseGLID(glidText, glid)) GLIDError(lineNo, line);
      into.Strings.emplace_back(new TLanguageString(glid, owner, lineNo, text));
    }
    // A memo still open at the end is dropped: the file was cut short.
  } catch (...) {
    into.Clear();
    throw;
  }
}

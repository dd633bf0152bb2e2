// The languages the installer can speak, and the line format of their texts.
#pragma once

#include <memory>
#include <string>
#include <vector>

enum TQnlwLanguage : unsigned char {
  qlChineseSimplified = 0,
  qlCzech,
  qlDanish,
  qlEnglish,
  qlFrench,
  qlGerman,
  qlGreek,
  qlHebrew,
  qlItalian,
  qlJapanese,
  qlKorean,
  qlPolish,
  qlPortugese,
  qlRussian,
  qlSpanish,
  qlUser,
  qlVietnamese
};

const int QnlwLanguageCount = 17;

struct TQnlwLanguageInfo {
  const char* Ident;     // "" for qlUser
  const char* FileName;  // "" for qlUser
};

// Identifier and file name of a language; raises for a value outside the table.
const TQnlwLanguageInfo& QnlwLanguageInfo(TQnlwLanguage language);

// Font traits of a language.  Hebrew and qlUser have none and raise
// "Unrecognized language", as does any value outside the table.
int LanguageCharset(TQnlwLanguage language);
std::string LanguageFaceName(TQnlwLanguage language);
int LanguageMinFontSize(TQnlwLanguage language);

// The installer language for a Windows language identifier (its primary part
// decides); English for every language the installer has no texts for.
TQnlwLanguage LanguageFromLangId(unsigned langId);

class TLanguage;

class TLanguageElement {
 public:
  TLanguageElement(int glid, TLanguage* language, int line)
      : GLID(glid), Language(language), Line(line) {}
  virtual ~TLanguageElement() = default;
  int GLID;
  TLanguage* Language;
  int Line;
};

class TLanguageString : public TLanguageElement {
 public:
  TLanguageString(int glid, TLanguage* language, int line, const std::string& text);
  std::string Text;  // at most 255 characters
};

class TLanguageMemo : public TLanguageElement {
 public:
  TLanguageMemo(int glid, TLanguage* language, int line, std::vector<std::string> lines)
      : TLanguageElement(glid, language, line), Lines(std::move(lines)) {}
  std::vector<std::string> Lines;
};

struct TLanguageElements {
  std::vector<std::unique_ptr<TLanguageString>> Strings;
  std::vector<std::unique_ptr<TLanguageMemo>> Memos;
  void Clear() {
    Strings.clear();
    Memos.clear();
  }
};

// Parses the lines of a language text into elements.  On a malformed line
// raises Exception with the line's number and leaves 'into' empty.
void ParseLanguageLines(const std::vector<std::string>& lines, TLanguage* owner,
                        TLanguageElements& into);

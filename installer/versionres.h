// Version resources of executable files, and the rule-driven decision
// whether an installed file is replaced by the one being installed.
#pragma once

#include <string>

#include "classes.h"
#include "sysutils.h"

enum TVersionLanguage {
  lnArabic, lnBulgarian, lnCatalan, lnTraditionalChinese, lnCzech, lnDanish, lnGerman,
  lnGreek, lnUSEnglish, lnCastilianSpanish, lnFinnish, lnFrench, lnHebrew, lnHungarian,
  lnIcelandic, lnItalian, lnJapanese, lnKorean, lnDutch, lnNorwegianBokmal, lnPolish,
  lnBrazilianPortuguese, lnRhaetoRomanic, lnRomanian, lnRussian, lnCroatoSerbian, lnSlovak,
  lnAlbanian, lnSwedish, lnThai, lnTurkish, lnUrdu, lnBahasa,
  lnSimplifiedChinese, lnSwissGerman, lnUKEnglish, lnMexicanSpanish, lnBelgianFrench,
  lnSwissItalian, lnBelgianDutch, lnNorwegianNynorsk, lnPortuguese, lnSerboCroatian,
  lnCanadianFrench, lnSwissFrench
};
const int VersionLanguageCount = 45;

enum TCharacterSet {
  csASCII, csJapan, csKorea, csTaiwan, csUnicode, csLatin2, csCyrillic, csMultilingual,
  csGreek, csTurkish, csHebrew, csArabic
};
const int CharacterSetCount = 12;

// The identifiers used in a version resource's string-table key; both raise
// Exception with an empty message for a value outside the table.
unsigned VersionLanguageId(TVersionLanguage language);
unsigned CharacterSetCodePage(TCharacterSet charset);

enum TOverwriteType { owAlways = 0, owNever = 1, owVersion = 2, owDate = 3, owVersionDate = 4 };

// Results of the overwrite decisions.
const unsigned char odUndecided = 0;  // the caller reports an error
const unsigned char odSame = 1;       // nothing to copy
const unsigned char odReplace = 2;
const unsigned char odKeep = 3;

class TVersionInfo : public TPersistent {
 public:
  std::string Comment, CompanyName, FileDescription, FileVersion, InternalName,
      LegalCopyright, LegalTradeMarks, OriginalFileName, PrivateBuild, ProductName,
      ProductVersion, SpecialBuild, FileOS, FileType, FileSubType;
  void Clear();
  void Assign(TPersistent* source) override;
};

// The fixed-part fields of a version resource turned into their texts.
std::string FileOSText(uint32_t os);
std::string FileTypeText(uint32_t type);
std::string FileSubTypeText(uint32_t type, uint32_t subtype);
std::string VersionText(uint32_t ms, uint32_t ls);

class TVersionResource : public TComponent {
 public:
  explicit TVersionResource(TComponent* owner);
  ~TVersionResource() override;

  const std::string& FileName() const { return fFileName; }
  void SetFileName(const std::string& value);
  TVersionLanguage Language() const { return fLanguage; }
  void SetLanguage(TVersionLanguage value);
  TCharacterSet CharacterSet() const { return fCharacterSet; }
  void SetCharacterSet(TCharacterSet value);
  TVersionInfo* VersionInfo() { return &fVersionInfo; }

  // Fills VersionInfo from FileName; a file without a resource leaves it empty.
  void Read();

 private:
  std::string fFileName;
  TVersionLanguage fLanguage = lnUSEnglish;
  TCharacterSet fCharacterSet = csMultilingual;
  TVersionInfo fVersionInfo;
};

// A string entry of the file's version resource by name, looked up in every
// translation the resource lists; false when no table holds it.
bool FindVersionString(const std::string& fileName, const std::string& name, std::string& value);

// The shared reader used by the decisions and the archive.
TVersionResource* SharedVersionResource();

// 0 equal, 1 a is newer, 2 b is newer.
int CompareVersions(const std::string& a, const std::string& b);

unsigned char DecideOverwrite(const std::string& archivedVersion, const std::string& target,
                              TOverwriteType rule, TDateTime archivedDate);
unsigned char DecideOverwriteFiles(const std::string& source, const std::string& target,
                                   TOverwriteType rule);

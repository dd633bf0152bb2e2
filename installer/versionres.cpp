#include "versionres.h"

#include <memory>
#include <vector>

#include "filetime.h"
#include "versionres_sys.h"

namespace {

const unsigned kExtraLanguageIds[VersionLanguageCount - 33] = {
    0x804, 0x807, 0x809, 0x80A, 0x80C, 0x810, 0x813, 0x814, 0x816, 0x81A, 0xC0C, 0x100C};

const unsigned kCodePages[CharacterSetCount] = {0,    932,  949,  950,  1200, 1250,
                                                1251, 1252, 1253, 1254, 1255, 1256};

std::string Hex4(unsigned value) { return IntToHex(value, 4); }

}  // namespace

unsigned VersionLanguageId(TVersionLanguage language) {
  int v = static_cast<int>(language);
  if (v < 0 || v >= VersionLanguageCount) throw Exception("");
  return v < 33 ? 0x401 + v : kExtraLanguageIds[v - 33];
}

unsigned CharacterSetCodePage(TCharacterSet charset) {
  int v = static_cast<int>(charset);
  if (v < 0 || v >= CharacterSetCount) throw Exception("");
  return kCodePages[v];
}

void TVersionInfo::Clear() {
  for (std::string* s : {&Comment, &CompanyName, &FileDescription, &FileVersion, &InternalName,
                         &LegalCopyright, &LegalTradeMarks, &OriginalFileName, &PrivateBuild,
                         &ProductName, &ProductVersion, &SpecialBuild, &FileOS, &FileType,
                         &FileSubType})
    s->clear();
}

void TVersionInfo::Assign(TPersistent* source) {
  TVersionInfo* other = dynamic_cast<TVersionInfo*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  Comment = other->Comment;
  CompanyName = other->CompanyName;
  FileDescription = other->FileDescription;
  FileVersion = other->FileVersion;
  InternalName = other->InternalName;
  LegalCopyright = other->LegalCopyright;
  LegalTradeMarks = other->LegalTradeMarks;
  OriginalFileName = other->OriginalFileName;
  PrivateBuild = other->PrivateBuild;
  ProductName = other->ProductName;
  ProductVersion = other->ProductVersion;
  SpecialBuild = other->SpecialBuild;
  FileOS = other->FileOS;
  FileType = other->FileType;
  FileSubType = other->FileSubType;
}

std::string VersionText(uint32_t ms, uint32_t ls) {
  return IntToStr(ms >> 16) + "." + IntToStr(ms & 0xFFFF) + "." + IntToStr(ls >> 16) + "." +
         IntToStr(ls & 0xFFFF);
}

std::string FileOSText(uint32_t os) {
  switch (os) {
    case 1: return "Windows 3.0 or later";
    case 2: return "16 bit OS/2 Presentation Manager";
    case 3: return "32 bit OS/2 Presentation Manager";
    case 4: return "32 bit Windows";
    case 0x10000: return "MS-Dos";
    case 0x10001: return "Windows 3.0 or later with MS-Dos";
    case 0x10004: return "32 bit Windows with MS-Dos";
    case 0x20000: return "16 bit OS/2";
    case 0x20002: return "16 bit OS/2 with Presentation Manager";
    case 0x30000: return "32 bit OS/2";
    case 0x30003: return "32 bit OS/2 with Presentation Manager";
    case 0x40000: return "Windows NT";
    case 0x40004: return "Windows NT with 32 bit Windows";
    default: return "Unknown";
  }
}

std::string FileTypeText(uint32_t type) {
  switch (type) {
    case 1: return "Application";
    case 2: return "Dynamic-Link Library";
    case 3: return "Device Driver";
    case 4: return "Font";
    case 5: return "Virtual Device Driver";
    case 7: return "Static-Link Library";
    default: return "Unknown";
  }
}

std::string FileSubTypeText(uint32_t type, uint32_t subtype) {
  if (type == 3) {
    static const char* const kDrivers[] = {"Printer", "Keyboard", "Language", "Display", "Mouse",
                                           "Network", "System", "Installable", "Sound",
                                           "Communications"};
    return subtype >= 1 && subtype <= 10 ? kDrivers[subtype - 1] : "Unknown";
  }
  if (type == 4) {
    static const char* const kFonts[] = {"Raster", "Vector", "TrueType"};
    return subtype >= 1 && subtype <= 3 ? kFonts[subtype - 1] : "Unknown";
  }
  return std::string();
}

TVersionResource::TVersionResource(TComponent* owner) : TComponent(owner) {
  fFileName = ParamStr(0);
  Read();
}

TVersionResource::~TVersionResource() = default;

void TVersionResource::SetFileName(const std::string& value) {
  fFileName = value;
  Read();
}

void TVersionResource::SetLanguage(TVersionLanguage value) {
  fLanguage = value;
  Read();
}

void TVersionResource::SetCharacterSet(TCharacterSet value) {
  fCharacterSet = value;
  Read();
}

void TVersionResource::Read() {
  fVersionInfo.Clear();
  std::vector<unsigned char> data;
  if (!LoadVersionData(fFileName, data)) return;
  TFixedVersionFields fixed;
  if (!QueryFixedVersion(data, fixed)) return;
  fVersionInfo.FileVersion = VersionText(fixed.FileVersionMS, fixed.FileVersionLS);
  fVersionInfo.ProductVersion = VersionText(fixed.ProductVersionMS, fixed.ProductVersionLS);
  fVersionInfo.FileOS = FileOSText(fixed.FileOS);
  fVersionInfo.FileType = FileTypeText(fixed.FileType);
  fVersionInfo.FileSubType = FileSubTypeText(fixed.FileType, fixed.FileSubtype);

  const std::string prefix = "\\StringFileInfo\\" + Hex4(VersionLanguageId(fLanguage)) +
                             Hex4(CharacterSetCodePage(fCharacterSet)) + "\\";
  struct Entry {
    const char* name;
    std::string TVersionInfo::*field;
  };
  static const Entry kEntries[] = {
      {"Comment", &TVersionInfo::Comment},
      {"CompanyName", &TVersionInfo::CompanyName},
      {"FileDescription", &TVersionInfo::FileDescription},
      {"InternalName", &TVersionInfo::InternalName},
      {"LegalCopyright", &TVersionInfo::LegalCopyright},
      {"LegalTradeMarks", &TVersionInfo::LegalTradeMarks},
      {"OriginalFileName", &TVersionInfo::OriginalFileName},
      {"PrivateBuild", &TVersionInfo::PrivateBuild},
      {"ProductName", &TVersionInfo::ProductName},
      {"ProductVersion", &TVersionInfo::ProductVersion},
      {"SpecialBuild", &TVersionInfo::SpecialBuild},
  };
  for (const Entry& e : kEntries) {
    std::string value;
    if (QueryVersionString(data, prefix + e.name, value)) fVersionInfo.*(e.field) = value;
  }
}

bool FindVersionString(const std::string& fileName, const std::string& name, std::string& value) {
  std::vector<unsigned char> data;
  if (!LoadVersionData(fileName, data)) return false;
  std::vector<uint32_t> pairs;
  QueryVersionTranslations(data, pairs);
  // Tables that the translation list forgets are still looked for under
  // the common keys.
  for (uint32_t common : {0x040904E4u, 0x040904B0u, 0x000004E4u, 0x000004B0u}) pairs.push_back(common);
  for (uint32_t pair : pairs)
    if (QueryVersionString(data, "\\StringFileInfo\\" + Hex4(pair >> 16) + Hex4(pair & 0xFFFF) + "\\" + name, value))
      return true;
  return false;
}

TVersionResource* SharedVersionResource() {
  static std::unique_ptr<TVersionResource> shared(new TVersionResource(nullptr));
  return shared.get();
}

namespace {

std::string FileVersionOf(const std::string& fileName) {
  TVersionResource* reader = SharedVersionResource();
  reader->SetFileName(fileName);
  return reader->VersionInfo()->FileVersion;
}

// Compared in the packed date's two-second steps, as it always was: a file
// system that keeps no finer time (FAT) gives a date back rounded to them,
// and a date read back may differ from the one written in its last bits.
unsigned char ByDate(TDateTime newer, TDateTime existing) {
  auto step = [](TDateTime d) {
    const int64_t ms = DateTimeToMilliseconds(d);
    return ms >= 0 ? ms / 2000 : (ms - 1999) / 2000;
  };
  const int64_t a = step(newer), b = step(existing);
  if (a > b) return odReplace;
  if (a == b) return odSame;
  return odKeep;
}

unsigned char ByVersion(int comparison) {
  switch (comparison) {
    case 0: return odSame;
    case 1: return odReplace;
    default: return odKeep;
  }
}

}  // namespace

unsigned char DecideOverwrite(const std::string& archivedVersion, const std::string& target,
                              TOverwriteType rule, TDateTime archivedDate) {
  switch (rule) {
    case owAlways: return odReplace;
    case owNever:
      return !Trim(target).empty() && FileExists(target) ? odKeep : odReplace;
    case owVersion:
    case owVersionDate: {
      int cmp = CompareVersions(archivedVersion, FileVersionOf(target));
      if (rule == owVersion || cmp != 0) return ByVersion(cmp);
      [[fallthrough]];
    }
    case owDate: {
      TDateTime targetDate = 0;
      if (!OpenedFileDate(target, targetDate)) return odUndecided;
      return ByDate(archivedDate, targetDate);
    }
    default: return odUndecided;
  }
}

unsigned char DecideOverwriteFiles(const std::string& source, const std::string& target,
                                   TOverwriteType rule) {
  switch (rule) {
    case owAlways: return odReplace;
    case owNever:
      return !Trim(target).empty() && FileExists(target) ? odKeep : odReplace;
    case owVersion:
    case owVersionDate: {
      const std::string sourceVersion = FileVersionOf(source);
      int cmp = CompareVersions(sourceVersion, FileVersionOf(target));
      if (rule == owVersion || cmp != 0) return ByVersion(cmp);
      [[fallthrough]];
    }
    case owDate: {
      TDateTime sourceDate = 0, targetDate = 0;
      if (!OpenedFileDate(source, sourceDate) || !OpenedFileDate(target, targetDate))
        return odUndecided;
      return ByDate(sourceDate, targetDate);
    }
    default: return odUndecided;
  }
}

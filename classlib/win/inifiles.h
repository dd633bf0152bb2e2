// INI files through the system's profile routines.  A name without a folder
// refers to the Windows folder, as those routines do.
#pragma once

#include <windows.h>

#include <string>

#include "classes.h"
#include "sysutils.h"

MORVANE_EXCEPTION(EIniFileException, Exception);

class TIniFile : public TObject {
 public:
  explicit TIniFile(const std::string& fileName) : fileName_(fileName) {}
  ~TIniFile() override;
  const std::string& FileName() const { return fileName_; }

  std::string ReadString(const std::string& section, const std::string& ident, const std::string& def);
  // Writes fail with EIniFileException "Unable to write to <file>".
  void WriteString(const std::string& section, const std::string& ident, const std::string& value);
  // Decimal or "0x"/"$" hexadecimal; anything else gives the default.
  int ReadInteger(const std::string& section, const std::string& ident, int def);
  void WriteInteger(const std::string& section, const std::string& ident, int value);
  bool ReadBool(const std::string& section, const std::string& ident, bool def);
  void WriteBool(const std::string& section, const std::string& ident, bool value);
  // The keys of a section, the section names, or "key=value" lines.
  void ReadSection(const std::string& section, TStrings* strings);
  void ReadSections(TStrings* strings);
  void ReadSectionValues(const std::string& section, TStrings* strings);
  bool SectionExists(const std::string& section);
  bool ValueExists(const std::string& section, const std::string& ident);
  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& ident);
  // Writes the cached file to disk.
  void UpdateFile();

 private:
  // Zero-separated list read with GetPrivateProfileString (null section
  // or key), grown until it fits.
  void ReadList(const char* section, TStrings* strings);
  std::string fileName_;
};

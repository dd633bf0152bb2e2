#include "inifiles.h"

#include <vector>

TIniFile::~TIniFile() = default;

std::string TIniFile::ReadString(const std::string& section, const std::string& ident, const std::string& def) {
  // Long values are read whole rather than cut at a fixed buffer size.
  std::vector<char> buf(2048);
  while (true) {
    DWORD n = GetPrivateProfileStringA(section.c_str(), ident.c_str(), def.c_str(), buf.data(),
                                       static_cast<DWORD>(buf.size()), fileName_.c_str());
    if (n < buf.size() - 1 || buf.size() >= (1u << 24)) return std::string(buf.data(), n);
    buf.resize(buf.size() * 4);
  }
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
  if (!WritePrivateProfileStringA(section.c_str(), ident.c_str(), value.c_str(), fileName_.c_str()))
    throw EIniFileException("Unable to write to " + fileName_);
}

int TIniFile::ReadInteger(const std::string& section, const std::string& ident, int def) {
  std::string s = ReadString(section, ident, "");
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = "$" + s.substr(2);
  return StrToIntDef(s, def);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& ident, int value) {
  WriteString(section, ident, IntToStr(value));
}

bool TIniFile::ReadBool(const std::string& section, const std::string& ident, bool def) {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::ReadList(const char* section, TStrings* strings) {
  std::vector<char> buf(16384);
  DWORD n;
  while (true) {
    n = GetPrivateProfileStringA(section, nullptr, nullptr, buf.data(), static_cast<DWORD>(buf.size()),
                                 fileName_.c_str());
    if (n < buf.size() - 2 || buf.size() >= (1u << 24)) break;
    buf.resize(buf.size() * 4);
  }
  strings->BeginUpdate();
  try {
    strings->Clear();
    size_t i = 0;
    while (i < n && buf[i]) {
      std::string item(&buf[i]);
      strings->Add(item);
      i += item.size() + 1;
    }
  } catch (...) {
    strings->EndUpdate();
    throw;
  }
  strings->EndUpdate();
}

void TIniFile::ReadSection(const std::string& section, TStrings* strings) { ReadList(section.c_str(), strings); }

void TIniFile::ReadSections(TStrings* strings) { ReadList(nullptr, strings); }

void TIniFile::ReadSectionValues(const std::string& section, TStrings* strings) {
  TStringList keys;
  ReadSection(section, &keys);
  strings->BeginUpdate();
  try {
    strings->Clear();
    for (int i = 0; i < keys.Count(); ++i) strings->Add(keys[i] + "=" + ReadString(section, keys[i], ""));
  } catch (...) {
    strings->EndUpdate();
    throw;
  }
  strings->EndUpdate();
}

bool TIniFile::SectionExists(const std::string& section) {
  TStringList keys;
  ReadSection(section, &keys);
  return keys.Count() > 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& ident) {
  TStringList keys;
  ReadSection(section, &keys);
  return keys.IndexOf(ident) >= 0;
}

void TIniFile::EraseSection(const std::string& section) {
  if (!WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, fileName_.c_str()))
    throw EIniFileException("Unable to write to " + fileName_);
}

void TIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  WritePrivateProfileStringA(section.c_str(), ident.c_str(), nullptr, fileName_.c_str());
}

void TIniFile::UpdateFile() { WritePrivateProfileStringA(nullptr, nullptr, nullptr, fileName_.c_str()); }

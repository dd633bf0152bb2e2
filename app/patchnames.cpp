#include "patchnames.h"

#include <algorithm>
#include <cctype>

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool IsAbsolutePatchName(const std::string& name) {
  if (name.size() >= 2 && name[0] == '\\' && name[1] == '\\') return true;
  return name.size() >= 3 && name[1] == ':' && name[2] == '\\';
}

std::string ProposedPatchName(const std::string& setting, const std::string& desktop) {
  if (IsAbsolutePatchName(setting)) return setting;
  return desktop + "\\" + setting;
}

std::string ReplaceExtension(const std::string& name, const std::string& extension) {
  const size_t folderEnd = name.find_last_of("\\/:");
  const size_t baseStart = folderEnd == std::string::npos ? 0 : folderEnd + 1;
  const size_t dot = name.rfind('.');
  const size_t baseEnd = dot == std::string::npos || dot < baseStart ? name.size() : dot;
  return name.substr(0, baseEnd) + extension;
}

std::string PatchFileExtension(bool plain, bool archive, const std::string& archiveSuffix) {
  if (archive) return archiveSuffix;
  return plain ? ".utp" : ".exe";
}

std::string NameMatchingType(const std::string& name, bool plain) {
  const std::string wrong = plain ? ".exe" : ".utp";
  if (name.size() < wrong.size()) return name;
  std::string tail = name.substr(name.size() - wrong.size());
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == wrong ? ReplaceExtension(name, plain ? ".utp" : ".exe") : name;
}

bool CanAddTypedReceiver(const std::string& text, const std::string& placeholder,
                         const std::vector<std::string>& existing) {
  if (text.empty() || text == placeholder) return false;
  if (std::count(text.begin(), text.end(), '@') != 1) return false;
  for (const std::string& e : existing)
    if (SameText(e, text)) return false;
  return true;
}

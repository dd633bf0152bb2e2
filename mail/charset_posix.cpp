#include <cctype>
#include <cstdlib>

#include "charset.h"

std::string MailCharsetName() {
  // The first of the locale variables that is set decides, as for the C
  // library; its part after the dot names the set ("de_DE.UTF-8").
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    std::string v(value);
    const size_t dot = v.find('.');
    if (dot == std::string::npos) break;
    std::string set = v.substr(dot + 1, v.find('@', dot) - dot - 1);
    for (char& c : set) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (set == "utf8" || set == "utf-8") return "utf-8";
    if (!set.empty()) return set;
    break;
  }
  return "iso-8859-1";
}

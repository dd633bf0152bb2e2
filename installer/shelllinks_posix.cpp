// No shell here: links cannot be made, and say so.
#include "shelllinks.h"

long InitializeShellLinks() { return 0; }

void SaveShellLink(const std::string& linkPath, const std::string&, const std::string&, const std::string&,
                   uint16_t) {
  throw Exception("Shell links cannot be made here: " + linkPath);
}

bool WriteIniValue(const std::string&, const std::string&, const std::string&, const std::string&) { return false; }

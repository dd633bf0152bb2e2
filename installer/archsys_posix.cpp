#include "archsys.h"

#include <cstdio>

bool ArchRenameReplace(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

// The shell controls' user-visible texts, numbered 52480-52594 as in the
// program's string table.
#pragma once

#include <string>

enum : unsigned {
  kShellStringFirst = 52480,
  kShellStringLast = 52594,
};

// The text with that number; a number with no text gives "".  The module's
// own string table wins when it holds the number, so a translated build can
// replace the texts without touching the code.
std::string LoadShellString(unsigned id);

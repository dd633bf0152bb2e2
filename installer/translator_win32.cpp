#include <windows.h>

#include "translator_sys.h"

unsigned UserDefaultLangId() { return GetUserDefaultLangID(); }

bool LocaleSameText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}


#include "charset.h"

std::string CodePageCharsetName(unsigned codePage) {
  switch (codePage) {
    case 874: return "windows-874";
    case 932: return "shift_jis";
    case 936: return "gbk";
    case 949: return "ks_c_5601-1987";
    case 950: return "big5";
    case 20127: return "us-ascii";
    case 20866: return "koi8-r";
    case 28591: return "iso-8859-1";
    case 28592: return "iso-8859-2";
    case 28605: return "iso-8859-15";
    case 65001: return "utf-8";
    default: break;
  }
  if (codePage >= 1250 && codePage <= 1258) return "windows-" + std::to_string(codePage);
  if (codePage >= 28593 && codePage <= 28599) return "iso-8859-" + std::to_string(codePage - 28590);
  // Readers know the Windows code pages by this name; it beats leaving the
  // set unnamed.
  return "windows-" + std::to_string(codePage);
}

#include <windows.h>

#include "charset.h"

std::string MailCharsetName() { return CodePageCharsetName(GetACP()); }

// The name, as mail readers know it, of the character set the program's
// texts are written in: on Windows the ANSI code page, natively the
// locale's character set.
#pragma once

#include <string>

std::string MailCharsetName();
// The MIME name of a Windows code page number.
std::string CodePageCharsetName(unsigned codePage);

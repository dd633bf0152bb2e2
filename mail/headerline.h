// Header lines as every mail reader takes them: text outside ASCII as
// encoded words (RFC 2047) in the given character set, and long lines
// folded at blanks so that none passes 78 characters where it can be
// helped (RFC 5322 allows no line over 998).
#pragma once

#include <string>

// "Name: value" in its sendable form; folded lines are joined by CR LF and
// a blank. A short ASCII line comes back unchanged.
std::string EncodeHeaderLine(const std::string& line, const std::string& charset);

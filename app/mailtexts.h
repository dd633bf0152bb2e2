// The texts the e-mail thread builds from the sender profile and the
// receivers, and the reading of the transport's percentage traces. Kept
// free of the platform so that they are checked natively.
#pragma once

#include <cstdint>
#include <string>

// "address (name)", or the bare address when the name is empty.
std::string AddressWithName(const std::string& address, const std::string& name);

// The transport reports its progress as a status text such as "42%". When
// text ends in "%" and what stands before it is a decimal number, percent
// takes that number (clamped to 0..100) and true is returned; any other
// text leaves percent alone.
bool ReadTracePercent(const std::string& text, int32_t& percent);

// The maker's site named in the "X-Mailer" line.
extern const char* const kMailerLine;

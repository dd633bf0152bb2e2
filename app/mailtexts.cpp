#include "mailtexts.h"

const char* const kMailerLine = "X-Mailer: Morvane32 Tapmend (PreRelease) from http://www.morvane.example/";

std::string AddressWithName(const std::string& address, const std::string& name) {
  if (name.empty()) return address;
  return address + " (" + name + ")";
}

bool ReadTracePercent(const std::string& text, int32_t& percent) {
  if (text.size() < 2 || text.back() != '%') return false;
  size_t i = 0;
  const size_t end = text.size() - 1;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == end) return false;
  // Digits past the bar's range are read but cannot move it further, so a
  // long number never overflows.
  int64_t value = 0;
  for (; i < end; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    if (value <= 100) value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  percent = static_cast<int32_t>(value < 0 ? 0 : value > 100 ? 100 : value);
  return true;
}

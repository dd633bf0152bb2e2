// The server's side of an HTTP download as the install location reads it:
// the status text, the raw headers and the Content-Length value.  The first
// two bytes give the lengths of the status and the length texts, the rest is
// the raw headers.  A file may follow only on a 2xx status, the line shown
// to the user is one line, and a length is a plain decimal number.
#include <cstddef>
#include <cstdint>
#include <string>

#include "netlocation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t statusLen = data[0] % 40, lengthLen = data[1] % 40;
  data += 2, size -= 2;
  if (statusLen + lengthLen > size) return 0;
  const char* p = reinterpret_cast<const char*>(data);
  const std::string status(p, statusLen), length(p + statusLen, lengthLen);
  const std::string raw(p + statusLen + lengthLen, size - statusLen - lengthLen);

  THttpAnswer a = ReadHttpAnswer(status, raw);
  if (a.Code < 0 || a.Code > 999) __builtin_trap();
  if (a.Ok != (a.Code >= 200 && a.Code <= 299)) __builtin_trap();
  if (a.Ok && a.NotFound) __builtin_trap();
  if (!a.Ok && (a.Line.empty() || a.Line.find_first_of("\r\n") != std::string::npos)) __builtin_trap();

  int32_t n = ParseContentLength(length);
  if (n < 0 || n > 999999999) __builtin_trap();
  if (n > 0 && std::to_string(n) != Trim(length).substr(Trim(length).find_first_not_of('0'))) __builtin_trap();
  return 0;
}

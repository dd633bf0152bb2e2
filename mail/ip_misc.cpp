#include "ip_misc.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "classes.h"
#include "socket.h"

namespace {

bool StartSockets() {
  int e = SockStartup();
  // Only these mean the socket library is missing or unusable; any other
  // start-up complaint still leaves working sockets.
  return !(e == 10022 || e == 10091 || e == 10092);
}

uint32_t LoopbackAddress() { return SockParseDotted("127.0.0.1"); }

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Gregorian date of a day number counted from 1970-01-01.
void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

bool IsAddressBreak(char c) { return c == ' ' || c == ',' || c == ';'; }

}  // namespace

bool tcpip_ready = StartSockets();

uint32_t ResolveHost(const std::string& name) {
  uint32_t a = SockParseDotted(name);
  if (a != kNoAddress) return a;
  return SockLookupHost(name);
}

std::string OwnHostName() {
  std::string name = SockLocalHostName();
  return name.empty() ? "localhost" : name;
}

uint32_t OwnAddress() {
  uint32_t a = SockLookupHost(OwnHostName());
  return a == kNoAddress ? LoopbackAddress() : a;
}

std::string AddressText(uint32_t address) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&address);
  char buf[20];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return buf;
}

std::string ZoneText(int bias) {
  if (bias == 0) return "GMT";
  int m = bias < 0 ? -bias : bias;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%c%02d%02d", bias < 0 ? '+' : '-', m / 60, m % 60);
  return buf;
}

std::string ZoneText() { return ZoneText(SysTimeZoneBias()); }

std::string Rfc822Date(double time, int bias) {
  // Work in whole milliseconds so that 12:00:00 stored as 11:59:59.9999...
  // does not print a second early.
  int64_t ms = static_cast<int64_t>(std::llround((time - 25569.0) * 86400000.0));
  int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
  int64_t inDay = (ms - days * 86400000) / 1000;
  int year, month, day;
  CivilFromDays(days, &year, &month, &day);
  int weekday = static_cast<int>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %d %s %d %02d:%02d:%02d ", kDays[weekday], day, kMonths[month - 1], year,
                static_cast<int>(inDay / 3600), static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
  return buf + ZoneText(bias);
}

std::string Rfc822Date(double time) { return Rfc822Date(time, SysTimeZoneBias()); }

int64_t SecondsSince1970(double time) { return static_cast<int64_t>(std::llround((time - 25569.0) * 86400.0)); }

std::string QuotedPrintable(const std::string& text) {
  static const char hex[] = "0123456789ABCDEF";
  // Encode each byte to a token first; then lay the tokens out in lines.
  std::string out;
  size_t lineLen = 0;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool last = i + 1 == n;
    char tok[4];
    size_t tokLen;
    // Trailing blanks would be stripped in transit, and control bytes (a
    // bare CR or LF would split the line) may be dropped or altered by mail
    // servers; all of them are written as escapes.
    if (c == '=' || c >= 127 || (c < 32 && c != '\t') || (last && (c == ' ' || c == '\t'))) {
      tok[0] = '=';
      tok[1] = hex[c >> 4];
      tok[2] = hex[c & 15];
      tokLen = 3;
    } else {
      tok[0] = static_cast<char>(c);
      tokLen = 1;
    }
    // 75 characters of text plus the "=" of a soft break make 76. The last
    // token may fill the line completely since no break follows it.
    size_t limit = last ? 76 : 75;
    if (lineLen + tokLen > limit) {
      out += "=\r\n";
      lineLen = 0;
    }
    out.append(tok, tokLen);
    lineLen += tokLen;
  }
  return out;
}

std::string Base64Encode(const void* data, size_t length) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const unsigned char* p = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve((length + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    out += alphabet[v >> 18];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  if (length - i == 1) {
    uint32_t v = p[i] << 16;
    out += alphabet[v >> 18];
    out += alphabet[(v >> 12) & 63];
    out += "==";
  } else if (length - i == 2) {
    uint32_t v = (p[i] << 16) | (p[i + 1] << 8);
    out += alphabet[v >> 18];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

int PosN(const std::string& sub, const std::string& text, int n) {
  if (n == 0 || sub.empty() || sub.size() > text.size()) return 0;
  if (n > 0) {
    size_t from = 0;
    for (;;) {
      size_t p = text.find(sub, from);
      if (p == std::string::npos) return 0;
      if (--n == 0) return static_cast<int>(p) + 1;
      from = p + 1;
    }
  }
  size_t from = text.size() - sub.size();
  for (;;) {
    size_t p = text.rfind(sub, from);
    if (p == std::string::npos) return 0;
    if (++n == 0) return static_cast<int>(p) + 1;
    if (p == 0) return 0;
    from = p - 1;
  }
}

std::string ExtractAddress(const std::string& text, int n) {
  int at = PosN("@", text, n);
  if (at == 0) return "";
  size_t atIndex = static_cast<size_t>(at - 1);
  size_t start = 0;
  for (size_t i = atIndex; i > 0; --i) {
    if (IsAddressBreak(text[i - 1])) {
      start = i;
      break;
    }
  }
  size_t end = start;
  while (end < text.size() && !IsAddressBreak(text[end])) ++end;
  while (start < end && (text[start] == '"' || text[start] == '(' || text[start] == '<')) ++start;
  while (end > start && (text[end - 1] == '"' || text[end - 1] == ')' || text[end - 1] == '>')) --end;
  return text.substr(start, end - start);
}

std::string OneLine(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

std::vector<std::string> EnvelopeAddresses(const std::string& text) {
  std::string clean;
  for (char c : OneLine(text))
    clean += static_cast<unsigned char>(c) < 32 ? ' ' : c;
  // Blank out comments and quoted names; what is left are the addresses.
  std::string bare = clean;
  int depth = 0;
  bool quoted = false;
  for (char& c : bare) {
    if (quoted) {
      if (c == '"') quoted = false;
      c = ' ';
    } else if (c == '"' && depth == 0) {
      quoted = true;
      c = ' ';
    } else if (c == '(') {
      ++depth;
      c = ' ';
    } else if (c == ')' && depth > 0) {
      --depth;
      c = ' ';
    } else if (depth > 0) {
      c = ' ';
    }
  }
  std::vector<std::string> result;
  for (const std::string* source : {&bare, &clean}) {
    for (int k = 1;; ++k) {
      std::string a = ExtractAddress(*source, k);
      if (a.empty()) {
        if (PosN("@", *source, k) == 0) break;
        continue;
      }
      result.push_back(a);
    }
    if (!result.empty()) break;
  }
  return result;
}

void Base64Stream(TStream* stream, TStringList* lines) {
  stream->Seek(0, soBeginning);
  unsigned char group[45];
  for (;;) {
    // A stream may hand out less than asked for before its end.
    int got = 0;
    while (got < 45) {
      int n = stream->Read(group + got, 45 - got);
      if (n <= 0) break;
      got += n;
    }
    if (got == 0) break;
    lines->Add(Base64Encode(group, static_cast<size_t>(got)));
    if (got < 45) break;
  }
}

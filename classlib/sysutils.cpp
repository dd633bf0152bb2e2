#include "sysutils.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <typeinfo>

#if defined(__GNUC__)
#include <cxxabi.h>
#endif

TObject::~TObject() = default;

std::string TObject::ClassName() const {
  const char* raw = typeid(*this).name();
#if defined(__GNUC__)
  int status = 0;
  char* demangled = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
  if (status == 0 && demangled) {
    std::string name(demangled);
    std::free(demangled);
    // Classes local to a unit carry their namespace; the class name alone
    // is what messages and loaders want.
    size_t colon = name.rfind("::");
    if (colon != std::string::npos && name.find('<') == std::string::npos) name.erase(0, colon + 2);
    return name;
  }
#endif
  return raw;
}

Exception::~Exception() = default;

void Abort() { throw EAbort("Operation aborted"); }

char ThousandSeparator = ',';
char DecimalSeparator = '.';

// ---------------------------------------------------------------------------
// Numbers

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string IntToHex(int64_t value, int digits) {
  uint64_t bits;
  if (value < 0 && value >= INT32_MIN)
    bits = static_cast<uint32_t>(static_cast<int32_t>(value));
  else
    bits = static_cast<uint64_t>(value);
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), hex[bits & 15]);
    bits >>= 4;
  } while (bits);
  if (static_cast<int>(out.size()) < digits) out.insert(0, digits - out.size(), '0');
  return out;
}

namespace {

// Parses like StrToInt into a 64-bit value; 'maxHexDigits' bounds the hex
// form.  False on any malformed or overflowing text.
bool ParseInteger(const std::string& s, int64_t& out, bool wide) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    neg = s[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < s.size() && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return false;
  uint64_t v = 0;
  if (hex) {
    size_t n = 0;
    for (; i < s.size(); ++i, ++n) {
      char c = s[i];
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return false;
      if (v >> 60) return false;
      v = v * 16 + d;
    }
    if (!wide) {
      if (v > 0xFFFFFFFFull) return false;
      int64_t r = static_cast<int32_t>(static_cast<uint32_t>(v));
      out = neg ? -r : r;
      if (out < INT32_MIN || out > INT32_MAX) return false;
      return true;
    }
    int64_t r = static_cast<int64_t>(v);
    out = neg ? static_cast<int64_t>(0 - static_cast<uint64_t>(r)) : r;
    return true;
  }
  const uint64_t limit = wide ? (neg ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1)
                              : (neg ? uint64_t(1) << 31 : (uint64_t(1) << 31) - 1);
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c < '0' || c > '9') return false;
    unsigned d = c - '0';
    if (v > (limit - d) / 10) return false;
    v = v * 10 + d;
  }
  out = neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

[[noreturn]] void InvalidInteger(const std::string& s) {
  throw EConvertError("'" + s + "' is not a valid integer value");
}

}  // namespace

int StrToInt(const std::string& s) {
  int64_t v;
  if (!ParseInteger(s, v, false)) InvalidInteger(s);
  return static_cast<int>(v);
}

int64_t StrToInt64(const std::string& s) {
  int64_t v;
  if (!ParseInteger(s, v, true)) InvalidInteger(s);
  return v;
}

bool TryStrToInt(const std::string& s, int& value) {
  int64_t v;
  if (!ParseInteger(s, v, false)) return false;
  value = static_cast<int>(v);
  return true;
}

int StrToIntDef(const std::string& s, int def) {
  int v;
  return TryStrToInt(s, v) ? v : def;
}

// ---------------------------------------------------------------------------
// Strings

std::string TrimLeft(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  return s.substr(i);
}

std::string TrimRight(const std::string& s) {
  size_t n = s.size();
  while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= ' ') --n;
  return s.substr(0, n);
}

std::string Trim(const std::string& s) { return TrimLeft(TrimRight(s)); }

std::string UpperCase(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

std::string LowerCase(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

int CompareStr(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
    if (d) return d;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int CompareText(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int ca = static_cast<unsigned char>(a[i]);
    int cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'a' && ca <= 'z') ca -= 32;
    if (cb >= 'a' && cb <= 'z') cb -= 32;
    if (ca != cb) return ca - cb;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

std::string StringReplace(const std::string& s, const std::string& oldPattern, const std::string& newPattern,
                          int flags) {
  if (oldPattern.empty()) return s;
  const std::string hay = (flags & rfIgnoreCase) ? UpperCase(s) : s;
  const std::string needle = (flags & rfIgnoreCase) ? UpperCase(oldPattern) : oldPattern;
  std::string out;
  size_t pos = 0;
  while (true) {
    size_t hit = hay.find(needle, pos);
    if (hit == std::string::npos) break;
    out.append(s, pos, hit - pos);
    out += newPattern;
    pos = hit + needle.size();
    if (!(flags & rfReplaceAll)) break;
  }
  out.append(s, pos, std::string::npos);
  return out;
}

// ---------------------------------------------------------------------------
// Format

namespace {

[[noreturn]] void BadFormat(const std::string& fmt) {
  throw EConvertError("Format '" + fmt + "' invalid or incompatible with argument");
}

std::string InsertThousands(const std::string& digits) {
  std::string out;
  int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ThousandSeparator;
    out += digits[i];
  }
  return out;
}

// Fixed notation with 'decimals' digits; thousands separators on request.
std::string FixedText(double v, int decimals, bool thousands) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (decimals > 18) decimals = 18;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string s = buf;
  bool neg = !s.empty() && s[0] == '-';
  if (neg) s.erase(0, 1);
  size_t dot = s.find('.');
  std::string ip = dot == std::string::npos ? s : s.substr(0, dot);
  std::string fp = dot == std::string::npos ? "" : s.substr(dot + 1);
  // "-0.00" is shown without its sign.
  if (neg && ip.find_first_not_of('0') == std::string::npos && fp.find_first_not_of('0') == std::string::npos)
    neg = false;
  std::string out = neg ? "-" : "";
  out += thousands ? InsertThousands(ip) : ip;
  if (!fp.empty()) {
    out += DecimalSeparator;
    out += fp;
  }
  return out;
}

std::string ScientificText(double v, int precision) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (precision < 1 || precision > 18) precision = 15;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*E", precision - 1, v);
  std::string s = buf;
  // The exponent always has a sign and at least three digits.
  size_t e = s.find('E');
  std::string mant = s.substr(0, e);
  char sign = s[e + 1];
  std::string exp = s.substr(e + 2);
  while (exp.size() < 3) exp.insert(0, "0");
  for (char& c : mant)
    if (c == '.') c = DecimalSeparator;
  return mant + "E" + sign + exp;
}

std::string GeneralText(double v, int precision) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (precision < 1 || precision > 18) precision = 15;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", precision, v);
  std::string s = buf;
  size_t e = s.find('E');
  if (e != std::string::npos) {
    // General form writes the exponent bare: "1E20", "1.5E-7".
    std::string mant = s.substr(0, e);
    char sign = s[e + 1];
    std::string exp = s.substr(e + 2);
    while (exp.size() > 1 && exp[0] == '0') exp.erase(0, 1);
    s = mant + "E" + (sign == '-' ? "-" : "") + exp;
  }
  for (char& c : s)
    if (c == '.') c = DecimalSeparator;
  return s;
}

}  // namespace

std::string FormatV(const std::string& fmt, const std::vector<TVarRec>& args) {
  std::string out;
  size_t argIndex = 0;
  auto nextArg = [&]() -> const TVarRec& {
    if (argIndex >= args.size()) throw EConvertError("No argument for format '" + fmt + "'");
    return args[argIndex++];
  };
  auto intArg = [&](const TVarRec& a) -> int64_t {
    if (a.kind() != TVarRec::vInt && a.kind() != TVarRec::vInt64) BadFormat(fmt);
    return a.AsInt();
  };
  size_t i = 0;
  while (i < fmt.size()) {
    char c = fmt[i];
    if (c != '%') {
      out += c;
      ++i;
      continue;
    }
    ++i;
    if (i >= fmt.size()) BadFormat(fmt);
    if (fmt[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // [index:]
    size_t save = i;
    int num = -1;
    auto readNumber = [&](int& value) -> bool {
      if (i < fmt.size() && fmt[i] == '*') {
        int64_t v = intArg(nextArg());
        if (v < INT32_MIN || v > INT32_MAX) BadFormat(fmt);
        if (v > 100000) BadFormat(fmt);
        value = static_cast<int>(v);
        ++i;
        return true;
      }
      if (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
        int64_t v = 0;
        while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
          v = v * 10 + (fmt[i] - '0');
          if (v > 100000) BadFormat(fmt);
          ++i;
        }
        value = static_cast<int>(v);
        return true;
      }
      return false;
    };
    size_t beforeIndex = argIndex;
    if (readNumber(num) && i < fmt.size() && fmt[i] == ':') {
      if (num < 0) BadFormat(fmt);
      argIndex = static_cast<size_t>(num);
      ++i;
    } else {
      i = save;
      argIndex = beforeIndex;
    }
    bool left = false;
    if (i < fmt.size() && fmt[i] == '-') {
      left = true;
      ++i;
    }
    int width = -1;
    readNumber(width);
    // A negative width taken from "*" means no width at all; an absurd one
    // is a mistake, not a request for gigabytes of blanks.
    if (width < 0) width = -1;
    if (width > 100000) BadFormat(fmt);
    int prec = -1;
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      if (!readNumber(prec)) prec = 0;
    }
    if (i >= fmt.size()) BadFormat(fmt);
    char type = fmt[i++];
    if (type >= 'A' && type <= 'Z') type = static_cast<char>(type + 32);
    std::string text;
    switch (type) {
      case 'd': {
        int64_t v = intArg(nextArg());
        uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        std::string digits = std::to_string(mag);
        if (prec > 0 && static_cast<int>(digits.size()) < prec) digits.insert(0, prec - digits.size(), '0');
        text = (v < 0 ? "-" : "") + digits;
        break;
      }
      case 'u': {
        const TVarRec& a = nextArg();
        int64_t v = intArg(a);
        uint64_t u = a.kind() == TVarRec::vInt ? static_cast<uint32_t>(static_cast<int32_t>(v))
                                               : static_cast<uint64_t>(v);
        text = std::to_string(u);
        if (prec > 0 && static_cast<int>(text.size()) < prec) text.insert(0, prec - text.size(), '0');
        break;
      }
      case 'x': {
        const TVarRec& a = nextArg();
        int64_t v = intArg(a);
        text = a.kind() == TVarRec::vInt ? IntToHex(static_cast<uint32_t>(static_cast<int32_t>(v)), 0)
                                         : IntToHex(v, 0);
        if (a.kind() == TVarRec::vInt64 && v < 0) {
          // A 64-bit value keeps all its bits.
          static const char hex[] = "0123456789ABCDEF";
          uint64_t bits = static_cast<uint64_t>(v);
          text.clear();
          do {
            text.insert(text.begin(), hex[bits & 15]);
            bits >>= 4;
          } while (bits);
        }
        if (prec > 0 && static_cast<int>(text.size()) < prec) text.insert(0, prec - text.size(), '0');
        break;
      }
      case 's': {
        const TVarRec& a = nextArg();
        if (a.kind() != TVarRec::vString && a.kind() != TVarRec::vChar) BadFormat(fmt);
        text = a.AsString();
        if (prec >= 0 && static_cast<int>(text.size()) > prec) text.resize(prec);
        break;
      }
      case 'p': {
        const TVarRec& a = nextArg();
        if (a.kind() != TVarRec::vPointer) BadFormat(fmt);
        text = IntToHex(a.AsInt(), static_cast<int>(sizeof(void*) * 2));
        if (sizeof(void*) == 4) text = text.substr(text.size() - 8);
        break;
      }
      case 'f':
      case 'n':
      case 'e':
      case 'g': {
        const TVarRec& a = nextArg();
        double v;
        if (a.kind() == TVarRec::vFloat)
          v = a.AsFloat();
        else if (a.kind() == TVarRec::vInt || a.kind() == TVarRec::vInt64)
          v = static_cast<double>(a.AsInt());
        else
          BadFormat(fmt);
        if (type == 'f') text = FixedText(v, prec < 0 ? 2 : prec, false);
        else if (type == 'n') text = FixedText(v, prec < 0 ? 2 : prec, true);
        else if (type == 'e') text = ScientificText(v, prec < 0 ? 15 : prec);
        else text = GeneralText(v, prec < 0 ? 15 : prec);
        break;
      }
      default:
        BadFormat(fmt);
    }
    if (width > 0 && static_cast<int>(text.size()) < width) {
      if (left)
        text.append(width - text.size(), ' ');
      else
        text.insert(0, width - text.size(), ' ');
    }
    out += text;
  }
  return out;
}

int PortableMulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  int64_t p = static_cast<int64_t>(number) * numerator;
  int64_t q = p / denominator;
  int64_t r = p % denominator;
  int64_t ar = r < 0 ? -r : r;
  int64_t ad = denominator < 0 ? -static_cast<int64_t>(denominator) : denominator;
  if (2 * ar >= ad) q += ((p < 0) != (denominator < 0)) ? -1 : 1;
  // The system also reports -2^31 as an overflow.
  if (q > INT32_MAX || q < -INT32_MAX) return -1;
  return static_cast<int>(q);
}

#ifndef _WIN32
int MulDiv(int number, int numerator, int denominator) { return PortableMulDiv(number, numerator, denominator); }
#endif

// ---------------------------------------------------------------------------
// File names

namespace {
bool IsDelim(char c) { return c == '\\' || c == '/'; }
size_t LastDelimOrDrive(const std::string& name) {
  for (size_t i = name.size(); i > 0; --i) {
    char c = name[i - 1];
    if (IsDelim(c) || c == ':') return i - 1;
  }
  return std::string::npos;
}
}  // namespace

std::string ExtractFilePath(const std::string& name) {
  size_t p = LastDelimOrDrive(name);
  return p == std::string::npos ? std::string() : name.substr(0, p + 1);
}

std::string ExtractFileDir(const std::string& name) {
  std::string path = ExtractFilePath(name);
  if (path.size() > 1 && IsDelim(path.back()) && !IsDelim(path[path.size() - 2]) && path[path.size() - 2] != ':')
    path.pop_back();
  return path;
}

std::string ExtractFileName(const std::string& name) {
  size_t p = LastDelimOrDrive(name);
  return p == std::string::npos ? name : name.substr(p + 1);
}

std::string ExtractFileExt(const std::string& name) {
  std::string file = ExtractFileName(name);
  size_t dot = file.rfind('.');
  return dot == std::string::npos ? std::string() : file.substr(dot);
}

std::string ExtractFileDrive(const std::string& name) {
  if (name.size() >= 2 && name[1] == ':') return name.substr(0, 2);
  if (name.size() >= 2 && IsDelim(name[0]) && IsDelim(name[1])) {
    // "\\server\share": up to the delimiter after the share name.
    int seen = 0;
    size_t i = 2;
    for (; i < name.size(); ++i) {
      if (IsDelim(name[i]) && ++seen == 2) break;
    }
    return name.substr(0, i);
  }
  return std::string();
}

std::string ChangeFileExt(const std::string& name, const std::string& ext) {
  size_t start = LastDelimOrDrive(name);
  start = start == std::string::npos ? 0 : start + 1;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot < start) return name + ext;
  return name.substr(0, dot) + ext;
}

std::string IncludeTrailingBackslash(const std::string& name) {
  if (!name.empty() && IsDelim(name.back())) return name;
  return name + PathDelim;
}

std::string ExcludeTrailingBackslash(const std::string& name) {
  if (!name.empty() && IsDelim(name.back())) return name.substr(0, name.size() - 1);
  return name;
}

bool ForceDirectories(const std::string& name) {
  std::string dir = ExcludeTrailingBackslash(name);
  if (dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  std::string parent = ExtractFileDir(dir);
  // Stop at a root ("C:", "C:\", "/", "\\server\share") or a bare name.
  if (!parent.empty() && parent != dir && ExtractFileName(dir) != "" && !DirectoryExists(parent) &&
      parent != ExtractFileDrive(dir)) {
    if (!ForceDirectories(parent)) return false;
  }
  return CreateDir(dir) || DirectoryExists(dir);
}

// ---------------------------------------------------------------------------
// Dates

namespace {
const int kDaysInMonth[2][13] = {{0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                 {0, 31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
const int64_t kDateDelta = 693594;  // days from 0001-01-01 to 1899-12-30
const double kMSecsPerDay = 86400000.0;
}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
  const int* table = kDaysInMonth[IsLeapYear(year) ? 1 : 0];
  if (day < 1 || day > table[month]) return false;
  int64_t d = day;
  for (int m = 1; m < month; ++m) d += table[m];
  int64_t y = year - 1;
  result = static_cast<double>(y * 365 + y / 4 - y / 100 + y / 400 + d - kDateDelta);
  return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999) return false;
  result = (hour * 3600000.0 + min * 60000.0 + sec * 1000.0 + msec) / kMSecsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime r;
  if (!TryEncodeTime(hour, min, sec, msec, r)) throw EConvertError("Invalid argument to time encode");
  return r;
}

namespace {
// Splits into whole days and milliseconds of the day, rounding to the
// millisecond so that 23:59:59.9999 becomes the next day's midnight.
void SplitDateTime(TDateTime dt, int64_t& days, int64_t& ms) {
  int64_t total = std::llround(std::fabs(dt) * kMSecsPerDay);
  days = total / 86400000;
  ms = total % 86400000;
  if (dt < 0) days = -days;
}
}  // namespace

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  int64_t n = days + kDateDelta - 1;  // days since 0001-01-01
  if (n < 0 || n >= 3652059) {
    year = month = day = 0;
    return;
  }
  int64_t y400 = n / 146097;
  n %= 146097;
  int64_t y100 = n / 36524;
  if (y100 == 4) y100 = 3;
  n -= y100 * 36524;
  int64_t y4 = n / 1461;
  n %= 1461;
  int64_t y1 = n / 365;
  if (y1 == 4) y1 = 3;
  n -= y1 * 365;
  year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
  const int* table = kDaysInMonth[IsLeapYear(year) ? 1 : 0];
  int m = 1;
  while (n >= table[m]) {
    n -= table[m];
    ++m;
  }
  month = m;
  day = static_cast<int>(n + 1);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

TDateTime FileDateToDateTime(int dosDateTime) {
  unsigned v = static_cast<unsigned>(dosDateTime);
  unsigned date = v >> 16, time = v & 0xFFFF;
  TDateTime d, t;
  if (!TryEncodeDate(static_cast<int>((date >> 9) + 1980), static_cast<int>((date >> 5) & 15),
                     static_cast<int>(date & 31), d) ||
      !TryEncodeTime(static_cast<int>(time >> 11), static_cast<int>((time >> 5) & 63),
                     static_cast<int>((time & 31) * 2), 0, t))
    throw EConvertError("Invalid file date " + IntToHex(dosDateTime, 8));
  return d + t;
}

int DateTimeToFileDate(TDateTime dt) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(dt, y, mo, d);
  if (y < 1980 || y > 2107) return 0;
  DecodeTime(dt, h, mi, s, ms);
  unsigned date = ((y - 1980) << 9) | (mo << 5) | d;
  unsigned time = (h << 11) | (mi << 5) | (s / 2);
  return static_cast<int>((date << 16) | time);
}

// ---------------------------------------------------------------------------
// Command line

std::vector<std::string> SplitCommandLine(const std::string& cmdline) {
  std::vector<std::string> out;
  size_t i = 0;
  const size_t n = cmdline.size();
  auto blank = [&](size_t k) { return cmdline[k] == ' ' || cmdline[k] == '\t'; };
  while (i < n && blank(i)) ++i;
  if (i >= n) return out;
  // The program: no escapes, so "C:\dir\" style paths survive.
  std::string program;
  bool quoted = false;
  while (i < n && (quoted || !blank(i))) {
    if (cmdline[i] == '"')
      quoted = !quoted;
    else
      program += cmdline[i];
    ++i;
  }
  out.push_back(program);
  while (true) {
    while (i < n && blank(i)) ++i;
    if (i >= n) break;
    std::string param;
    quoted = false;
    while (i < n && (quoted || !blank(i))) {
      char c = cmdline[i];
      if (c == '\\') {
        size_t k = 0;
        while (i < n && cmdline[i] == '\\') {
          ++k;
          ++i;
        }
        if (i < n && cmdline[i] == '"') {
          param.append(k / 2, '\\');
          if (k % 2) {
            param += '"';
            ++i;
          }
        } else {
          param.append(k, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < n && cmdline[i + 1] == '"') {
          param += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        param += c;
        ++i;
      }
    }
    out.push_back(param);
  }
  return out;
}

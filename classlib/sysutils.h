// The class library's base: TObject, the Exception family, and the string,
// number, file-name, file-system and date helpers.  Strings are byte strings
// (ANSI); numbers are formatted the way a US-English system formats them.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// <windows.h> maps DeleteFile to DeleteFileA; units that need both include
// <windows.h> first.
#ifdef DeleteFile
#undef DeleteFile
#endif

// ---------------------------------------------------------------------------
// Root of the class tree.

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject();
  // The C++ class name of the most derived class, e.g. "TStringList".
  std::string ClassName() const;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Deletes the object and clears the pointer, so a second call is harmless.
template <class T>
void FreeAndNil(T*& obj) {
  T* p = obj;
  obj = nullptr;
  delete p;
}

// ---------------------------------------------------------------------------
// Exceptions

class Exception : public std::exception {
 public:
  Exception() = default;
  explicit Exception(const std::string& msg) : message_(msg) {}
  ~Exception() override;
  const std::string& Message() const { return message_; }
  void SetMessage(const std::string& msg) { message_ = msg; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

#define MORVANE_EXCEPTION(name, base)           \
  class name : public base {                    \
   public:                                      \
    using base::base;                           \
    name() = default;                           \
  }

// The silent exception: it ends an operation without telling the user.
MORVANE_EXCEPTION(EAbort, Exception);
MORVANE_EXCEPTION(EConvertError, Exception);
MORVANE_EXCEPTION(EOutOfResources, Exception);
MORVANE_EXCEPTION(EOutOfMemory, Exception);
MORVANE_EXCEPTION(EOSError, Exception);

// An input/output failure with the operating system's error code.
class EInOutError : public Exception {
 public:
  using Exception::Exception;
  EInOutError(const std::string& msg, int code) : Exception(msg), ErrorCode(code) {}
  int ErrorCode = 0;
};

// Raises EAbort ("Operation aborted").
[[noreturn]] void Abort();

// ---------------------------------------------------------------------------
// Numbers and strings

std::string IntToStr(int64_t value);
// Upper-case hexadecimal with at least 'digits' digits; a negative 32-bit
// value is shown as its 32-bit two's complement.
std::string IntToHex(int64_t value, int digits);
// Decimal, or hexadecimal after "$" or "0x" (up to 8 digits, taken as the
// 32-bit pattern); leading blanks are skipped, nothing may follow.
// Anything else, or a value outside the 32-bit range, raises EConvertError
// "'<text>' is not a valid integer value".
int StrToInt(const std::string& s);
int64_t StrToInt64(const std::string& s);
int StrToIntDef(const std::string& s, int def);
bool TryStrToInt(const std::string& s, int& value);

// Removes characters up to and including the space (control characters too).
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
// Only 'a'..'z' and 'A'..'Z' change.
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
// <0, 0, >0 like strcmp; CompareText ignores the case of ASCII letters.
int CompareStr(const std::string& a, const std::string& b);
int CompareText(const std::string& a, const std::string& b);
bool SameText(const std::string& a, const std::string& b);

enum TReplaceFlag { rfReplaceAll = 1, rfIgnoreCase = 2 };
std::string StringReplace(const std::string& s, const std::string& oldPattern, const std::string& newPattern,
                          int flags);

// One argument of Format.
class TVarRec {
 public:
  enum Kind { vInt, vInt64, vFloat, vString, vChar, vPointer };
  TVarRec(int v) : kind_(vInt), i_(v) {}
  TVarRec(unsigned v) : kind_(vInt64), i_(v) {}
  TVarRec(long v) : kind_(sizeof(long) == 4 ? vInt : vInt64), i_(v) {}
  TVarRec(unsigned long v) : kind_(vInt64), i_(static_cast<int64_t>(v)) {}
  TVarRec(long long v) : kind_(vInt64), i_(v) {}
  TVarRec(unsigned long long v) : kind_(vInt64), i_(static_cast<int64_t>(v)) {}
  TVarRec(double v) : kind_(vFloat), f_(v) {}
  TVarRec(char v) : kind_(vChar), s_(1, v) {}
  TVarRec(const char* v) : kind_(vString), s_(v ? v : "") {}
  TVarRec(const std::string& v) : kind_(vString), s_(v) {}
  TVarRec(const void* v) : kind_(vPointer), i_(static_cast<int64_t>(reinterpret_cast<uintptr_t>(v))) {}

  Kind kind() const { return kind_; }
  int64_t AsInt() const { return i_; }
  double AsFloat() const { return f_; }
  const std::string& AsString() const { return s_; }

 private:
  Kind kind_;
  int64_t i_ = 0;
  double f_ = 0;
  std::string s_;
};

// Formats "%[index:][-][width][.precision]type" with the types
//   d  decimal integer (precision = minimum digits)
//   u  unsigned decimal integer
//   x  hexadecimal integer, upper case (precision = minimum digits)
//   s  string or character (precision = maximum characters)
//   n  number with thousands separators (precision = decimals, default 2)
//   f  fixed point (precision = decimals, default 2)
//   e  scientific, g general, p pointer (hex digits of the pointer size)
// Integers are accepted where a floating value is expected.
// A "*" for width or precision takes the next argument.  A bad format or an
// argument of the wrong kind raises EConvertError; "%%" gives "%".
std::string FormatV(const std::string& fmt, const std::vector<TVarRec>& args);
inline std::string Format(const std::string& fmt, std::initializer_list<TVarRec> args) {
  return FormatV(fmt, std::vector<TVarRec>(args));
}
template <class... Args>
std::string Format(const std::string& fmt, const Args&... args) {
  return FormatV(fmt, std::vector<TVarRec>{TVarRec(args)...});
}

// Separators used by Format's %n, %f, %e and %g conversions.
extern char ThousandSeparator;
extern char DecimalSeparator;

// Multiplies and divides through 64 bits, rounding half away from zero;
// -1 for a zero divisor or a result outside -2^31+1 .. 2^31-1.  On Windows
// it is the system's own function.
#ifdef _WIN32
extern "C" __declspec(dllimport) int __stdcall MulDiv(int number, int numerator, int denominator);
#else
int MulDiv(int number, int numerator, int denominator);
#endif
// The same rule in portable code; the native build's MulDiv.
int PortableMulDiv(int number, int numerator, int denominator);

// ---------------------------------------------------------------------------
// File names.  "\" and "/" both separate folders; ":" ends a drive.

extern const char PathDelim;  // the platform's own separator

std::string ExtractFilePath(const std::string& name);  // with the trailing separator
std::string ExtractFileDir(const std::string& name);   // without it (unless a root)
std::string ExtractFileName(const std::string& name);
std::string ExtractFileExt(const std::string& name);   // with the dot, or ""
std::string ExtractFileDrive(const std::string& name); // "C:" or "\\server\share"
std::string ChangeFileExt(const std::string& name, const std::string& ext);
std::string IncludeTrailingBackslash(const std::string& name);
std::string ExcludeTrailingBackslash(const std::string& name);
// The absolute, normalised form of a name taken relative to the current
// directory ("." and ".." resolved); the file need not exist.
std::string ExpandFileName(const std::string& name);

// ---------------------------------------------------------------------------
// The file system

bool FileExists(const std::string& name);       // an existing file, not a folder
bool DirectoryExists(const std::string& name);
bool CreateDir(const std::string& name);
bool RemoveDir(const std::string& name);
// Creates the folder and every missing parent; false when that fails.
bool ForceDirectories(const std::string& name);
bool DeleteFile(const std::string& name);
bool RenameFile(const std::string& oldName, const std::string& newName);
std::string GetCurrentDir();
bool SetCurrentDir(const std::string& dir);
// Size of a file in bytes, -1 when it cannot be read.
int64_t FileSizeOf(const std::string& name);
// The file's modification time in local DOS date and time, -1 when missing.
int FileAge(const std::string& name);
// Sets the modification time from a local DOS date and time; false on failure.
bool FileSetDate(const std::string& name, int dosDateTime);

// Raw file handles, used by the streams.  Open modes and share modes:
using THandle = intptr_t;
constexpr THandle INVALID_FILE_HANDLE = -1;
enum : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,  // may be combined with a share mode
};
enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
// INVALID_FILE_HANDLE on failure.
THandle FileOpen(const std::string& name, unsigned mode);
THandle FileCreate(const std::string& name, unsigned shareMode = 0);
// Bytes moved, -1 on failure.
int FileRead(THandle handle, void* buffer, int count);
int FileWrite(THandle handle, const void* buffer, int count);
// The new position, -1 on failure.
int64_t FileSeek(THandle handle, int64_t offset, int origin);
// Cuts or extends the file at the current position.
bool FileTruncate(THandle handle);
void FileClose(THandle handle);
// The operating system's last error code and its text.
int GetLastOSError();
std::string SysErrorMessage(int code);

// ---------------------------------------------------------------------------
// Dates and times: days since 30 December 1899 with the time of day as the
// fraction.

using TDateTime = double;

TDateTime Now();   // local time
TDateTime Date();
TDateTime Time();
// Raise EConvertError on an impossible date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
bool IsLeapYear(int year);
// DOS date and time: date in the high 16 bits (years since 1980, month,
// day), time in the low (hours, minutes, seconds / 2).
TDateTime FileDateToDateTime(int dosDateTime);  // EConvertError when invalid
int DateTimeToFileDate(TDateTime dt);           // 0 outside 1980..2107

// ---------------------------------------------------------------------------
// Command line, split by the Windows rules: parameters are separated by
// blanks and tabs; double quotes group (and are dropped), also in the middle
// of a parameter; inside quotes "" is one quote.  Backslashes are plain
// characters except before a double quote: 2n of them and a quote give n
// backslashes and a grouping quote, 2n+1 give n and a literal quote.  The
// first item (the program) takes quotes only as grouping.
std::vector<std::string> SplitCommandLine(const std::string& cmdline);
// ParamStr(0) is the program's full file name.
std::string ParamStr(int index);
int ParamCount();

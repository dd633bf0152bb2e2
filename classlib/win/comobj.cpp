#include "comobj.h"

#include <climits>
#include <cwchar>

TComRefCounted::~TComRefCounted() = default;

bool AnsiToWide(const std::string& text, wchar_t* dest, size_t destChars) {
  if (!dest || destChars == 0) return false;
  dest[0] = L'\0';
  if (text.empty()) return true;
  if (text.size() > static_cast<size_t>(INT_MAX)) return false;
  int len = static_cast<int>(text.size());
  // The needed size first: converting straight into a buffer that is too
  // small fails without saying how much was written.
  int need = MultiByteToWideChar(CP_ACP, 0, text.data(), len, nullptr, 0);
  if (need <= 0 || static_cast<size_t>(need) >= destChars) return false;
  int got = MultiByteToWideChar(CP_ACP, 0, text.data(), len, dest, need);
  if (got != need) {
    dest[0] = L'\0';
    return false;
  }
  dest[got] = L'\0';
  return true;
}

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::wstring();
  int len = static_cast<int>(text.size());
  int need = MultiByteToWideChar(CP_ACP, 0, text.data(), len, nullptr, 0);
  if (need <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(need), L'\0');
  int got = MultiByteToWideChar(CP_ACP, 0, text.data(), len, &out[0], need);
  out.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return out;
}

std::string WideToAnsi(const wchar_t* text) {
  if (!text || !*text) return std::string();
  size_t n = wcslen(text);
  if (n > static_cast<size_t>(INT_MAX)) return std::string();
  int len = static_cast<int>(n);
  int need = WideCharToMultiByte(CP_ACP, 0, text, len, nullptr, 0, nullptr, nullptr);
  if (need <= 0) return std::string();
  std::string out(static_cast<size_t>(need), '\0');
  int got = WideCharToMultiByte(CP_ACP, 0, text, len, &out[0], need, nullptr, nullptr);
  out.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return out;
}

std::string WideToAnsi(const std::wstring& text) { return WideToAnsi(text.c_str()); }

#include "kitroutines.h"

#include <fstream>

#include "classes.h"
#include "sysutils.h"

std::string GetItem(const std::string& text, int n, char separator) {
  std::string rest = text;
  for (int i = 1; i < n; ++i) {
    size_t pos = rest.find(separator);
    if (pos == std::string::npos) return std::string();
    rest.erase(0, pos + 1);
  }
  size_t pos = rest.find(separator);
  return pos == std::string::npos ? rest : rest.substr(0, pos);
}

int CountItems(const std::string& text, char separator) {
  int count = 0;
  for (char c : text)
    if (c == separator) ++count;
  // A trailing separator closes the last item instead of opening a new one.
  if (!text.empty() && text.back() != separator) ++count;
  return count;
}

void SplitToList(const std::string& text, char separator, TStrings* list) {
  list->Clear();
  int count = CountItems(text, separator);
  for (int i = 1; i <= count; ++i) list->Add(GetItem(text, i, separator));
}

std::string AddBackslash(const std::string& path) {
  if (path.empty() || path.back() == '\\') return path;
  return path + "\\";
}

std::string RemoveBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

std::string AfterColon(const std::string& text) {
  size_t pos = text.find(':');
  return pos == std::string::npos ? std::string() : text.substr(pos + 1);
}

std::string CleanFileName(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '/': result += '-'; break;
      case '"': case '*': case ':': case ';': case '<': case '>': case '?': case '\\': case '|':
        break;
      default: result += c;
    }
  }
  return result;
}

void ListIniSections(const std::string& fileName, TStrings* list) {
  if (list == nullptr) return;
  list->Clear();
  TStringList lines;
  lines.LoadFromFile(fileName);
  for (int i = 0; i < lines.Count(); ++i) {
    // Indented headers are sections too, so the trimmed line is cut.
    const std::string trimmed = Trim(lines[i]);
    if (trimmed.size() > 1 && trimmed[0] == '[') list->Add(trimmed.substr(1, trimmed.size() - 2));
  }
}

void SetUniqueName(TComponent* component, const std::string& base) {
  // A name that no suffix can make valid must not spin for ever.
  const int kMaxTries = 10000;
  for (int n = 0;; ++n) {
    try {
      component->SetName(n == 0 ? base : base + IntToStr(n));
      return;
    } catch (const Exception&) {
      if (n >= kMaxTries) throw;
    }
  }
}

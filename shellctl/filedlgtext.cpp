#include "filedlgtext.h"

namespace filedlg {

namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The root of a path: "C:\" (also for "C:" alone), "\\server\share\", or
// "" for a relative path.  'rest' is what follows it.
std::string SplitRoot(const std::string& path, std::string& rest) {
  if (path.size() >= 2 && path[1] == ':') {
    size_t from = 2;
    while (from < path.size() && IsSep(path[from])) ++from;
    rest = path.substr(from);
    return path.substr(0, 2) + "\\";
  }
  if (path.size() >= 2 && IsSep(path[0]) && IsSep(path[1])) {
    // Server and share are the two parts after the leading pair.
    size_t i = 2;
    int parts = 0;
    std::string root = "\\\\";
    while (i < path.size() && parts < 2) {
      size_t end = i;
      while (end < path.size() && !IsSep(path[end])) ++end;
      if (end > i) {
        root += path.substr(i, end - i) + "\\";
        ++parts;
      }
      i = end;
      while (i < path.size() && IsSep(path[i])) ++i;
    }
    rest = path.substr(i);
    return root;
  }
  rest = path;
  return std::string();
}

}  // namespace

std::vector<std::string> SplitTypedNames(const std::string& text) {
  std::vector<std::string> names;
  if (text.find('"') == std::string::npos) {
    names.push_back(text);
    return names;
  }
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    if (IsBlank(text[i])) {
      ++i;
    } else if (text[i] == '"') {
      size_t close = text.find('"', i + 1);
      size_t end = close == std::string::npos ? n : close;
      std::string name = text.substr(i + 1, end - i - 1);
      if (close == std::string::npos) {
        // An open quote: the rest, without the blanks that trail it.
        while (!name.empty() && IsBlank(name.back())) name.pop_back();
      }
      if (!name.empty()) names.push_back(name);
      i = close == std::string::npos ? n : close + 1;
    } else {
      size_t end = i;
      while (end < n && !IsBlank(text[end]) && text[end] != '"') ++end;
      names.push_back(text.substr(i, end - i));
      i = end;
    }
  }
  return names;
}

bool HasForbiddenChars(const std::string& name) {
  if (name.find_first_of("/<>|") != std::string::npos) return true;
  return name.size() > 2 && name.find("\\\\", 2) != std::string::npos;
}

std::string NamePart(const std::string& path) {
  size_t p = path.find_last_of("\\/:");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string DirPart(const std::string& path) {
  size_t p = path.find_last_of("\\/:");
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

bool IsMask(const std::string& path) { return NamePart(path).find_first_of("*?") != std::string::npos; }

bool IsDeviceName(const std::string& path) {
  std::string base = NamePart(path);
  base = base.substr(0, base.find('.'));
  while (!base.empty() && IsBlank(base.back())) base.pop_back();
  for (char& c : base) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
         base[3] <= '9';
}

bool IsRooted(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return true;
  return path.size() >= 2 && IsSep(path[0]) && IsSep(path[1]);
}

std::string ExtensionOf(const std::string& path) {
  std::string name = NamePart(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

DefaultExtResult ApplyDefaultExt(const std::string& name, const std::string& defaultExt,
                                 const std::function<bool(const std::string& ext)>& isRegistered) {
  DefaultExtResult r{name, false};
  if (defaultExt.empty()) return r;
  std::string ext = ExtensionOf(name);
  if (ext.empty()) {
    // "name." means no extension: the dot is not doubled.
    if (!r.Name.empty() && r.Name.back() == '.') r.Name.pop_back();
    r.Name += "." + defaultExt;
    return r;
  }
  if (isRegistered && isRegistered("." + ext)) {
    r.ExtensionDifferent = true;
    return r;
  }
  r.Name += "." + defaultExt;
  return r;
}

std::string CombinePath(const std::string& folder, const std::string& name) {
  std::string joined;
  bool standsAlone = (name.size() >= 2 && name[1] == ':') || (name.size() >= 2 && IsSep(name[0]) && IsSep(name[1]));
  if (standsAlone || folder.empty()) {
    joined = name;
  } else if (!name.empty() && IsSep(name[0])) {
    std::string rest;
    std::string root = SplitRoot(folder, rest);
    joined = root.empty() ? name : root + name.substr(1);
  } else {
    joined = folder;
    if (!joined.empty() && !IsSep(joined.back())) joined += '\\';
    joined += name;
  }
  std::string rest;
  std::string root = SplitRoot(joined, rest);
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= rest.size()) {
    size_t end = i;
    while (end < rest.size() && !IsSep(rest[end])) ++end;
    std::string part = rest.substr(i, end - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  std::string out = root;
  if (root.empty() && !joined.empty() && IsSep(joined[0])) out = "\\";
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k) out += '\\';
    out += parts[k];
  }
  return out;
}

std::vector<FilterEntry> ParseFilter(const std::string& filter) {
  std::vector<FilterEntry> entries;
  if (filter.empty()) return entries;
  std::vector<std::string> fields;
  size_t i = 0;
  for (;;) {
    size_t bar = filter.find('|', i);
    fields.push_back(filter.substr(i, bar == std::string::npos ? std::string::npos : bar - i));
    if (bar == std::string::npos) break;
    i = bar + 1;
  }
  for (size_t k = 0; k < fields.size(); k += 2)
    entries.push_back(FilterEntry{fields[k], k + 1 < fields.size() ? fields[k + 1] : std::string()});
  return entries;
}

std::string QuoteNames(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) {
    if (!out.empty()) out += ' ';
    out += '"' + n + '"';
  }
  return out;
}

}  // namespace filedlg

#include "options.h"

#include "patchfile.h"

#include <cstdio>
#include <cstdlib>

std::string SourceList[kMaxSourceEntries];
uint32_t SourceCount = 0;
uint8_t SourceIsDir[kMaxSourceEntries] = {};
uint32_t PatchType = 0;
uint8_t ArchiveResult = 0;
uint8_t ArchiveFlag2 = 0;
uint32_t PackerIndex = 0;
std::string BackupDir = "Backup";
uint8_t CompressPatchfile = 0;
uint8_t MatchInNewFile = 0;
uint8_t InMemory = 1;
uint16_t SampleStep = 5;
uint16_t OptionB = 0;
uint16_t OptionA = 0;
uint32_t WarpOffset = 0;
uint8_t WarpFlag = 0;
uint8_t UseCurrentTime = 0;
uint8_t UniformFileTime = 0;
uint8_t ForcePatch = 0;
uint8_t ScanFlag = 0;
std::string RegistryInfoFirst;
std::string RegistryInfoSecond;

std::vector<IgnorePattern> IgnorePatterns;
std::vector<MatchPattern> MatchPatterns;
std::vector<std::string> ProtectionRanges;

uint8_t ProtectionFound = 0;
uint32_t ProtectionLength = 0;
uint32_t ProtectionOffsets[kMaxSourceEntries] = {};

uint8_t DirectoryMode = 0;
uint8_t GermanMessages = 0;

PercentHookFn FinderProgressHook = nullptr;
PercentHookFn OptimizeProgressHook = nullptr;
PercentHookFn EncodeProgressHook = nullptr;
FileProgressHookFn FileProgressHook = nullptr;

void ResetEngineOptions() {
  for (int i = 0; i < kMaxSourceEntries; ++i) {
    SourceList[i].clear();
    SourceIsDir[i] = 0;
  }
  SourceCount = 0;
  PatchType = 0;
  ArchiveResult = 0;
  ArchiveFlag2 = 0;
  PackerIndex = 0;
  BackupDir = "Backup";
  CompressPatchfile = 0;
  MatchInNewFile = 0;
  InMemory = 1;
  SampleStep = 5;
  OptionB = 0;
  OptionA = 0;
  WarpOffset = 0;
  WarpFlag = 0;
  UseCurrentTime = 0;
  UniformFileTime = 0;
  ForcePatch = 0;
  ScanFlag = 0;
  RegistryInfoFirst.clear();
  RegistryInfoSecond.clear();
  IgnorePatterns.clear();
  MatchPatterns.clear();
  ProtectionRanges.clear();
}

void ClampEngineNumericOptions() {
  if (OptionA < 10 || OptionA > 255) OptionA = 20;
  if (OptionB < 10 || OptionB > 10000) OptionB = 190;
}

std::string SubstringFrom(const std::string& text, size_t k) {
  if (k >= text.size()) return std::string();
  return text.substr(k);
}

std::string DropLeadingChar(const std::string& text, char c) {
  if (!text.empty() && text[0] == c) return text.substr(1);
  return text;
}

char UpperChar(char c) {
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  return c;
}

std::string UpperText(const std::string& text) {
  std::string out(text);
  for (char& c : out) c = UpperChar(c);
  return out;
}

void SplitAtComma(std::string& text, std::string& head) {
  size_t comma = text.find(',');
  if (comma == std::string::npos) {
    head = text;
    text.clear();
    return;
  }
  head = text.substr(0, comma);
  text = text.substr(comma + 1);
}

bool IsNumberText(const std::string& text) {
  if (text.empty()) return false;
  bool hex = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (i == 0 && c == '$') {
      hex = true;
    } else if (i == 1 && c == 'x' && text[0] == '0') {
      hex = true;
    } else if (c >= '0' && c <= '9') {
      // always valid
    } else if (hex && c >= 'A' && c <= 'F') {
      // valid after a hexadecimal prefix
    } else {
      return false;
    }
  }
  return true;
}

uint32_t ParseNumber(const std::string& input) {
  std::string text = input;
  uint32_t base = 10;
  if (!text.empty() && text[0] == '$') {
    text = text.substr(1);
    base = 16;
  } else if (text.size() > 2 && text[0] == '0' && text[1] == 'x') {
    text = text.substr(2);
    base = 16;
  }
  uint32_t value = 0;
  for (char raw : text) {
    char c = UpperChar(raw);
    if (c >= '0' && c <= '9') {
      value = value * base + static_cast<uint32_t>(c - '0');
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      value = value * 16 + static_cast<uint32_t>(c - 'A' + 10);
    }
  }
  return value;
}

namespace {

[[noreturn]] void MalformedProtection() {
  // Whatever the run has written so far must not stay behind looking like
  // a patch.
  EndPatchRun();
  std::fputs("Malformed protection info for option -g given!\n", stdout);
  std::fflush(stdout);
  std::exit(20);
}

uint32_t TakeProtectionNumber(std::string& rest) {
  std::string field;
  SplitAtComma(rest, field);
  if (!IsNumberText(field)) MalformedProtection();
  return ParseNumber(field);
}

}  // namespace

void CheckProtectionRanges(uint32_t versionCount) {
  // In directory runs the fields an entry yields depend on each file's
  // version count, so only the lookup per file can judge them.
  if (DirectoryMode) return;
  for (const std::string& entry : ProtectionRanges) {
    if (entry.empty()) continue;
    std::string rest = entry;
    for (uint32_t k = 0; k <= versionCount; ++k) TakeProtectionNumber(rest);
  }
}

void LookupProtectionRange(const std::string& fileName, uint32_t versionCount) {
  ProtectionFound = 0;
  const std::string wanted = UpperText(fileName);
  for (const std::string& entry : ProtectionRanges) {
    if (entry.empty()) continue;
    std::string rest = entry;
    if (DirectoryMode) {
      std::string name;
      for (uint32_t k = 0; k < versionCount; ++k) SplitAtComma(rest, name);
      if (UpperText(name) != wanted) continue;
    }
    ProtectionFound = 1;
    ProtectionLength = TakeProtectionNumber(rest);
    for (uint32_t k = 0; k < versionCount; ++k) {
      uint32_t offset = TakeProtectionNumber(rest);
      // A file never has more versions than there are source entries; the
      // guard only keeps a bad count from writing past the table.
      if (k < static_cast<uint32_t>(kMaxSourceEntries)) ProtectionOffsets[k] = offset;
    }
  }
}

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Memoised form of the recursive wildcard rules, so that patterns with
// several stars stay linear in pattern length times name length.
class WildcardMatcher {
 public:
  WildcardMatcher(const std::string& pattern, const std::string& name, size_t nameStart)
      : p_(pattern), n_(name), start_(nameStart),
        memo_((pattern.size() + 1) * (name.size() - nameStart + 1), -1) {}

  bool Match(size_t i, size_t j) {
    int8_t& slot = memo_[i * (n_.size() - start_ + 1) + (j - start_)];
    if (slot < 0) slot = Compute(i, j) ? 1 : 0;
    return slot == 1;
  }

 private:
  bool Compute(size_t i, size_t j) {
    if (i == p_.size()) return j == n_.size();
    if (j < n_.size() && UpperChar(p_[i]) == UpperChar(n_[j])) return Match(i + 1, j + 1);
    if (p_[i] == '?') return j < n_.size() && !IsSeparator(n_[j]) && Match(i + 1, j + 1);
    if (p_[i] == '*') {
      for (size_t k = j;; ++k) {
        if (Match(i + 1, k)) return true;
        if (k == n_.size() || IsSeparator(n_[k])) return false;
      }
    }
    return false;
  }

  const std::string& p_;
  const std::string& n_;
  size_t start_;
  std::vector<int8_t> memo_;
};

bool CoreMatch(const std::string& pattern, const std::string& name, size_t start) {
  WildcardMatcher matcher(pattern, name, start);
  return matcher.Match(0, start);
}

}  // namespace

bool MatchesPattern(const std::string& pattern, const std::string& name, uint8_t /*flag*/) {
  if (CoreMatch(pattern, name, 0)) return true;
  if (!pattern.empty() && IsSeparator(pattern[0])) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsSeparator(name[i]) && CoreMatch(pattern, name, i + 1)) return true;
  }
  return false;
}

bool MatchesAnyPattern(const std::string& name) {
  bool any = false;
  for (const MatchPattern& entry : MatchPatterns) {
    if (MatchesPattern(entry.pattern, name, entry.flag)) any = true;
  }
  return any;
}

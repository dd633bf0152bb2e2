// Version strings are compared part by part so that "1.10" is newer than
// "1.9"; parts that are not numbers fall back to a plain byte comparison.
#include "versionres.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

std::string PartOf(const std::string& text, size_t index, bool& present) {
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) {
    size_t dot = text.find('.', start);
    if (dot == std::string::npos) {
      present = false;
      return std::string();
    }
    start = dot + 1;
  }
  // An empty text has no parts at all, but "1." has an empty second part.
  if (text.empty()) {
    present = false;
    return std::string();
  }
  present = true;
  size_t dot = text.find('.', start);
  return text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

bool AsInteger(const std::string& part, long long& value) {
  size_t i = 0;
  if (i < part.size() && (part[i] == '+' || part[i] == '-')) ++i;
  if (i == part.size()) return false;
  for (size_t j = i; j < part.size(); ++j)
    if (part[j] < '0' || part[j] > '9') return false;
  errno = 0;
  value = std::strtoll(part.c_str(), nullptr, 10);
  return errno == 0 && value >= INT_MIN && value <= INT_MAX;
}

}  // namespace

int CompareVersions(const std::string& a, const std::string& b) {
  for (size_t k = 0;; ++k) {
    bool hasA = false, hasB = false;
    std::string partA = PartOf(a, k, hasA);
    std::string partB = PartOf(b, k, hasB);
    if (!hasA && !hasB) return 0;
    if (!hasA) return 2;
    if (!hasB) return 1;
    long long numA = 0, numB = 0;
    if (AsInteger(partA, numA) && AsInteger(partB, numB)) {
      if (numA < numB) return 2;
      if (numA > numB) return 1;
      continue;
    }
    int c = partA.compare(partB);  // std::string compares as unsigned bytes
    if (c < 0) return 2;
    if (c > 0) return 1;
  }
}

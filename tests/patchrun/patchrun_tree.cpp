#include "patchrun_tree.h"

#include <cstdlib>

#include "dirsys.h"
#include "test_support.h"

namespace patchrun {

namespace {

uint32_t Next(uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

std::string FileName(int k) { return "part" + std::to_string(k) + ".bin"; }

}  // namespace

std::vector<std::string> MakeStates(const std::string& root, int states, int files, size_t size) {
  std::vector<std::string> dirs;
  std::vector<std::vector<uint8_t>> contents(static_cast<size_t>(files));
  uint32_t seed = 0x9E3779B9u;
  for (auto& c : contents) {
    c.resize(size);
    // Text-like bytes with repeats, so the finder has matches to work on.
    for (size_t i = 0; i < size; ++i) c[i] = static_cast<uint8_t>('a' + Next(seed) % 16);
  }
  for (int s = 0; s < states; ++s) {
    if (s > 0) {
      for (auto& c : contents) {
        for (int edit = 0; edit < 24; ++edit) {
          size_t at = Next(seed) % c.size();
          switch (edit % 3) {
            case 0:
              for (size_t i = at; i < at + 40 && i < c.size(); ++i) c[i] = static_cast<uint8_t>('a' + Next(seed) % 16);
              break;
            case 1: {
              std::vector<uint8_t> piece(64 + Next(seed) % 200);
              for (auto& b : piece) b = static_cast<uint8_t>('a' + Next(seed) % 16);
              c.insert(c.begin() + static_cast<long>(at), piece.begin(), piece.end());
              break;
            }
            default:
              c.erase(c.begin() + static_cast<long>(at),
                      c.begin() + static_cast<long>(std::min(c.size(), at + 100)));
          }
        }
      }
    }
    std::string dir = testsupport::Join(root, "v" + std::to_string(s));
    testsupport::MakeDirs(dir);
    for (int k = 0; k < files; ++k)
      testsupport::WriteFileBytes(testsupport::Join(dir, FileName(k)), contents[static_cast<size_t>(k)]);
    dirs.push_back(dir);
  }
  return dirs;
}

bool SameTree(const std::string& expected, const std::string& actual, std::string* difference) {
  std::vector<SysDirEntry> entries;
  SysListDirectory(expected, entries);
  for (const SysDirEntry& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    std::string a = testsupport::Join(expected, e.name), b = testsupport::Join(actual, e.name);
    if (e.isDirectory) {
      if (!SameTree(a, b, difference)) return false;
    } else if (!testsupport::FileExists(b) || testsupport::ReadFileBytes(a) != testsupport::ReadFileBytes(b)) {
      *difference = b;
      return false;
    }
  }
  return true;
}

void UseTempDir(const std::string& dir) {
  testsupport::MakeDirs(dir);
#ifdef _WIN32
  _putenv_s("TMP", dir.c_str());
  _putenv_s("TEMP", dir.c_str());
#else
  setenv("TMPDIR", dir.c_str(), 1);
#endif
}

size_t EntryCount(const std::string& dir) {
  std::vector<SysDirEntry> entries;
  SysListDirectory(dir, entries);
  size_t n = 0;
  for (const SysDirEntry& e : entries)
    if (e.name != "." && e.name != "..") ++n;
  return n;
}

}  // namespace patchrun

// morvane-apply PATCH OLDFILE NEWFILE
// morvane-apply --dir PATCH OLDDIR NEWDIR
// Applies a patch with the test applier; exit code 0 on success, 1 with a
// reason on standard error otherwise.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "applier.h"

namespace {

bool ReadFile(const char* path, std::vector<uint8_t>* out) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof(chunk), f)) > 0) out->insert(out->end(), chunk, chunk + got);
  std::fclose(f);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool dir = argc == 5 && std::strcmp(argv[1], "--dir") == 0;
  if (!(argc == 4 || dir)) {
    std::fprintf(stderr, "usage: morvane-apply [--dir] PATCH OLD NEW\n");
    return 2;
  }
  const char* patchPath = argv[dir ? 2 : 1];
  std::vector<uint8_t> patch;
  if (!ReadFile(patchPath, &patch)) {
    std::fprintf(stderr, "cannot read %s\n", patchPath);
    return 1;
  }
  std::string error;
  if (dir) {
    if (!testapply::ApplyDirectoryPatch(patch, argv[3], argv[4], &error)) {
      std::fprintf(stderr, "apply failed: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  std::vector<uint8_t> old, result;
  if (!ReadFile(argv[2], &old)) {
    std::fprintf(stderr, "cannot read %s\n", argv[2]);
    return 1;
  }
  if (!testapply::ApplyFilePatch(patch, old, &result, &error)) {
    std::fprintf(stderr, "apply failed: %s\n", error.c_str());
    return 1;
  }
  FILE* f = std::fopen(argv[3], "wb");
  bool ok = f && (result.empty() || std::fwrite(result.data(), 1, result.size(), f) == result.size());
  if (f) ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}

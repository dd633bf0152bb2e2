// An install archive ("files.1") may be damaged on its way to the user or
// made by someone else: reading its headers and extracting every file it
// names must fail with the archive's exceptions and never write outside the
// target folder or crash.
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "classes.h"
#include "compress.h"
#include "sysutils.h"

namespace {

std::string ScratchDir() {
  static std::string dir;
  if (dir.empty()) {
    char tmpl[] = "/tmp/fuzz-archive-XXXXXX";
    dir = mkdtemp(tmpl);
    mkdir((dir + "/out").c_str(), 0700);
  }
  return dir;
}

void EmptyFolder(const std::string& dir) {
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") unlink((dir + "/" + n).c_str());
    }
    closedir(d);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string dir = ScratchDir();
  const std::string archive = dir + "/files.1";
  if (FILE* f = fopen(archive.c_str(), "wb")) {
    fwrite(data, 1, size, f);
    fclose(f);
  }
  try {
    TQnlwCompress reader(nullptr);
    reader.SetCompressedFile(archive);
    reader.ReadHeaders();
    TStringList names;
    for (int i = 0; i < reader.FileCount() && i < 64; ++i) {
      TlzhFileStats stats;
      reader.GetFileStats(i, stats);
      names.Add(stats.FileName);
    }
    TQnlwCompress extractor(nullptr);
    extractor.SetCompressedFile(archive);
    extractor.SetFilesToProcess(&names);
    extractor.SetExtractDirectory(dir + "/out");
    extractor.Extract();
  } catch (const Exception&) {
  }
  EmptyFolder(dir + "/out");
  return 0;
}
